<?php
// tracking-lib.php - the code that actions.php (the control panel's script)
// and track.php (the public counter) share. It lies beside both of them and
// is only ever included: requested through the web server it ends at once,
// before it has defined or done anything, and prints nothing.
//
// The database settings come from config.php in the same folder, the file
// that the control panel writes ($hostname, $database, $username,
// $password). A $hostname of "sqlite:" followed by a file path selects an
// SQLite database instead of MySQL/MariaDB; a relative path is taken from
// that folder. For MySQL, $hostname is a host name, "host:port", or the path
// of a Unix socket.
//
// The site's secret (which signs sales and salts the hashed client
// addresses) comes from tracking-secret.php, made once per site by
// `php upgrade.php --make-secret`.
//
// SQL: request values reach the database as bound parameters, or, in
// track.php's one-round-trip MariaDB statements, as PDO::quote()d binary
// literals on a connection whose character set and SQL mode are fixed when
// it is made. Numbers that PHP itself computed (ids, time buckets) and hash
// bytes (as hex literals) are written into the text directly.

declare(strict_types=1);

if (PHP_SAPI !== 'cli' && get_included_files()[0] === __FILE__) {
    return;
}

const TF_MAX_NAME = 255;
const TF_MAX_LINK_ID = 100;
const TF_MAX_ORDER = 255;
// Ids per statement when deleting; a selection of any length is split.
const TF_ID_CHUNK = 5000;
// An id list longer than this reads the sales in id order through the
// primary key instead of looking each affiliate up: cheaper once the
// selection covers much of the table.
const TF_SCAN_IDS = 1000;
// List replies (see tf_send_list) are kept and written in pieces of this
// size: small enough to fit the memory manager's blocks without waste.
const TF_LIST_PIECE = 256 << 10;

// Bytes that the reply grammar uses as separators: a value holding one of
// them would shift every later field of its record in the control panel.
const TF_WIRE_SEPARATORS = ",^\"\r\n";

// Kinds of transaction (tf_transaction).
const TF_WRITE = 'write';
const TF_SNAPSHOT = 'snapshot';
const TF_EVENT = 'event';

const TF_SECRET_FILE = 'tracking-secret.php';
// Defaults and bounds (seconds) of the counting windows of the secret file.
const TF_WINDOWS = [
    'visit_window' => 600,
    'unique_window' => 86400,
    'subscribe_window' => 3600,
];
const TF_MAX_WINDOW = 366 * 86400;

// The procedures with which track.php counts on MariaDB, made by
// upgrade.php. Their names carry the version of what they do: change the
// name with the body, so that scripts newer than a site's database find no
// procedure of that name and send their own statements instead of calling
// an older body.
const TF_COUNT_ROUTINE = 'tf_track_count_1';
const TF_SALE_ROUTINE = 'tf_track_sale_1';

final class TfRefused extends Exception
{
}

// ---- replies ----------------------------------------------------------------

// For the entry points, not for a shop's page that includes this file: a
// warning printed into a reply would make it unreadable to the control
// panel, so problems go to the server's error log instead.
function tf_quiet_errors(): void
{
    ini_set('display_errors', '0');
    ini_set('log_errors', '1');
}

// Set once the first byte of a reply has gone out: from then on nothing else
// may be written, not even an error text, or it would become part of it.
$tf_reply_started = false;

// $list: a list reply, whose form depends on the request's Accept-Encoding
// (Vary); $gzip: its body is compressed, and $length counts the compressed
// bytes, which is what a client checks as they arrive.
function tf_send_headers(int $status, int $length, bool $list = false, bool $gzip = false): void
{
    global $tf_reply_started;
    $tf_reply_started = true;
    if (!headers_sent()) {
        http_response_code($status);
        header('Content-Type: text/plain');
        // no-transform: a compressing proxy or module would drop the length
        // that tells the client whether the reply arrived whole. It stays on
        // the replies compressed here as well: nothing on the way may
        // decompress or recompress them either.
        header('Cache-Control: no-store, no-transform');
        if ($list) {
            header('Vary: Accept-Encoding');
        }
        if ($gzip) {
            header('Content-Encoding: gzip');
        }
        header('Content-Length: ' . $length);
    }
}

function tf_send(string $text, int $status = 200): void
{
    tf_send_headers($status, strlen($text));
    echo $text;
}

// ---- compressed list replies -------------------------------------------------
//
// A list reply is compressed (gzip) when the client accepts it and the list
// is in memory whole: its compressed length must be announced before the
// first byte goes out, like any list's length, so that a reply cut short
// still arrives short. A list is compressed piece by piece as it is read, so
// that only its compressed form is held: a million dated sales (64 MB) fit
// in the memory of a worker as 13 MB. A list whose compressed form is larger
// than the memory the script may use goes uncompressed in two passes, as
// before. Short replies are not worth it.
const TF_GZIP_MIN = 1024;
// zlib's level 4: on dated sales 13 % smaller than level 1 for a third more
// time, within a few per cent of level 6 at two thirds of its time; at 20
// Mbit/s the bytes saved outweigh the time (see PERFORMANCE.md).
const TF_GZIP_LEVEL = 4;

