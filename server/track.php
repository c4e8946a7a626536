<?php
// track.php - the public side of the tracking database: the site's own pages
// call it to count what an affiliate's visitors do. It lies in a public
// folder with tracking-lib.php, config.php and tracking-secret.php.
//
//   track.php?affid=LINKID                  a visit: visitors + 1, and unique
//                                           hits + 1 the first time a browser
//                                           comes through that affiliate
//   track.php?affid=LINKID&event=subscribe  subscribers + 1
//   track.php?event=sale&order=TEXT&affid=LINKID&sig=SIGNATURE
//                                           records a sale; with a known link
//                                           id it is that affiliate's OTO sale,
//                                           otherwise (affid empty or unknown)
//                                           a direct sale. SIGNATURE is made by
//                                           the shop's server with the site's
//                                           secret (tf_sale_signature). An
//                                           order is recorded once: the same
//                                           order again answers "OK" and counts
//                                           nothing.
//
// Replies "OK", "UNKNOWN AFFILIATE" (404), "REFUSED" (403: a sale without a
// valid signature, or a site without its secret file; 400: a bad request).
//
// One client counts once per affiliate and window: a visit once per address
// (IPv6 by /64) in visit_window, a unique hit once per address and browser
// in unique_window, a subscribe once per address in subscribe_window (the
// windows are set in the secret file). The address is REMOTE_ADDR: a load
// balancer in front is configured in the web server (nginx real_ip, Apache
// mod_remoteip), never by trusting a header here. Addresses are kept only as
// keyed hashes in tf_seen, with their window's end, and rows past it are
// deleted now and then.
//
// Not counted, yet answered "OK": HEAD requests, browser prefetches and
// previews, and the crawlers and link-preview bots named in TF_CRAWLERS or,
// one name a line, in crawlers.txt beside this script.
//
// Each event is one transaction: the row of tf_seen is added with an insert
// that ignores a duplicate key (no row is shared between clients), and only a
// new row adds to the counter. A sale locks its affiliate's row first (the
// counter) and inserts the sale after, the order actions.php keeps too, so
// concurrent requests wait for each other but never deadlock; a request that
// loses a lock race anyway is run again, at most TF_TRACK_ATTEMPTS times in
// all, and never counts twice because a failed attempt is rolled back whole.

declare(strict_types=1);

require __DIR__ . '/tracking-lib.php';
tf_quiet_errors();

const TF_TRACK_ATTEMPTS = 3;

// Matched without regard to case anywhere in the User-Agent header.
const TF_CRAWLERS = [
    // search engines
    'Googlebot', 'Google-InspectionTool', 'AdsBot-Google', 'Mediapartners-Google', 'APIs-Google',
    'Storebot-Google', 'bingbot', 'BingPreview', 'msnbot', 'Slurp', 'DuckDuckBot', 'Baiduspider',
    'YandexBot', 'YandexMobileBot', 'Sogou', 'Exabot', 'SeznamBot', 'Qwantify', 'PetalBot',
    'Applebot', 'Yeti/', 'NaverBot',
    // link previews in social networks and messengers
    'facebookexternalhit', 'facebookcatalog', 'meta-externalagent', 'Twitterbot', 'LinkedInBot',
    'Pinterestbot', 'redditbot', 'Slackbot', 'Slack-ImgProxy', 'Discordbot', 'TelegramBot',
    'WhatsApp', 'SkypeUriPreview', 'Viber', 'Embedly', 'Iframely', 'vkShare', 'Tumblr',
    'Mastodon', 'Bluesky',
    // SEO tools, archives and AI crawlers
    'AhrefsBot', 'SemrushBot', 'MJ12bot', 'DotBot', 'BLEXBot', 'DataForSeoBot', 'serpstatbot',
    'ia_archiver', 'archive.org_bot', 'CCBot', 'GPTBot', 'ChatGPT-User', 'ClaudeBot', 'anthropic-ai',
    'PerplexityBot', 'Bytespider', 'Amazonbot', 'YouBot', 'Diffbot',
    // generic words crawlers put in their names
    'crawler', 'spider', 'HeadlessChrome', 'Lighthouse', 'PingdomBot', 'UptimeRobot',
];

