<?php
// track.php - the public side of the tracking database: the site's own pages
// call it to count what an affiliate's visitors do. It reads the same
// config.php as actions.php and lies beside it.
//
//   track.php?affid=LINKID                  a visit: visitors + 1, and unique
//                                           hits + 1 the first time a browser
//                                           comes through that affiliate
//   track.php?affid=LINKID&event=subscribe  subscribers + 1
//   track.php?event=sale&order=TEXT[&affid=LINKID]
//                                           records a sale; with a known link
//                                           id it is that affiliate's OTO sale,
//                                           otherwise a direct sale. An order
//                                           is recorded once: the same order
//                                           again answers "OK" and counts
//                                           nothing.
//
// Replies "OK", or "UNKNOWN AFFILIATE" (404) / "REFUSED" (400).
//
// Not counted, yet answered "OK": HEAD requests, browser prefetches and
// previews, and the crawlers and link-preview bots named in TF_CRAWLERS or,
// one name a line, in crawlers.txt beside this script.
//
// Every count is one statement keyed by the link id. A sale locks its
// affiliate's row first (the counter) and inserts the sale after, the order
// actions.php keeps too, so concurrent requests wait for each other but never
// deadlock; a request that loses a lock race anyway is run again, at most
// TF_TRACK_ATTEMPTS times in all, and never counts twice because a failed
// attempt is rolled back whole.

declare(strict_types=1);

define('TF_LIBRARY_ONLY', true);
require __DIR__ . '/actions.php';

const TF_TRACK_ATTEMPTS = 3;
// The most unique-hit cookies of one browser looked at.
const TF_TRACK_MAX_SEEN = 1000;

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