// Whether Accept-Encoding allows gzip: "gzip", "x-gzip" or "*" with a
// q-value other than 0.
function tf_accepts_gzip(array $server): bool
{
    foreach (explode(',', strtolower((string)($server['HTTP_ACCEPT_ENCODING'] ?? ''))) as $item) {
        $parts = explode(';', $item);
        $coding = trim($parts[0]);
        if ($coding !== 'gzip' && $coding !== 'x-gzip' && $coding !== '*') {
            continue;
        }
        $q = 1.0;
        foreach (array_slice($parts, 1) as $param) {
            $pair = explode('=', $param, 2);
            if (trim($pair[0]) === 'q' && isset($pair[1])) {
                $q = (float)trim($pair[1]);
            }
        }
        if ($q > 0) {
            return true;
        }
    }
    return false;
}

// Sends a list reply held in memory: what $zip has compressed of it already
// ($packed: every piece before the first of $pieces; null $zip: nothing),
// then the pieces, then "OK"; $length counts the records' bytes. The pieces
// are taken over (each is freed once compressed or written), so that memory
// does not hold both forms of a long list at once.
function tf_send_pieces(?DeflateContext $zip, array $packed, array &$pieces, int $length): void
{
    $length += 2;
    // Nothing is compressed before a whole piece has been read, which is
    // longer than TF_GZIP_MIN.
    if ($zip === null || $length < TF_GZIP_MIN) {
        tf_send_headers(200, $length, true);
        tf_list_write($pieces);
        echo 'OK';
        return;
    }
    foreach (array_keys($pieces) as $i) {
        tf_deflate_into($zip, $pieces[$i], $packed);
        unset($pieces[$i]);
    }
    tf_deflate_into($zip, 'OK', $packed, ZLIB_FINISH);
    tf_send_headers(200, array_sum(array_map('strlen', $packed)), true, true);
    tf_list_write($packed);
}

// The compressor of a list reply to this request, or null when the client
// does not take gzip.
function tf_list_deflater(): ?DeflateContext
{
    return tf_accepts_gzip($_SERVER) ? deflate_init(ZLIB_ENCODING_GZIP, ['level' => TF_GZIP_LEVEL]) : null;
}

// Compresses $text onto the end of $packed; gives back how many bytes that
// added.
function tf_deflate_into(DeflateContext $zip, string $text, array &$packed, int $flush = ZLIB_NO_FLUSH): int
{
    $part = deflate_add($zip, $text, $flush);
    if ($part === '') {
        return 0;
    }
    $packed[] = $part;
    return strlen($part);
}

// ---- the site's files -------------------------------------------------------

// Includes a PHP file of the site and gives back what it returns. Whatever it
// prints (a byte order mark, blank lines after the closing tag) would end up
// in front of every reply.
function tf_include_quietly(string $file)
{
    ob_start();
    try {
        return (static fn() => include $file)();
    } finally {
        ob_end_clean();
    }
}

function tf_load_config(string $dir): array
{
    $file = $dir . '/config.php';
    if (!is_file($file)) {
        throw new RuntimeException('config.php is missing next to the script');
    }
    $hostname = $database = $username = $password = '';
    ob_start();
    try {
        include $file;
    } finally {
        ob_end_clean();
    }
    return [
        'host' => (string)$hostname,
        'db' => (string)$database,
        'user' => (string)$username,
        'password' => (string)$password,
    ];
}

function tf_is_hex64($value): bool
{
    return is_string($value) && strlen($value) === 64 && strspn($value, '0123456789abcdef') === 64;
}

// The site's secret file, checked: 'secret', 'salt', 'unsigned_sales' and
// the three windows. Throws with the reason when it is missing or unusable,
// so that the caller can log it.
function tf_load_secret(string $dir): array
{
    $file = $dir . '/' . TF_SECRET_FILE;
    if (!is_file($file)) {
        throw new RuntimeException(TF_SECRET_FILE . ' is missing next to the script;'
            . ' make one with: php upgrade.php --make-secret');
    }
    $values = tf_include_quietly($file);
    if (!is_array($values) || !tf_is_hex64($values['secret'] ?? null) || !tf_is_hex64($values['salt'] ?? null)) {
        throw new RuntimeException(TF_SECRET_FILE . ' holds no secret and salt of 64 lowercase hex digits');
    }
    $secret = [
        'secret' => $values['secret'],
        'salt' => $values['salt'],
        'unsigned_sales' => ($values['unsigned_sales'] ?? false) === true,
    ];
    foreach (TF_WINDOWS as $name => $default) {
        $window = $values[$name] ?? $default;
        if (!is_int($window) || $window < 1 || $window > TF_MAX_WINDOW) {
            throw new RuntimeException(TF_SECRET_FILE . ": $name must be a whole number of seconds,"
                . ' 1 to ' . TF_MAX_WINDOW);
        }
        $secret[$name] = $window;
    }
    return $secret;
}