// The crawler names in force: TF_CRAWLERS and the lines of crawlers.txt
// (blank lines and lines starting with # are skipped).
function tf_track_crawlers(): array
{
    $names = TF_CRAWLERS;
    $file = __DIR__ . '/crawlers.txt';
    if (is_file($file)) {
        foreach (file($file, FILE_IGNORE_NEW_LINES) ?: [] as $line) {
            $line = trim($line);
            if ($line !== '' && $line[0] !== '#') {
                $names[] = $line;
            }
        }
    }
    return $names;
}

// A request no person made on purpose: answered, never counted.
function tf_track_is_automatic(array $server): bool
{
    if (($server['REQUEST_METHOD'] ?? 'GET') === 'HEAD') {
        return true;
    }
    // Prefetch and prerender by the browser (Sec-Purpose, Purpose, X-Purpose,
    // X-Moz): the page may never be shown.
    foreach (['HTTP_SEC_PURPOSE', 'HTTP_PURPOSE', 'HTTP_X_PURPOSE', 'HTTP_X_MOZ'] as $header) {
        $value = strtolower((string)($server[$header] ?? ''));
        if (str_contains($value, 'prefetch') || str_contains($value, 'prerender') || str_contains($value, 'preview')) {
            return true;
        }
    }
    $agent = (string)($server['HTTP_USER_AGENT'] ?? '');
    if ($agent === '') {
        return false;
    }
    foreach (tf_track_crawlers() as $name) {
        if (stripos($agent, $name) !== false) {
            return true;
        }
    }
    return false;
}

// A lost lock race: deadlock victim or lock wait timeout (MySQL/MariaDB),
// busy or locked database (SQLite). The statement or transaction was undone.
function tf_track_is_lock_race(PDOException $e): bool
{
    return in_array((int)($e->errorInfo[1] ?? 0), [5, 6, 1205, 1213], true);
}

function tf_track_retry(callable $work)
{
    for ($attempt = 1; ; $attempt++) {
        try {
            return $work();
        } catch (PDOException $e) {
            if ($attempt >= TF_TRACK_ATTEMPTS || !tf_track_is_lock_race($e)) {
                throw $e;
            }
            usleep(random_int(1000, 20000) * $attempt);
        }
    }
}

// Kinds of row in tf_seen.
const TF_SEEN_VISIT = 1;
const TF_SEEN_UNIQUE = 2;
const TF_SEEN_SUBSCRIBE = 3;
// About one event in this many deletes the rows of tf_seen whose window has
// ended, at most TF_PRUNE_ROWS of them: far more than are added meanwhile.
const TF_PRUNE_EVERY = 100;
const TF_PRUNE_ROWS = 5000;

// Whether the server runs compound statements (BEGIN NOT ATOMIC ... END):
// MariaDB from 10.1.1; MySQL does not.
function tf_track_has_compound(PDO $pdo): bool
{
    if (!tf_is_mysql($pdo)) {
        return false;
    }
    $version = (string)$pdo->getAttribute(PDO::ATTR_SERVER_VERSION);
    return stripos($version, 'MariaDB') !== false && version_compare($version, '10.1.1', '>=');
}

function tf_track_is_missing_column(PDOException $e): bool
{
    $code = (int)($e->errorInfo[1] ?? 0);
    return $code === 1054 || stripos($e->getMessage(), 'order_key') !== false && $code === 1;
}

function tf_track_is_unique_clash(PDOException $e): bool
{
    $code = (int)($e->errorInfo[1] ?? 0);
    return $code === 1062 || $code === 19 && stripos($e->getMessage(), 'UNIQUE') !== false;
}

// ---- sales --------------------------------------------------------------------

