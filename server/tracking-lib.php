<?php
// actions.php - the tracking script that the Tallyfair control panel talks to.
//
// Every request is a multipart/form-data POST whose field "action" names one
// of eight operations; the reply is a short text that the control panel
// compares byte for byte, so nothing else may ever be printed.
//
// The database settings come from config.php in this folder, the file that
// the control panel writes ($hostname, $database, $username, $password).
// A $hostname of "sqlite:" followed by a file path selects an SQLite database
// instead of MySQL/MariaDB; a relative path is taken from this folder. For
// MySQL, $hostname is a host name, "host:port", or the path of a Unix socket.
//
// The script has no authentication of its own: protect it with the web
// server's authentication, over https.

declare(strict_types=1);

// A warning printed into a reply would make it unreadable to the control
// panel; problems go to the server's error log instead.
ini_set('display_errors', '0');
ini_set('log_errors', '1');

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

final class TfRefused extends Exception
{
}

// Set once the first byte of a reply has gone out: from then on nothing else
// may be written, not even an error text, or it would become part of it.
$tf_reply_started = false;

function tf_send_headers(int $status, int $length): void
{
    global $tf_reply_started;
    $tf_reply_started = true;
    if (!headers_sent()) {
        http_response_code($status);
        header('Content-Type: text/plain');
        // no-transform: a compressing proxy or module would drop the length
        // that tells the client whether the reply arrived whole.
        header('Cache-Control: no-store, no-transform');
        header('Content-Length: ' . $length);
    }
}

function tf_send(string $text, int $status = 200): void
{
    tf_send_headers($status, strlen($text));
    echo $text;
}

function tf_load_config(string $dir): array
{
    $file = $dir . '/config.php';
    if (!is_file($file)) {
        throw new RuntimeException('config.php is missing next to the script');
    }
    $hostname = $database = $username = $password = '';
    // Whatever config.php prints (a byte order mark, blank lines after the
    // closing tag) would end up in front of every reply.
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
    // so that a kept connection does not repeat it.
    $options[PDO::MYSQL_ATTR_INIT_COMMAND] = "SET SESSION sql_mode = 'STRICT_ALL_TABLES,NO_ENGINE_SUBSTITUTION'";
    if ($tracking) {
        $options[PDO::ATTR_PERSISTENT] = true;
    }
    return new PDO($dsn, $cfg['user'], $cfg['password'], $options);
}

function tf_is_mysql(PDO $pdo): bool
{
    return $pdo->getAttribute(PDO::ATTR_DRIVER_NAME) === 'mysql';
}

// ---- request values -------------------------------------------------------

function tf_post(string $name): string
{
    $v = $_POST[$name] ?? '';
    return is_string($v) ? $v : '';
}

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

// "5,9" -> [5, 9]. Anything but digits joined by single commas is refused.
// A plain loop: a pattern over the whole list fails on long selections
// (every affiliate of a 100,000-row list) when it hits the engine's limits.
function tf_parse_ids(string $text): array
{
    $ids = [];
    foreach (explode(',', $text) as $piece) {
        $length = strlen($piece);
        if ($length === 0 || $length > 18 || strspn($piece, '0123456789') !== $length) {
            throw new TfRefused('bad id list');
        }
        $ids[(int)$piece] = true;
    }
    return array_keys($ids);
}

// Ids as SQL text: they are integers, so a list of any length needs no
// placeholders (whose number per statement is limited).
function tf_id_list(array $ids): string
{
    return implode(',', array_map('intval', $ids));
}

function tf_parse_record_id(string $text): int
{
    if (preg_match('/^\d{1,18}$/D', $text) !== 1) {
        throw new TfRefused('bad record id');
    }
    return (int)$text;
}

// ---- replies ----------------------------------------------------------------

// Values written by other parts of the site are not checked on the way in,
// so separators are blanked here to keep every record whole.
function tf_field(?string $value): string
{
    return '"' . strtr((string)$value, [',' => ' ', '^' => ' ', '"' => ' ', "\r" => ' ', "\n" => ' ']) . '"';
}

function tf_records(array $rows): string
{
    $out = '';
    foreach ($rows as $row) {
        $out .= implode(',', array_map('tf_field', $row)) . '^';
    }
    return $out;
}