// The text of a new secret file: a fresh secret and salt, the defaults.
function tf_secret_file_text(): string
{
    $text = "<?php\n"
        . "// The tracking secret of this site: it signs sales (see the README) and\n"
        . "// salts the hashed client addresses. Keep it private; requested through\n"
        . "// the web server this file prints nothing.\n"
        . "return [\n"
        . "    'secret' => '" . bin2hex(random_bytes(32)) . "',\n"
        . "    'salt' => '" . bin2hex(random_bytes(32)) . "',\n"
        . "    // true: sales count without a signature. Anyone can then record a\n"
        . "    // sale for any affiliate, or take a real order for another one.\n"
        . "    'unsigned_sales' => false,\n"
        . "    // Seconds within which one client counts once per affiliate.\n";
    foreach (TF_WINDOWS as $name => $default) {
        $text .= "    '$name' => $default,\n";
    }
    return $text . "];\n";
}

// ---- signed sales -------------------------------------------------------------

// The signature of a sale: lowercase hex HMAC-SHA256 of the order, a line
// feed and the affiliate's link id (empty for a direct sale), keyed with the
// secret's 64 hex digits as text. The same as
//   printf '%s\n%s' "$order" "$affid" | openssl dgst -sha256 -hmac "$secret"
function tf_sale_signature(string $order, string $affid, string $secret): string
{
    return hash_hmac('sha256', $order . "\n" . $affid, $secret);
}

// The address for a shop's thank-you page to report a sale with:
//   tf_signed_sale_url('https://example.com/t/track.php', $order, $affid, $secret)
function tf_signed_sale_url(string $trackUrl, string $order, string $affid, string $secret): string
{
    return $trackUrl . (str_contains($trackUrl, '?') ? '&' : '?') . 'event=sale&order=' . rawurlencode($order)
        . '&affid=' . rawurlencode($affid) . '&sig=' . tf_sale_signature($order, $affid, $secret);
}

function tf_sale_signature_valid(string $order, string $affid, string $sig, string $secret): bool
{
    return hash_equals(tf_sale_signature($order, $affid, $secret), strtolower($sig));
}

// ---- the client -------------------------------------------------------------

// The part of an address that names one client: an IPv4 address whole, an
// IPv6 address by its /64 (one subscriber's network, which hands out many
// addresses), an IPv4 address mapped into IPv6 as IPv4.
function tf_client_network(string $address): string
{
    $bytes = @inet_pton($address);
    if ($bytes === false) {
        return $address;
    }
    if (strlen($bytes) === 16) {
        if (strncmp($bytes, str_repeat("\0", 10) . "\xff\xff", 12) === 0) {
            return substr($bytes, 12);
        }
        return substr($bytes, 0, 8);
    }
    return $bytes;
}

// 16 bytes naming the client (and $more, such as its browser) as it comes
// through one affiliate's link id, keyed with the site's salt: neither the
// address nor anything else of the client is stored.
function tf_client_key(string $address, string $more, string $linkId, string $salt): string
{
    return substr(hash_hmac('sha256', tf_client_network($address) . "\0" . $more . "\0" . $linkId, $salt, true), 0, 16);
}

// ---- the database ---------------------------------------------------------

function tf_is_absolute_path(string $path): bool
{
    return preg_match('#^([A-Za-z]:)?[/\\\\]#', $path) === 1;
}

// $tracking: track.php's connection, which runs one or two short statements
// per hit. It is kept open between requests by the PHP worker (no connect
// and log-in per hit) and sends each statement in one round trip.
function tf_connect(array $cfg, string $dir, bool $tracking = false): PDO
{
    $options = [
        PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION,
        PDO::ATTR_DEFAULT_FETCH_MODE => PDO::FETCH_NUM,
        PDO::ATTR_EMULATE_PREPARES => $tracking,
        PDO::ATTR_STRINGIFY_FETCHES => true,
    ];
    $host = $cfg['host'];
    if (strncmp($host, 'sqlite:', 7) === 0) {
        $path = substr($host, 7);
        if ($path === '') {
            throw new RuntimeException('no SQLite file named');
        }
        if (!tf_is_absolute_path($path)) {
            $path = $dir . '/' . $path;
        }
        // Opening a missing file would quietly create an empty database.
        if (!is_file($path)) {
            throw new RuntimeException('SQLite database not found: ' . $path);
        }
        $pdo = new PDO('sqlite:' . $path, null, null, $options);
        $pdo->exec('PRAGMA foreign_keys = ON');
        $pdo->exec('PRAGMA busy_timeout = 5000');
        return $pdo;
    }

    // A semicolon would let a setting add its own DSN parameters.
    if (strpos($host, ';') !== false || strpos($cfg['db'], ';') !== false) {
        throw new RuntimeException('host or database name holds a semicolon');
    }
    if ($host !== '' && $host[0] === '/') {
        $dsn = 'mysql:unix_socket=' . $host;
    } elseif (preg_match('/^([^:]+):(\d+)$/', $host, $m) === 1) {
        $dsn = 'mysql:host=' . $m[1] . ';port=' . $m[2];
    } else {
        $dsn = 'mysql:host=' . ($host === '' ? 'localhost' : $host);
    }
    $dsn .= ';dbname=' . $cfg['db'] . ';charset=utf8mb4';
    // Refuse rather than silently truncate. Run when the connection is made,
    // so that a kept connection does not repeat it. TIMESTAMP columns are
    // read and written in the session's time zone: UTC here, as on the
    // wire, so that no local daylight saving change can make an hour
    // ambiguous.
    $options[PDO::MYSQL_ATTR_INIT_COMMAND] = "SET SESSION sql_mode = 'STRICT_ALL_TABLES,NO_ENGINE_SUBSTITUTION',"
        . " time_zone = '+00:00'";
    if ($tracking) {
        $options[PDO::ATTR_PERSISTENT] = true;
    }
    return new PDO($dsn, $cfg['user'], $cfg['password'], $options);
}