// Adds one OTO sale to the affiliate with this link id and gives back its
// record id, or null when no affiliate has that link id.
function tf_track_bump_sale(PDO $pdo, string $linkId): ?int
{
    if (tf_is_mysql($pdo)) {
        // LAST_INSERT_ID(id) hands the row's id back with the update itself.
        $st = $pdo->prepare('UPDATE tf_affiliates SET oto_sales = oto_sales + 1, id = LAST_INSERT_ID(id)'
            . tf_change_set($pdo) . ' WHERE link_id = ?');
        $st->execute([$linkId]);
        return $st->rowCount() === 1 ? (int)$pdo->lastInsertId() : null;
    }
    $st = $pdo->prepare('UPDATE tf_affiliates SET oto_sales = oto_sales + 1' . tf_change_set($pdo)
        . ' WHERE link_id = ? RETURNING id');
    $st->execute([$linkId]);
    $id = $st->fetchColumn();
    $st->closeCursor();
    return $id === false ? null : (int)$id;
}

// The sale statement by statement: counter first, which locks the
// affiliate's row, so that the sale's foreign key check finds the lock held
// already. An order recorded before fails on its unique key, and the
// transaction with the counter is rolled back. A database that has not been
// upgraded has no order_key column: there the sale is recorded without that
// check.
function tf_track_sale_steps(PDO $pdo, string $linkId, string $order): void
{
    if (tf_is_mysql($pdo)) {
        $pdo->exec(TF_EVENT_BEGIN);
    }
    $id = $linkId === '' ? null : tf_track_bump_sale($pdo, $linkId);
    try {
        tf_run($pdo, 'INSERT INTO tf_sales (affiliate_id, sale_order, order_key' . tf_change_column()
            . ') VALUES (?, ?, ?' . tf_change_value($pdo) . ')', [$id, $order, $order]);
    } catch (PDOException $e) {
        if (!tf_track_is_missing_column($e)) {
            throw $e;
        }
        tf_run($pdo, 'INSERT INTO tf_sales (affiliate_id, sale_order' . tf_change_column() . ') VALUES (?, ?'
            . tf_change_value($pdo) . ')', [$id, $order]);
    }
}

// MySQL/MariaDB: the counter, the sale and the commit go to the server at
// once, so that the affiliate's row stays locked only while the server runs
// them, not while PHP waits for replies in between: sales through one popular
// affiliate queue on that lock. On MariaDB they are one compound statement
// with a single reply; sent as separate statements, the server hands PHP a
// reply after each one while it still holds the lock, and every such
// hand-over slows the queue (by about a fifth with 16 clients selling through
// one affiliate on two cores).
function tf_track_sale_batch(PDO $pdo, string $linkId, string $order): string
{
    $quoted = '_binary' . $pdo->quote($order);
    $affiliate = 'NULL';
    $sql = '';
    if ($linkId !== '') {
        $sql = 'UPDATE tf_affiliates SET oto_sales = oto_sales + 1, id = LAST_INSERT_ID(id)' . tf_change_set($pdo)
            . ' WHERE link_id = _binary' . $pdo->quote($linkId) . ';';
        $affiliate = 'IF(ROW_COUNT() = 1, LAST_INSERT_ID(), NULL)';
    }
    $sql .= 'INSERT INTO tf_sales (affiliate_id, sale_order, order_key' . tf_change_column()
        . ") VALUES ($affiliate, $quoted, $quoted" . tf_change_value($pdo) . ');COMMIT';
    $sql = TF_EVENT_BEGIN . "; $sql";
    return tf_track_has_compound($pdo) ? "BEGIN NOT ATOMIC $sql; END" : $sql;
}

function tf_track_sale(PDO $pdo, string $linkId, string $order): void
{
    $steps = fn() => tf_transaction($pdo, fn() => tf_track_sale_steps($pdo, $linkId, $order), TF_EVENT);
    try {
        if (!tf_is_mysql($pdo)) {
            tf_track_retry($steps);
            return;
        }
        try {
            tf_track_retry(fn() => tf_transaction($pdo,
                fn() => $pdo->exec(tf_track_sale_batch($pdo, $linkId, $order)), TF_EVENT));
        } catch (PDOException $e) {
            if (!tf_track_is_missing_column($e)) {
                throw $e;
            }
            tf_track_retry($steps);
        }
    } catch (PDOException $e) {
        // Recorded before (a reloaded thank-you page, a retried request):
        // answered, counted once.
        if (!tf_track_is_unique_clash($e)) {
            throw $e;
        }
    }
}