// ---- database helpers -----------------------------------------------------

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
//   $snapshot: a read-only view that stays the same for every statement
//              of the transaction (for lists sent in more than one query).
//   otherwise: a writing transaction. On MySQL/MariaDB it reads committed
//              rows and takes no gap locks, so that it cannot deadlock with
//              track.php; on SQLite it takes the write lock at once.
function tf_transaction(PDO $pdo, callable $work, bool $snapshot = false)
{
    $mysql = tf_is_mysql($pdo);
    if ($mysql) {
        $pdo->exec($snapshot ? 'SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY'
            : 'SET TRANSACTION ISOLATION LEVEL READ COMMITTED');
        $pdo->exec($snapshot ? 'START TRANSACTION WITH CONSISTENT SNAPSHOT' : 'START TRANSACTION');
    } else {
        $pdo->exec($snapshot ? 'BEGIN' : 'BEGIN IMMEDIATE');
    }
    try {
        $result = $work();
        $pdo->exec('COMMIT');
        return $result;
    } catch (Throwable $e) {
        try {
            $pdo->exec('ROLLBACK');
        } catch (Throwable $ignored) {
            // A cursor still open refuses it; closing the connection at the
            // end of the request rolls back just the same.
        }
        throw $e;
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

// Text of an SQL expression: the value with the reply's separators blanked.
// Values written by other parts of the site are not checked on the way in,
// so this keeps every record whole.
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

// Sends a list reply: one record per row of "FROM $from WHERE $where" in the
// order of $id, then "OK". $fields are the SQL expressions of a record's
// fields, the first being $id; those named in $text are text, which may hold
// the reply's separators (values written by other parts of the site are not
// checked on the way in) and then have them blanked.
//
// The reply always carries its exact length (Content-Length), and "OK" is
// written last, only once every record has gone out. So a reply cut short by
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
function tf_send_list(PDO $pdo, array $fields, array $text, string $id, string $from, string $where): void
{
    // Half of what is left, less one block of the memory manager.
    $budget = max(0, intdiv(tf_memory_limit() - memory_get_usage(true), 2) - (2 << 20));
    $raw = tf_sql_record($pdo, $fields);
    foreach ($text as $i) {
        $fields[$i] = tf_sql_clean($fields[$i]);
    }
    $blanked = tf_sql_record($pdo, $fields);
    $count = count($fields);
    $select = fn(string $record, string $range) => "SELECT $record FROM $from WHERE $range"
        . ($where === '' ? '' : " AND ($where)") . " ORDER BY $id";

    $whole = tf_transaction($pdo, function () use ($pdo, $budget, $raw, $blanked, $count, $select, $id) {
        $pieces = [];
        $dirty = [];
        $piece = '';
        $rows = 0;
        $kept = 0;
        $st = tf_cursor($pdo, $select($raw, "$id > ?"), [0]);
        while (($text = $st->fetchColumn()) !== false) {
            $piece .= $text;
            $rows++;
            if (strlen($piece) >= TF_LIST_PIECE) {
                // Every record begins with its id: '"' + digits + '"'.
                if (!tf_records_clean($piece, $rows, $count)) {
                    $dirty[count($pieces)] = [(int)substr($piece, 1), (int)substr($text, 1)];
                }
                $kept += strlen($piece);
                $pieces[] = $piece;
                $piece = '';
                $rows = 0;
                if ($kept > $budget) {
                    break;
                }
            }
        }
        // A piece left over holds every row to the end.
        if ($piece !== '' && !tf_records_clean($piece, $rows, $count)) {
            $dirty[count($pieces)] = [(int)substr($piece, 1), null];
        }
        $kept += strlen($piece);
        $pieces[] = $piece;
        $piece = '';
        $rest = 0;
        $more = $text !== false;
        $after = $more ? (int)substr($text, 1) : 0;
        if ($more) {
            while (($text = $st->fetchColumn()) !== false) {
                $rest += strlen($text);
            }
        }
        $st->closeCursor();
        foreach ($dirty as $i => [$first, $last]) {
            $again = '';
            $st = $last === null ? tf_cursor($pdo, $select($blanked, "$id >= ?"), [$first])
                : tf_cursor($pdo, $select($blanked, "$id >= ? AND $id <= ?"), [$first, $last]);
            while (($text = $st->fetchColumn()) !== false) {
                $again .= $text;
            }
            $st->closeCursor();
            if (strlen($again) !== strlen($pieces[$i])) {
                throw new RuntimeException('list changed while it was read');
            }
            $pieces[$i] = $again;
        }
        if (!$more) {
            // All of it is in hand: sent once the transaction has ended, so
            // that a slow download holds no lock (on SQLite, a read
            // transaction keeps track.php's commits waiting).
            return [$pieces, $kept];
        }

        tf_send_headers(200, $kept + $rest + 2);
        foreach ($pieces as $i => $piece) {
            echo $piece;
            unset($pieces[$i]);
        }
        $sent = 0;
        $piece = '';
        $st = tf_cursor($pdo, $select($blanked, "$id > ?"), [$after]);
        while (($text = $st->fetchColumn()) !== false) {
            $piece .= $text;
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
        echo 'OK';
        return null;
    }, true);
    if ($whole !== null) {
        [$pieces, $kept] = $whole;
        unset($whole);
        tf_send_headers(200, $kept + 2);
        foreach ($pieces as $i => $piece) {
            echo $piece;
            unset($pieces[$i]);
        }
        echo 'OK';
    }
}

const TF_AFFILIATE_COLUMNS = 'id, name, link_id, oto_sales, subscribers, visitors, unique_hits';

// ---- the eight actions ------------------------------------------------------

function tf_check_server(PDO $pdo): string
{
    // Both tables must be there, not merely the connection. Not counted:
    // counting a million sales takes a noticeable part of a second.
    tf_query($pdo, 'SELECT 1 FROM tf_affiliates LIMIT 1');
    tf_query($pdo, 'SELECT 1 FROM tf_sales LIMIT 1');
    return 'OK';
}

// Affiliates are locked before their sales are touched, the same order as
// track.php takes, and all of them, in id order, before anything changes, as
// the deletion of sales does, so none of these waits for another in a circle.
function tf_delete_affiliates(PDO $pdo, string $idsText): string
{
    $ids = $idsText === 'all' ? null : tf_parse_ids($idsText);
    if ($ids !== null) {
        sort($ids);
    }
    $lock = tf_is_mysql($pdo) ? ' FOR UPDATE' : '';
    tf_transaction($pdo, function () use ($pdo, $ids, $lock) {
        if ($ids === null) {
            tf_query($pdo, 'SELECT COUNT(*) FROM tf_affiliates' . $lock);
            tf_run($pdo, 'UPDATE tf_sales SET affiliate_id = NULL WHERE affiliate_id IS NOT NULL');
            tf_run($pdo, 'DELETE FROM tf_affiliates');
            return;
        }
        $chunks = array_map('tf_id_list', array_chunk($ids, TF_ID_CHUNK));
        foreach ($chunks as $list) {
            tf_query($pdo, "SELECT COUNT(*) FROM tf_affiliates WHERE id IN ($list)" . $lock);
        }
        foreach ($chunks as $list) {
            tf_run($pdo, "UPDATE tf_sales SET affiliate_id = NULL WHERE affiliate_id IN ($list)");
            tf_run($pdo, "DELETE FROM tf_affiliates WHERE id IN ($list)");
        }
    });
    return 'OK';
}

function tf_list_affiliates(PDO $pdo): ?string
{
    tf_send_list($pdo, ['id', 'name', 'link_id', 'oto_sales', 'subscribers', 'visitors', 'unique_hits'], [1, 2],
        'id', 'tf_affiliates', '');
    return null;
}

function tf_list_sales(PDO $pdo, string $queryType, string $refType): ?string
{
    // match compares strictly: a switch would take "01" or " 1" for 1.
    $where = match ($queryType) {
        // the selected affiliates
        '0' => match ($refType) {
            '' => null,
            'all' => 's.affiliate_id IS NOT NULL',
            default => 's.affiliate_id IN (' . tf_id_list(tf_parse_ids($refType)) . ')',
        },
        '1' => 's.affiliate_id IS NOT NULL',
        '2' => 's.affiliate_id IS NULL',
        '3' => '',
        default => throw new TfRefused('bad query type'),
    };
    if ($where === null) {
        return 'OK';
    }
    // Sales of most affiliates are read in id order along the primary key,
    // which needs no sorting. Small selections and the direct sales are left
    // to the database, which looks them up by affiliate when that is less.
    $scan = $queryType === '1' || $queryType === '3' || $queryType === '0'
        && ($refType === 'all' || substr_count($refType, ',') >= TF_SCAN_IDS);
    $sales = 'tf_sales s';
    if ($scan) {
        $sales .= tf_is_mysql($pdo) ? ' FORCE INDEX (PRIMARY)' : ' NOT INDEXED';
    }
    tf_send_list($pdo, ['s.id', "COALESCE(a.name, '')", 's.sale_order'], [1, 2], 's.id',
        "$sales LEFT JOIN tf_affiliates a ON a.id = s.affiliate_id", $where);
    return null;
}

// All or nothing, in one transaction. Each affiliate's OTO sales go down by
// its sales deleted, so that the counter keeps matching its sale rows. The
// affiliates are locked first, in id order, as in the deletion above.
function tf_delete_sales(PDO $pdo, string $idsText): string
{
    $ids = $idsText === 'all' ? null : tf_parse_ids($idsText);
    $lock = tf_is_mysql($pdo) ? ' FOR UPDATE' : '';
    tf_transaction($pdo, function () use ($pdo, $ids, $lock) {
        if ($ids === null) {
            tf_run($pdo, 'UPDATE tf_affiliates SET oto_sales = 0');
            tf_run($pdo, 'DELETE FROM tf_sales');
            return;
        }
        $chunks = array_map('tf_id_list', array_chunk($ids, TF_ID_CHUNK));
        $affiliates = [];
        foreach ($chunks as $list) {
            foreach (tf_query($pdo, "SELECT DISTINCT affiliate_id FROM tf_sales WHERE id IN ($list)"
                . ' AND affiliate_id IS NOT NULL') as $row) {
                $affiliates[(int)$row[0]] = true;
            }
        }
        $affiliates = array_keys($affiliates);
        sort($affiliates);
        foreach (array_chunk($affiliates, TF_ID_CHUNK) as $chunk) {
            tf_query($pdo, 'SELECT COUNT(*) FROM tf_affiliates WHERE id IN (' . tf_id_list($chunk) . ')' . $lock);
        }
        // Counted again under the locks: a sale may have lost its affiliate
        // or gone in the meantime.
        $deleted = [];
        foreach ($chunks as $list) {
            foreach (tf_query($pdo, "SELECT affiliate_id, COUNT(*) FROM tf_sales WHERE id IN ($list)"
                . " AND affiliate_id IS NOT NULL GROUP BY affiliate_id$lock") as [$affiliate, $count]) {
                $deleted[(int)$affiliate] = ($deleted[(int)$affiliate] ?? 0) + (int)$count;
            }
        }
        // One statement for all the affiliates that lose the same number of
        // sales (nearly always one each), not one per affiliate: a long
        // selection touches thousands of them.
        ksort($deleted);
        $byCount = [];
        foreach ($deleted as $affiliate => $count) {
            $byCount[$count][] = $affiliate;
        }
        foreach ($byCount as $count => $affiliates) {
            foreach (array_chunk($affiliates, TF_ID_CHUNK) as $chunk) {
                tf_run($pdo, "UPDATE tf_affiliates SET oto_sales = CASE WHEN oto_sales > $count THEN oto_sales - $count"
                    . ' ELSE 0 END WHERE id IN (' . tf_id_list($chunk) . ')');
            }
        }
        foreach ($chunks as $list) {
            tf_run($pdo, "DELETE FROM tf_sales WHERE id IN ($list)");
        }
    });
    return 'OK';
}

function tf_link_id_taken(PDO $pdo, string $linkId, int $exceptId): bool
{
    return count(tf_query($pdo, 'SELECT id FROM tf_affiliates WHERE link_id = ? AND id <> ?', [$linkId, $exceptId])) > 0;
}

function tf_add_affiliate(PDO $pdo, string $name, string $linkId): string
{
    $name = tf_clean_value($name, TF_MAX_NAME);
    $linkId = tf_clean_value($linkId, TF_MAX_LINK_ID);
    if (tf_link_id_taken($pdo, $linkId, 0)) {
        return 'EXIST RECORD';
    }
    try {
        tf_run($pdo, 'INSERT INTO tf_affiliates (name, link_id) VALUES (?, ?)', [$name, $linkId]);
    } catch (PDOException $e) {
        // Another request took the link id between the check and the insert.
        if (tf_is_duplicate($e)) {
            return 'EXIST RECORD';
        }
        throw $e;
    }
    return 'OK';
}

function tf_get_affiliate(PDO $pdo, string $recordId): string
{
    $rows = tf_query($pdo, 'SELECT ' . TF_AFFILIATE_COLUMNS . ' FROM tf_affiliates WHERE id = ?',
        [tf_parse_record_id($recordId)]);
    return tf_records($rows) . 'OK';
}

function tf_edit_affiliate(PDO $pdo, string $recordId, string $name, string $linkId): string
{
    $id = tf_parse_record_id($recordId);
    $name = tf_clean_value($name, TF_MAX_NAME);
    $linkId = tf_clean_value($linkId, TF_MAX_LINK_ID);
    if (count(tf_query($pdo, 'SELECT id FROM tf_affiliates WHERE id = ?', [$id])) === 0) {
        return "DON'T EXIST RECORD";
    }
    if (tf_link_id_taken($pdo, $linkId, $id)) {
        return 'EXIST RECORD';
    }
    try {
        tf_run($pdo, 'UPDATE tf_affiliates SET name = ?, link_id = ? WHERE id = ?', [$name, $linkId, $id]);
    } catch (PDOException $e) {
        if (tf_is_duplicate($e)) {
            return 'EXIST RECORD';
        }
        throw $e;
    }
    return 'OK';
}

// The reply, or null for a list that has been sent already.
function tf_dispatch(PDO $pdo, string $action): ?string
{
    return match ($action) {
        '1' => tf_check_server($pdo),
        '2' => tf_delete_affiliates($pdo, tf_post('deleteids')),
        '3' => tf_list_affiliates($pdo),
        '4' => tf_list_sales($pdo, tf_post('querytype'), tf_post('reftype')),
        '5' => tf_delete_sales($pdo, tf_post('deleteids')),
        '6' => tf_add_affiliate($pdo, tf_post('affname'), tf_post('afflinkid')),
        '7' => tf_get_affiliate($pdo, tf_post('affcod')),
        '8' => tf_edit_affiliate($pdo, tf_post('affcod'), tf_post('affname'), tf_post('afflinkid')),
        default => throw new TfRefused('unknown action'),
    };
}

function tf_open_database(): PDO
{
    return tf_connect(tf_load_config(__DIR__), __DIR__);
}

function tf_main(): void
{
    // The control panel sends a plain GET before it adds or edits; it must
    // succeed, and it touches nothing.
    if (($_SERVER['REQUEST_METHOD'] ?? 'GET') !== 'POST' || !isset($_POST['action'])) {
        tf_send('READY');
        return;
    }
    global $tf_reply_started;
    $action = tf_post('action');
    try {
        $pdo = tf_open_database();
        $reply = tf_dispatch($pdo, $action);
        if ($reply !== null) {
            tf_send($reply);
        }
    } catch (Throwable $e) {
        if (!$e instanceof TfRefused) {
            // The details (which may name the user or the host) go to the
            // server's log only.
            error_log('actions.php: ' . get_class($e) . ': ' . $e->getMessage());
        }
        // Part of a list has gone out already: the reply stays short of its
        // announced length, which the client sees as a failure.
        if (!$tf_reply_started) {
            $e instanceof TfRefused ? tf_send('REFUSED') : tf_send('SERVER ERROR', 500);
        }
    }
}

// track.php includes this file for its helpers only.
if (!defined('TF_LIBRARY_ONLY')) {
    tf_main();
}