function tf_is_mysql(PDO $pdo): bool
{
    return $pdo->getAttribute(PDO::ATTR_DRIVER_NAME) === 'mysql';
}

function tf_query(PDO $pdo, string $sql, array $params = []): array
{
    $st = $pdo->prepare($sql);
    $st->execute($params);
    return $st->fetchAll();
}

function tf_run(PDO $pdo, string $sql, array $params = []): int
{
    $st = $pdo->prepare($sql);
    $st->execute($params);
    return $st->rowCount();
}

function tf_is_duplicate(PDOException $e): bool
{
    return $e->getCode() === '23000' || $e->getCode() === 23000;
}

// Runs $work in one transaction and gives back its result; any failure
// rolls everything back.
//   TF_WRITE:    the control panel's changes. On MySQL/MariaDB it reads
//                committed rows and takes no gap locks, so that it cannot
//                deadlock with track.php; on SQLite it takes the write lock
//                at once.
//   TF_SNAPSHOT: a read-only view that stays the same for every statement
//                (for lists sent in more than one query).
//   TF_EVENT:    one count of track.php. On SQLite it takes the write lock
//                at once, not upgraded later. On MySQL/MariaDB the work sends
//                its statements in one batch that begins with TF_EVENT_BEGIN
//                and ends with COMMIT, so that the whole count costs one
//                round trip (work that sends TF_EVENT_BEGIN alone is
//                committed here); a batch that fails stops with its
//                transaction open, and it is rolled back here.
// On MySQL the other kinds are begun through PDO, so that PDO rolls them
// back should the script die with one open on a connection it keeps.
function tf_transaction(PDO $pdo, callable $work, string $kind = TF_WRITE)
{
    $mysql = tf_is_mysql($pdo);
    if ($mysql && $kind !== TF_EVENT) {
        $pdo->exec($kind === TF_SNAPSHOT ? 'SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY'
            : 'SET TRANSACTION ISOLATION LEVEL READ COMMITTED');
        $pdo->beginTransaction();
    } elseif (!$mysql) {
        $pdo->exec($kind === TF_SNAPSHOT ? 'BEGIN' : 'BEGIN IMMEDIATE');
    }
    try {
        $result = $work();
        // PDO asks MySQL whether a transaction is still open; SQLite's is.
        if (!$mysql || $pdo->inTransaction()) {
            $pdo->exec('COMMIT');
        }
        return $result;
    } catch (Throwable $e) {
        tf_rollback($pdo);
        throw $e;
    }
}

// The start of an event's batch on MySQL/MariaDB (see tf_transaction). The
// ROLLBACK ends anything that a request which died half way left open on the
// kept connection, which START TRANSACTION would otherwise commit.
const TF_EVENT_BEGIN = 'ROLLBACK; START TRANSACTION';

// Sent whatever state the transaction is in: a deadlock victim has been
// rolled back by the server already, and PHP cannot always tell from an
// error whether a transaction is still open.
function tf_rollback(PDO $pdo): void
{
    try {
        $pdo->exec('ROLLBACK');
    } catch (Throwable $ignored) {
        // A cursor still open refuses it, or the connection is gone; closing
        // the connection rolls back just the same.
    }
}

// A statement whose rows are fetched from the server one by one instead of
// being read into memory first (SQLite always works that way). The setting
// has to be on the connection: given to prepare() alone, it is ignored for
// server-side prepared statements. Only one such statement may be open.
function tf_cursor(PDO $pdo, string $sql, array $params = []): PDOStatement
{
    if (tf_is_mysql($pdo)) {
        $pdo->setAttribute(PDO::MYSQL_ATTR_USE_BUFFERED_QUERY, false);
    }
    $st = $pdo->prepare($sql);
    $st->execute($params);
    return $st;
}