// Whether this sale may count: signed with the site's secret, or unsigned
// where the operator has chosen to take unsigned sales. Values are checked
// as they came, before any cleaning, as the shop signed them.
function tf_track_sale_allowed(array $secret, string $order, string $affid, string $sig): bool
{
    if ($sig === '' && $secret['unsigned_sales']) {
        return true;
    }
    return tf_sale_signature_valid($order, $affid, $sig, $secret['secret']);
}

// ---- visits and subscribes ----------------------------------------------------

// A row of tf_seen: the end of the window that the moment falls in, the
// kind, and the client's key (hex) for the affiliate's link id.
function tf_track_seen_row(int $kind, string $client, int $window): array
{
    return [(intdiv(time(), $window) + 1) * $window, $kind, bin2hex($client)];
}

function tf_track_seen_values(array $row): string
{
    [$expires, $kind, $client] = $row;
    return "$expires, $kind, x'$client'";
}

// One count: the affiliate's $counter + 1 when the client's $gate row is new;
// then also $bonusCounter + 1 when a $bonus row is given and new too.
final class TfCount
{
    public function __construct(
        public string $linkId,
        public array $gate,
        public string $counter,
        public ?array $bonus = null,
        public string $bonusCounter = '',
    ) {
    }
}

// MariaDB: the whole count as one compound statement, in one round trip,
// that begins and commits its transaction. Its reply is the number of rows
// it added or changed: 0 when the client's row was there already, 1 when no
// affiliate has the link id (only the row of tf_seen was added), 2 or more
// when it counted. No statement reads before it writes: the rows of tf_seen
// are keyed by the link id itself, so they need no lookup of the affiliate,
// and the counter's row is locked only by the UPDATE, just before the
// commit. No result set, whose columns cost the server and PHP more than the
// rest of the count.
function tf_track_count_compound(PDO $pdo, TfCount $count): string
{
    $link = '_binary' . $pdo->quote($count->linkId);
    $insert = 'INSERT IGNORE INTO tf_seen (expires, kind, client) VALUES (';
    $sql = 'BEGIN NOT ATOMIC ' . TF_EVENT_BEGIN . '; ' . $insert . tf_track_seen_values($count->gate) . ');'
        . " IF ROW_COUNT() = 1 THEN UPDATE tf_affiliates SET {$count->counter} = {$count->counter} + 1"
        . tf_change_set($pdo) . " WHERE link_id = $link;";
    if ($count->bonus !== null) {
        $sql .= ' IF ROW_COUNT() = 1 THEN ' . $insert . tf_track_seen_values($count->bonus) . ');'
            . " IF ROW_COUNT() = 1 THEN UPDATE tf_affiliates SET {$count->bonusCounter} = {$count->bonusCounter} + 1"
            . tf_change_set($pdo) . " WHERE link_id = $link; END IF; END IF;";
    }
    return $sql . ' END IF; COMMIT; END';
}

// MySQL: the same as one batch of plain statements in one round trip, which
// hands back whether the affiliate is known and whether it counted.
function tf_track_count_batch(PDO $pdo, TfCount $count): string
{
    $link = '_binary' . $pdo->quote($count->linkId);
    $insert = 'INSERT IGNORE INTO tf_seen (expires, kind, client) ';
    $sql = TF_EVENT_BEGIN . '; ' . $insert . 'VALUES (' . tf_track_seen_values($count->gate) . ');'
        . ' SET @tf_new = ROW_COUNT(), @tf_bonus = 0;';
    $set = "{$count->counter} = {$count->counter} + 1";
    if ($count->bonus !== null) {
        $sql .= " $insert SELECT " . tf_track_seen_values($count->bonus) . ' FROM DUAL WHERE @tf_new = 1;'
            . ' SET @tf_bonus = ROW_COUNT();';
        $set .= ", {$count->bonusCounter} = {$count->bonusCounter} + @tf_bonus";
    }
    $set .= tf_change_set($pdo);
    return $sql . " UPDATE tf_affiliates SET $set WHERE link_id = $link AND @tf_new = 1;"
        . " SELECT ROW_COUNT() = 1 OR EXISTS (SELECT 1 FROM tf_affiliates WHERE link_id = $link), ROW_COUNT(); COMMIT";
}