// Adds to the counters of the affiliate with this link id in one statement,
// and gives back the affiliate's record id, or null when no affiliate has
// that link id. $set is fixed text of the callers, never request text.
function tf_track_bump(PDO $pdo, string $set, string $linkId): ?int
{
    if (tf_is_mysql($pdo)) {
        // LAST_INSERT_ID(id) hands the row's id back with the update itself.
        $st = $pdo->prepare("UPDATE tf_affiliates SET $set, id = LAST_INSERT_ID(id) WHERE link_id = ?");
        $st->execute([$linkId]);
        return $st->rowCount() === 1 ? (int)$pdo->lastInsertId() : null;
    }
    $st = $pdo->prepare("UPDATE tf_affiliates SET $set WHERE link_id = ? RETURNING id");
    $st->execute([$linkId]);
    $id = $st->fetchColumn();
    $st->closeCursor();
    return $id === false ? null : (int)$id;
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

// Inserts the sale; false when its order is recorded already. A database
// that has not been upgraded has no order_key column: there the sale is
// recorded without that check.
function tf_track_insert_sale(PDO $pdo, ?int $affiliateId, string $order): bool
{
    try {
        tf_run($pdo, 'INSERT INTO tf_sales (affiliate_id, sale_order, order_key) VALUES (?, ?, ?)',
            [$affiliateId, $order, $order]);
        return true;
    } catch (PDOException $e) {
        if (tf_track_is_unique_clash($e)) {
            return false;
        }
        if (!tf_track_is_missing_column($e)) {
            throw $e;
        }
    }
    tf_run($pdo, 'INSERT INTO tf_sales (affiliate_id, sale_order) VALUES (?, ?)', [$affiliateId, $order]);
    return true;
}

// Whether the server runs compound statements (BEGIN NOT ATOMIC ... END):
// MariaDB from 10.1.1; MySQL does not.
function tf_track_has_compound(PDO $pdo): bool
{
    $version = (string)$pdo->getAttribute(PDO::ATTR_SERVER_VERSION);
    return stripos($version, 'MariaDB') !== false && version_compare($version, '10.1.1', '>=');
}

// MySQL/MariaDB on an upgraded database: the counter, the sale and the
// commit go to the server at once, so that the affiliate's row stays locked
// only while the server runs them, not while PHP waits for replies in
// between: sales through one popular affiliate queue on that lock. On
// MariaDB they are one compound statement with a single reply; sent as
// separate statements, the server hands PHP a reply after each one while it
// still holds the lock, and every such hand-over slows the queue (by about a
// fifth with 16 clients selling through one affiliate on two cores). False
// when the order is recorded already; null when the database has no
// order_key yet.
function tf_track_sale_batch(PDO $pdo, string $linkId, string $order): ?bool
{
    $quoted = '_binary' . $pdo->quote($order);
    $affiliate = 'NULL';
    $sql = '';
    if ($linkId !== '') {
        $sql = 'UPDATE tf_affiliates SET oto_sales = oto_sales + 1, id = LAST_INSERT_ID(id)'
            . ' WHERE link_id = _binary' . $pdo->quote($linkId) . ';';
        $affiliate = 'IF(ROW_COUNT() = 1, LAST_INSERT_ID(), NULL)';
    }
    $sql .= "INSERT INTO tf_sales (affiliate_id, sale_order, order_key) VALUES ($affiliate, $quoted, $quoted);"
        . 'COMMIT';
    if (tf_track_has_compound($pdo)) {
        $sql = "BEGIN NOT ATOMIC $sql; END";
    }
    // Begun apart, so that PHP rolls it back should the script die before
    // the batch has ended it.
    $pdo->beginTransaction();
    try {
        $pdo->exec($sql);
    } catch (PDOException $e) {
        // Whatever ran before the failure is undone. A deadlock victim has
        // been rolled back by the server already, and PHP cannot always tell
        // from an error whether a transaction is still open, so this is
        // sent in any case.
        try {
            $pdo->exec('ROLLBACK');
        } catch (Throwable $ignored) {
            // the connection is gone, and the transaction with it
        }
        if (tf_track_is_unique_clash($e)) {
            return false;
        }
        if (tf_track_is_missing_column($e)) {
            return null;
        }
        throw $e;
    }
    // The batch has committed; PHP asks the server whether a transaction
    // is still open, and none is.
    if ($pdo->inTransaction()) {
        $pdo->commit();
    }
    return true;
}

function tf_track_sale(PDO $pdo, string $linkId, string $order): void
{
    $mysql = tf_is_mysql($pdo);
    if ($mysql && tf_track_retry(fn() => tf_track_sale_batch($pdo, $linkId, $order)) !== null) {
        return;
    }
    tf_track_retry(function () use ($pdo, $mysql, $linkId, $order) {
        // On SQLite the write lock is taken at once, not upgraded later.
        $mysql ? $pdo->beginTransaction() : $pdo->exec('BEGIN IMMEDIATE');
        try {
            // Counter first: this locks the affiliate's row, so that the
            // sale's foreign key check finds the lock held already.
            $id = $linkId === '' ? null : tf_track_bump($pdo, 'oto_sales = oto_sales + 1', $linkId);
            if (tf_track_insert_sale($pdo, $id, $order)) {
                $mysql ? $pdo->commit() : $pdo->exec('COMMIT');
            } else {
                // Recorded before: the counter goes back too.
                $mysql ? $pdo->rollBack() : $pdo->exec('ROLLBACK');
            }
        } catch (Throwable $e) {
            try {
                $mysql ? $pdo->rollBack() : $pdo->exec('ROLLBACK');
            } catch (Throwable $ignored) {
                // nothing left to undo
            }
            throw $e;
        }
    });
}

// Record ids of the affiliates this browser has come through already.
function tf_track_seen(array $cookies): array
{
    $seen = [];
    foreach ($cookies as $name => $value) {
        $name = (string)$name;
        if (strncmp($name, 'tf_seen_', 8) === 0) {
            $id = substr($name, 8);
            if ($id !== '' && strlen($id) <= 18 && strspn($id, '0123456789') === strlen($id)) {
                $seen[] = (int)$id;
                if (count($seen) >= TF_TRACK_MAX_SEEN) {
                    break;
                }
            }
        }
    }
    return $seen;
}

function tf_track(PDO $pdo, string $event, string $linkId, string $order): array
{
    if ($event === 'sale') {
        tf_track_sale($pdo, $linkId, tf_clean_value($order, TF_MAX_ORDER));
        return ['OK', 200];
    }
    if (!in_array($event, ['', 'visit', 'subscribe'], true)) {
        throw new TfRefused('unknown event');
    }
    if ($linkId === '') {
        return ['UNKNOWN AFFILIATE', 404];
    }
    if ($event === 'subscribe') {
        $id = tf_track_retry(fn() => tf_track_bump($pdo, 'subscribers = subscribers + 1', $linkId));
        return $id === null ? ['UNKNOWN AFFILIATE', 404] : ['OK', 200];
    }
    // A unique hit unless the browser carries the cookie of this affiliate;
    // decided inside the same statement, which knows the row's id.
    $seen = tf_track_seen($_COOKIE);
    $unique = $seen === [] ? '1' : 'CASE WHEN id IN (' . tf_id_list($seen) . ') THEN 0 ELSE 1 END';
    $id = tf_track_retry(fn() => tf_track_bump($pdo, "visitors = visitors + 1, unique_hits = unique_hits + $unique",
        $linkId));
    if ($id === null) {
        return ['UNKNOWN AFFILIATE', 404];
    }
    if (!in_array($id, $seen, true)) {
        setcookie('tf_seen_' . $id, '1', ['expires' => time() + 365 * 86400, 'path' => '/', 'samesite' => 'Lax']);
    }
    return ['OK', 200];
}

function tf_track_main(): void
{
    $get = fn(string $name) => is_string($_REQUEST[$name] ?? null) ? $_REQUEST[$name] : '';
    if (tf_track_is_automatic($_SERVER)) {
        tf_send('OK');
        return;
    }
    try {
        $pdo = tf_connect(tf_load_config(__DIR__), __DIR__, true);
        [$text, $status] = tf_track($pdo, $get('event'), $get('affid'), $get('order'));
        tf_send($text, $status);
    } catch (TfRefused $e) {
        tf_send('REFUSED', 400);
    } catch (Throwable $e) {
        error_log('track.php: ' . get_class($e) . ': ' . $e->getMessage());
        tf_send('SERVER ERROR', 500);
    }
}

tf_track_main();