// ---- list replies -------------------------------------------------------------
//
// A list reply is one record per row, in id order, then "OK".
//
// It always carries its exact length (Content-Length), and "OK" is written
// last, only once every record has gone out. So a reply cut short by
// anything at all (a database error, the script running out of time or
// memory, a worker that dies, a dropped connection) arrives shorter than
// announced, and the client treats it as a failed request. Without a length
// a short reply would look complete: the client takes any reply containing
// "OK", and a name may hold those letters. (Streaming without a length and
// breaking the connection on an error was the other way; but a script cannot
// break its connection under every web server, and a worker that runs out of
// memory ends its reply normally.)
//
// Memory stays bounded whatever the size of the list. The records are built
// by the database and read from one unbuffered cursor, in id order, into
// pieces of TF_LIST_PIECE bytes:
// - While they take up to half of the memory that memory_limit still
//   allows, they are kept and then sent with their length: one pass over
//   the rows, the usual case (1,000,000 sales are about 53 MB, under 128M).
// - Past that, the cursor is read on to its end only to add up the length
//   of the rest; the pieces kept are sent, and the rest is read a second
//   time and passed on piece by piece. Both reads run in one read-only
//   snapshot, so they see the same rows; should the bytes still differ, the
//   reply is cut off short of its announced length instead of being
//   finished.
// Blanking separators in SQL costs the database a third of its work on a
// list, and values almost never hold one. So the kept pieces are read as they
// are, each piece is checked (tf_records_clean), and only a piece that fails
// is read again, blanked, in the same snapshot. Blanking keeps every byte in
// its place, so lengths are the same either way.

// Text of an SQL expression: the value with the reply's separators blanked.
function tf_sql_clean(string $expr): string
{
    foreach (["','", "'^'", "'\"'", 'CHAR(13)', 'CHAR(10)'] as $separator) {
        $expr = "REPLACE($expr, $separator, ' ')";
    }
    return $expr;
}

// An SQL expression giving one whole record: the fields quoted, joined by
// commas, closed by a caret. The database builds the records, so that PHP
// only passes bytes on.
function tf_sql_record(PDO $pdo, array $fields): string
{
    $parts = ["'\"'"];
    foreach ($fields as $i => $field) {
        if ($i > 0) {
            $parts[] = "'\",\"'";
        }
        $parts[] = $field;
    }
    $parts[] = "'\"^'";
    return tf_is_mysql($pdo) ? 'CONCAT(' . implode(', ', $parts) . ')' : '(' . implode(' || ', $parts) . ')';
}

function tf_memory_limit(): int
{
    $text = trim((string)ini_get('memory_limit'));
    $value = (int)$text;
    if ($value <= 0) {
        return PHP_INT_MAX;
    }
    return match (strtolower(substr($text, -1))) {
        'g' => $value << 30,
        'm' => $value << 20,
        'k' => $value << 10,
        default => $value,
    };
}

// Whether the values of these records, $records of them with $fields fields
// each, are free of the reply's separators. A record brings exactly
// 2 * $fields quotes, $fields - 1 commas and one caret of its own and no line
// break; a value can only add to those, so totals equal to that mean that no
// value holds a separator. One pass over the bytes, whatever their number.
function tf_records_clean(string $text, int $records, int $fields): bool
{
    $counts = count_chars($text, 1);
    return ($counts[34] ?? 0) === 2 * $fields * $records && ($counts[44] ?? 0) === ($fields - 1) * $records
        && ($counts[94] ?? 0) === $records && !isset($counts[13]) && !isset($counts[10]);
}

// The id at the start of a record: '"' + digits + '"'.
function tf_record_id(string $record): int
{
    return (int)substr($record, 1);
}

// Sends a list reply of "FROM $from WHERE $where" in the order of $id.
// $fields are the SQL expressions of a record's fields, the first being $id;
// those named in $text are text, which may hold the reply's separators and
// then have them blanked.
function tf_send_list(PDO $pdo, array $fields, array $text, string $id, string $from, string $where): void
{
    $list = tf_list_query($pdo, $fields, $text, $id, $from, $where);
    // Half of what is left, less one block of the memory manager. What is in
    // use, not what the memory manager holds: a worker that has sent a long
    // list keeps its blocks for the next request, where they count as free
    // (counted as taken, a list that fits would be sent in two passes, and
    // uncompressed, by every request after the first).
    $budget = max(0, intdiv(tf_memory_limit() - memory_get_usage(), 2) - (2 << 20));
    $zip = tf_list_deflater();
    $whole = tf_transaction($pdo, fn() => tf_list_in_snapshot($pdo, $list, $budget, $zip), TF_SNAPSHOT);
    if ($whole !== null) {
        // All of it was in hand: the rest compressed and sent once the
        // transaction has ended, so that a slow download holds no lock (on
        // SQLite, a read transaction keeps track.php's commits waiting).
        [$packed, $pieces, $length] = $whole;
        unset($whole);
        tf_send_pieces($zip, $packed, $pieces, $length);
    }
}