// SQLite: the same statement by statement.
function tf_track_count_steps(PDO $pdo, TfCount $count): array
{
    $insert = 'INSERT OR IGNORE INTO tf_seen (expires, kind, client) VALUES (';
    if (tf_run($pdo, $insert . tf_track_seen_values($count->gate) . ')') !== 1) {
        return [tf_track_is_known($pdo, $count->linkId), false];
    }
    $set = "{$count->counter} = {$count->counter} + 1";
    if ($count->bonus !== null && tf_run($pdo, $insert . tf_track_seen_values($count->bonus) . ')') === 1) {
        $set .= ", {$count->bonusCounter} = {$count->bonusCounter} + 1";
    }
    $set .= tf_change_set($pdo);
    $known = tf_run($pdo, "UPDATE tf_affiliates SET $set WHERE link_id = ?", [$count->linkId]) === 1;
    return [$known, $known];
}

function tf_track_is_known(PDO $pdo, string $linkId): bool
{
    return tf_query($pdo, 'SELECT 1 FROM tf_affiliates WHERE link_id = ?', [$linkId]) !== [];
}

// Whether an affiliate has the link id. The rows of tf_seen of a link id
// that no affiliate has are kept like any other, and go when their window
// ends.
function tf_track_count(PDO $pdo, TfCount $count): bool
{
    [$known, $counted] = tf_track_retry(fn() => tf_transaction($pdo, function () use ($pdo, $count) {
        if (tf_track_has_compound($pdo)) {
            $changed = $pdo->exec(tf_track_count_compound($pdo, $count));
            return [$changed >= 2 || $changed === 0 && tf_track_is_known($pdo, $count->linkId), $changed >= 2];
        }
        if (!tf_is_mysql($pdo)) {
            return tf_track_count_steps($pdo, $count);
        }
        $st = $pdo->query(tf_track_count_batch($pdo, $count));
        while ($st->columnCount() === 0 && $st->nextRowset()) {
            // the replies of the writes, up to the closing SELECT
        }
        $row = $st->fetch();
        // Reads the COMMIT's reply too; should it have failed, the
        // transaction is still open and is committed once more.
        $st->closeCursor();
        return [(int)$row[0] === 1, (int)$row[1] === 1];
    }, TF_EVENT));
    return $known;
}

// Rows of tf_seen whose window has ended. On MySQL/MariaDB without gap
// locks, so that it never holds up a count.
function tf_track_prune(PDO $pdo): void
{
    $now = time();
    if (tf_is_mysql($pdo)) {
        $pdo->exec('SET TRANSACTION ISOLATION LEVEL READ COMMITTED;'
            . " DELETE FROM tf_seen WHERE expires <= $now ORDER BY expires LIMIT " . TF_PRUNE_ROWS);
    } else {
        $pdo->exec("DELETE FROM tf_seen WHERE expires <= $now");
    }
}

// The cookie that marks a browser as seen through an affiliate, named by
// its link id (hashed: a link id may hold bytes a cookie name may not).
function tf_track_cookie_name(string $linkId): string
{
    return 'tf_seen_' . substr(hash('sha256', $linkId), 0, 16);
}

// Set for this script's folder only, out of reach of the page's scripts,
// and sent over https only when the page came that way.
function tf_track_mark_seen(string $name, array $server): void
{
    $folder = rtrim(str_replace('\\', '/', dirname((string)($server['SCRIPT_NAME'] ?? '/'))), '/') . '/';
    $https = strtolower((string)($server['HTTPS'] ?? '')) !== '' && strtolower((string)$server['HTTPS']) !== 'off';
    setcookie($name, '1', [
        'expires' => time() + 365 * 86400,
        'path' => $folder,
        'secure' => $https,
        'httponly' => true,
        'samesite' => 'Lax',
    ]);
}