// What the passes over a list need: the number of fields, and the SELECT of
// its records over a range of ids, raw or blanked.
function tf_list_query(PDO $pdo, array $fields, array $text, string $id, string $from, string $where): array
{
    $raw = tf_sql_record($pdo, $fields);
    foreach ($text as $i) {
        $fields[$i] = tf_sql_clean($fields[$i]);
    }
    $blanked = tf_sql_record($pdo, $fields);
    $tail = ($where === '' ? '' : " AND ($where)") . " ORDER BY $id";
    return [
        'fields' => count($fields),
        'id' => $id,
        'select' => fn(bool $blank, string $range) => 'SELECT ' . ($blank ? $blanked : $raw)
            . " FROM $from WHERE $range$tail",
    ];
}

// Inside the snapshot: when what the list needs held fits the budget, what
// $zip compressed of it, the pieces after that and the records' length; or
// null once a longer list has been streamed.
function tf_list_in_snapshot(PDO $pdo, array $list, int $budget, ?DeflateContext $zip): ?array
{
    $st = tf_cursor($pdo, $list['select'](false, "{$list['id']} > ?"), [0]);
    [$packed, $pieces, $dirty, $read, $after] = tf_list_keep($st, $list['fields'], $budget, $zip);
    $rest = 0;
    if ($after !== null) {
        while (($record = $st->fetchColumn()) !== false) {
            $rest += strlen($record);
        }
    }
    $st->closeCursor();
    if ($after === null) {
        tf_list_blank_pieces($pdo, $list, $pieces, $dirty);
        return [$packed, $pieces, $read];
    }
    tf_send_headers(200, $read + $rest + 2, true);
    if ($packed !== []) {
        // Its beginning was compressed, not kept: all of it is read again.
        $packed = $pieces = [];
        tf_list_stream($pdo, $list, 0, $read + $rest);
    } else {
        tf_list_blank_pieces($pdo, $list, $pieces, $dirty);
        tf_list_write($pieces);
        tf_list_stream($pdo, $list, $after, $rest);
    }
    echo 'OK';
    return null;
}

// Reads records into pieces until the list ends or what is held passes
// $budget. With $zip, each piece is compressed once full, up to the first
// that holds a separator: that one must be read again blanked (after the
// cursor has closed) before it can be compressed, so from there on pieces
// are kept as they came. Gives back the compressed parts, the pieces kept,
// the first and last id of each kept piece that holds a separator (the last
// as null when the piece runs to the end of the list), the length of the
// records read, and the id of the last record read when the list goes on
// (null when it ended).
function tf_list_keep(PDOStatement $st, int $fields, int $budget, ?DeflateContext $zip): array
{
    $packed = [];
    $pieces = [];
    $dirty = [];
    $piece = '';
    $rows = 0;
    $read = 0;
    $held = 0;
    while (($record = $st->fetchColumn()) !== false) {
        $piece .= $record;
        $rows++;
        if (strlen($piece) >= TF_LIST_PIECE) {
            $read += strlen($piece);
            $clean = tf_records_clean($piece, $rows, $fields);
            if ($zip !== null && $clean && $pieces === []) {
                $held += tf_deflate_into($zip, $piece, $packed);
            } else {
                if (!$clean) {
                    $dirty[count($pieces)] = [tf_record_id($piece), tf_record_id($record)];
                }
                $pieces[] = $piece;
                $held += strlen($piece);
            }
            $piece = '';
            $rows = 0;
            if ($held > $budget) {
                return [$packed, $pieces, $dirty, $read, tf_record_id($record)];
            }
        }
    }
    // A piece left over holds every row to the end.
    if ($piece !== '' && !tf_records_clean($piece, $rows, $fields)) {
        $dirty[count($pieces)] = [tf_record_id($piece), null];
    }
    $pieces[] = $piece;
    return [$packed, $pieces, $dirty, $read + strlen($piece), null];
}

// Reads the pieces that hold a separator again, blanked.
function tf_list_blank_pieces(PDO $pdo, array $list, array &$pieces, array $dirty): void
{
    foreach ($dirty as $i => [$first, $last]) {
        $id = $list['id'];
        $st = $last === null ? tf_cursor($pdo, $list['select'](true, "$id >= ?"), [$first])
            : tf_cursor($pdo, $list['select'](true, "$id >= ? AND $id <= ?"), [$first, $last]);
        $again = '';
        while (($record = $st->fetchColumn()) !== false) {
            $again .= $record;
        }
        $st->closeCursor();
        if (strlen($again) !== strlen($pieces[$i])) {
            throw new RuntimeException('list changed while it was read');
        }
        $pieces[$i] = $again;
    }
}

function tf_list_write(array &$pieces): void
{
    foreach (array_keys($pieces) as $i) {
        echo $pieces[$i];
        unset($pieces[$i]);
    }
}

// The second pass: the records after id $after, blanked, passed on piece by
// piece; exactly $rest bytes of them, or the reply is left short.
function tf_list_stream(PDO $pdo, array $list, int $after, int $rest): void
{
    $sent = 0;
    $piece = '';
    $st = tf_cursor($pdo, $list['select'](true, "{$list['id']} > ?"), [$after]);
    while (($record = $st->fetchColumn()) !== false) {
        $piece .= $record;
        if (strlen($piece) >= TF_LIST_PIECE) {
            if ($sent + strlen($piece) > $rest) {
                throw new RuntimeException('list grew while it was sent');
            }
            echo $piece;
            $sent += strlen($piece);
            $piece = '';
        }
    }
    $st->closeCursor();
    if ($sent + strlen($piece) !== $rest) {
        throw new RuntimeException('list changed while it was sent');
    }
    echo $piece;
}

// ---- change marks -------------------------------------------------------------
//
// Every statement that changes an affiliate or a sale sets the row's
// `changed` to the current epoch of tf_changes, read in that same statement
// with a shared lock on the epoch's row, which is held until the transaction
// ends. Action 30 of actions.php moves the epoch on with an exclusive lock,
// which waits for every transaction marking with the old epoch to end; so
// once it has moved, no change with an older mark can still commit, however
// the transactions interleave. (docs/protocol.md, "How the reference script
// keeps changes".) A database that upgrade.php has not brought this far has
// neither the columns nor the table: there nothing is marked.

// False once a statement has found no tf_changes or no `changed` column.
$tf_change_marks = true;

// The SQL of the current epoch, for a statement that marks rows with it.
// On MySQL/MariaDB the subquery is evaluated before the statement locks its
// rows, so that the epoch is always the first of the locks it takes.
function tf_change_mark(PDO $pdo): string
{
    return "(SELECT value FROM tf_changes WHERE name = 'epoch'" . (tf_is_mysql($pdo) ? ' LOCK IN SHARE MODE)' : ')');
}

// ", changed = <epoch>" for an UPDATE's SET list, or nothing when the
// database keeps no marks.
function tf_change_set(PDO $pdo): string
{
    global $tf_change_marks;
    return $tf_change_marks ? ', changed = ' . tf_change_mark($pdo) : '';
}

// The column and the value to add to an INSERT, or nothing.
function tf_change_column(): string
{
    global $tf_change_marks;
    return $tf_change_marks ? ', changed' : '';
}

function tf_change_value(PDO $pdo): string
{
    global $tf_change_marks;
    return $tf_change_marks ? ', ' . tf_change_mark($pdo) : '';
}

// Whether a statement failed for want of what upgrade.php adds for change
// marks (MySQL: no such table or column; SQLite: the same, as its message).
function tf_change_marks_missing(PDOException $e): bool
{
    $code = (int)($e->errorInfo[1] ?? 0);
    $text = $e->getMessage();
    return in_array($code, [1, 1054, 1146], true)
        && (stripos($text, 'tf_changes') !== false || stripos($text, 'changed') !== false);
}

// Runs $work, and once more without marks should it fail because the
// database has none yet; that is logged, once per request.
function tf_with_change_marks(callable $work, string $script)
{
    global $tf_change_marks;
    try {
        return $work();
    } catch (PDOException $e) {
        if (!$tf_change_marks || !tf_change_marks_missing($e)) {
            throw $e;
        }
        $tf_change_marks = false;
        error_log("$script: changes are not marked, tf_changes or a changed column is missing"
            . ' (run php upgrade.php, which adds them): ' . $e->getMessage());
        return $work();
    }
}

// ---- request values -------------------------------------------------------

// A name, link id or order as it will be stored: trimmed of blanks and
// control characters like the control panel does, never empty, never
// holding a separator of the reply grammar, never longer than its column.
function tf_clean_value(string $value, int $maxBytes): string
{
    if (strpbrk($value, TF_WIRE_SEPARATORS) !== false) {
        throw new TfRefused('value holds a separator');
    }
    $value = trim($value, "\x00..\x20");
    if ($value === '' || strlen($value) > $maxBytes) {
        throw new TfRefused('value empty or too long');
    }
    return $value;
}

// Ids as SQL text: they are integers, so a list of any length needs no
// placeholders (whose number per statement is limited).
function tf_id_list(array $ids): string
{
    return implode(',', array_map('intval', $ids));
}

// ---- times --------------------------------------------------------------------
//
// Times on the wire are UTC, "YYYY-MM-DD HH:MM:SS"; in the database a sale's
// created_at is the same text (SQLite) or a TIMESTAMP read in UTC (MySQL),
// and an hour is the Unix time of its start.

const TF_HOUR = 3600;
const TF_TIME_FORMAT = 'Y-m-d H:i:s';
// The largest time a MySQL TIMESTAMP holds.
const TF_LAST_TIME = 2147483647;