// ---- the request ------------------------------------------------------------

function tf_track(PDO $pdo, array $secret, string $event, string $linkId, array $server): array
{
    if (!in_array($event, ['', 'visit', 'subscribe'], true)) {
        throw new TfRefused('unknown event');
    }
    if ($linkId === '') {
        return ['UNKNOWN AFFILIATE', 404];
    }
    $address = (string)($server['REMOTE_ADDR'] ?? '');
    $client = tf_client_key($address, '', $linkId, $secret['salt']);
    if ($event === 'subscribe') {
        $known = tf_track_count($pdo, new TfCount($linkId,
            tf_track_seen_row(TF_SEEN_SUBSCRIBE, $client, $secret['subscribe_window']), 'subscribers'));
        return $known ? ['OK', 200] : ['UNKNOWN AFFILIATE', 404];
    }
    // A unique hit when the browser carries no cookie of this affiliate and
    // this address and browser have not come through it in unique_window.
    $cookie = tf_track_cookie_name($linkId);
    $seen = isset($_COOKIE[$cookie]);
    $browser = tf_client_key($address, (string)($server['HTTP_USER_AGENT'] ?? ''), $linkId, $secret['salt']);
    $known = tf_track_count($pdo, new TfCount($linkId,
        tf_track_seen_row(TF_SEEN_VISIT, $client, $secret['visit_window']), 'visitors',
        $seen ? null : tf_track_seen_row(TF_SEEN_UNIQUE, $browser, $secret['unique_window']), 'unique_hits'));
    if (!$known) {
        return ['UNKNOWN AFFILIATE', 404];
    }
    if (!$seen) {
        tf_track_mark_seen($cookie, $server);
    }
    return ['OK', 200];
}

// The reply to one event, and the connection when one was opened.
function tf_track_request(array $get, array $server): array
{
    try {
        $secret = tf_load_secret(__DIR__);
    } catch (Throwable $e) {
        error_log('track.php: refused: ' . $e->getMessage());
        return ['REFUSED', 403, null];
    }
    $event = $get['event'];
    if ($event === 'sale' && !tf_track_sale_allowed($secret, $get['order'], $get['affid'], $get['sig'])) {
        return ['REFUSED', 403, null];
    }
    try {
        $pdo = tf_connect(tf_load_config(__DIR__), __DIR__, true);
        if ($event !== 'sale') {
            return [...tf_with_change_marks(fn() => tf_track($pdo, $secret, $event, $get['affid'], $server),
                'track.php'), $pdo];
        }
        $order = tf_clean_value($get['order'], TF_MAX_ORDER);
        tf_with_change_marks(fn() => tf_track_sale($pdo, $get['affid'], $order), 'track.php');
        return ['OK', 200, $pdo];
    } catch (TfRefused $e) {
        return ['REFUSED', 400, null];
    } catch (Throwable $e) {
        $hint = stripos($e->getMessage(), 'tf_seen') !== false ? ' (run php upgrade.php, which adds it)' : '';
        error_log('track.php: ' . get_class($e) . ': ' . $e->getMessage() . $hint);
        return ['SERVER ERROR', 500, null];
    }
}

function tf_track_main(): void
{
    if (tf_track_is_automatic($_SERVER)) {
        tf_send('OK');
        return;
    }
    $get = [];
    foreach (['event', 'affid', 'order', 'sig'] as $name) {
        $get[$name] = is_string($_GET[$name] ?? null) ? $_GET[$name] : '';
    }
    [$text, $status, $pdo] = tf_track_request($get, $_SERVER);
    tf_send($text, $status);
    if ($pdo !== null && random_int(1, TF_PRUNE_EVERY) === 1) {
        try {
            tf_track_prune($pdo);
        } catch (Throwable $e) {
            error_log('track.php: pruning tf_seen: ' . $e->getMessage());
        }
    }
}

tf_track_main();