function tf_hour_of(int $unixTime): int
{
    return intdiv($unixTime, TF_HOUR) * TF_HOUR;
}

function tf_time_text(int $unixTime): string
{
    return gmdate(TF_TIME_FORMAT, $unixTime);
}

// "YYYY-MM-DD HH:MM:SS" as Unix time; null for the empty text (no bound).
// Anything else, a date that does not exist included, is refused.
function tf_parse_time(string $text): ?int
{
    if ($text === '') {
        return null;
    }
    $time = strlen($text) === 19 ? DateTimeImmutable::createFromFormat('!' . TF_TIME_FORMAT, $text,
        new DateTimeZone('UTC')) : false;
    if ($time === false || $time->format(TF_TIME_FORMAT) !== $text) {
        throw new TfRefused('bad time');
    }
    return $time->getTimestamp();
}

// ---- history: the hours of all affiliates summed ----------------------------------
//
// tf_hourly_sums keeps, per hour, the sums of every affiliate's bucket, for
// hours that track.php can no longer add to (TF_SUMS_SETTLED after their
// end): upgrade.php sums those there are, and a trend those that have
// settled since, the first time it asks for them. What changes a settled
// hour (deleting sales or affiliates, upgrade.php) forgets its sums. Its
// row of hour 0 is a lock: whoever sums or forgets takes it first, so that
// hours summed from buckets a deletion is changing can never be kept.

const TF_SUMS_SETTLED = 300;

// The sums of one group of buckets as the fields of a record after its
// first: OTO sales, subscribers, visitors, unique hits, as in an affiliate's
// record.
const TF_HOURLY_SUMS = ['SUM(oto_sales)', 'SUM(subscribers)', 'SUM(visitors)', 'SUM(unique_hits)'];

// The start of the first hour that is not settled yet.
function tf_hourly_settled(): int
{
    return tf_hour_of(time() - TF_HOUR - TF_SUMS_SETTLED) + TF_HOUR;
}

function tf_hourly_sums_lock(PDO $pdo): void
{
    tf_query($pdo, 'SELECT hour_start FROM tf_hourly_sums WHERE hour_start = 0' . (tf_is_mysql($pdo) ? ' FOR UPDATE' : ''));
}

// Forgets the sums of these hours (null: of every hour), inside the
// caller's transaction.
function tf_hourly_sums_forget(PDO $pdo, ?array $hours): void
{
    tf_hourly_sums_lock($pdo);
    if ($hours === null) {
        tf_run($pdo, 'DELETE FROM tf_hourly_sums WHERE hour_start > 0');
        return;
    }
    foreach (array_chunk(array_values(array_unique($hours)), TF_ID_CHUNK) as $chunk) {
        tf_run($pdo, 'DELETE FROM tf_hourly_sums WHERE hour_start IN (' . tf_id_list($chunk) . ')');
    }
}

// Sums the settled hours of [$from, $to) that are not summed yet.
function tf_hourly_sums_fill(PDO $pdo, ?int $from, int $to): void
{
    tf_transaction($pdo, function () use ($pdo, $from, $to) {
        tf_hourly_sums_lock($pdo);
        if ($from === null) {
            $first = tf_query($pdo, 'SELECT MIN(hour_start) FROM tf_hourly')[0][0];
            if ($first === null) {
                return;
            }
            $from = (int)$first;
        }
        $from = tf_hour_of($from + TF_HOUR - 1);
        $summed = [];
        foreach (tf_query($pdo, "SELECT hour_start FROM tf_hourly_sums WHERE hour_start >= $from AND hour_start < $to")
            as [$hour]) {
            $summed[(int)$hour] = true;
        }
        $missing = [];
        for ($hour = $from; $hour < $to; $hour += TF_HOUR) {
            if (!isset($summed[$hour])) {
                $missing[] = $hour;
            }
        }
        if ($missing === []) {
            return;
        }
        // One pass over the stretch of hours that holds them all, in the
        // order of its index; the hours summed already are left as they are.
        $ignore = tf_is_mysql($pdo) ? 'INSERT IGNORE' : 'INSERT OR IGNORE';
        $first = $missing[0];
        $last = $missing[count($missing) - 1];
        tf_run($pdo, "$ignore INTO tf_hourly_sums (hour_start, oto_sales, subscribers, visitors, unique_hits)"
            . ' SELECT hour_start, ' . implode(', ', TF_HOURLY_SUMS) . ' FROM tf_hourly'
            . " WHERE hour_start >= $first AND hour_start <= $last GROUP BY hour_start");
        // Hours without any bucket are kept too, as zeros.
        foreach (array_chunk($missing, TF_ID_CHUNK) as $chunk) {
            tf_run($pdo, "$ignore INTO tf_hourly_sums (hour_start) VALUES (" . implode('), (', $chunk) . ')');
        }
    });
}
