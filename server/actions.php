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
// Placeholders per statement; long id lists are handled in chunks.
const TF_ID_CHUNK = 500;

// Bytes that the reply grammar uses as separators: a value holding one of
// them would shift every later field of its record in the control panel.
const TF_WIRE_SEPARATORS = ",^\"\r\n";

final class TfRefused extends Exception
{
}

function tf_send(string $text, int $status = 200): void
{
    if (!headers_sent()) {
        http_response_code($status);
        header('Content-Type: text/plain');
        header('Cache-Control: no-store');
    }
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

function tf_connect(array $cfg, string $dir): PDO
{
    $options = [
        PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION,
        PDO::ATTR_DEFAULT_FETCH_MODE => PDO::FETCH_NUM,
        PDO::ATTR_EMULATE_PREPARES => false,
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
    $pdo = new PDO($dsn, $cfg['user'], $cfg['password'], $options);
    // Refuse rather than silently truncate.
    $pdo->exec("SET SESSION sql_mode = 'STRICT_ALL_TABLES,NO_ENGINE_SUBSTITUTION'");
    return $pdo;
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
function tf_parse_ids(string $text): array
{
    if (preg_match('/^\d{1,18}(,\d{1,18})*$/D', $text) !== 1) {
        throw new TfRefused('bad id list');
    }
    return array_values(array_unique(array_map('intval', explode(',', $text))));
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

// Runs $sql once per chunk of ids; "{ids}" in $sql becomes the placeholders.
function tf_for_id_chunks(PDO $pdo, string $sql, array $ids): array
{
    $rows = [];
    foreach (array_chunk($ids, TF_ID_CHUNK) as $chunk) {
        $marks = implode(',', array_fill(0, count($chunk), '?'));
        $st = $pdo->prepare(str_replace('{ids}', $marks, $sql));
        $st->execute($chunk);
        if ($st->columnCount() > 0) {
            array_push($rows, ...$st->fetchAll());
        }
    }
    return $rows;
}

function tf_is_duplicate(PDOException $e): bool
{
    return $e->getCode() === '23000' || $e->getCode() === 23000;
}

const TF_AFFILIATE_COLUMNS = 'id, name, link_id, oto_sales, subscribers, visitors, unique_hits';

// ---- the eight actions ------------------------------------------------------

function tf_check_server(PDO $pdo): string
{
    // Both tables must be there, not merely the connection.
    tf_query($pdo, 'SELECT COUNT(*) FROM tf_affiliates');
    tf_query($pdo, 'SELECT COUNT(*) FROM tf_sales');
    return 'OK';
}

function tf_delete_affiliates(PDO $pdo, string $idsText): string
{
    $pdo->beginTransaction();
    try {
        if ($idsText === 'all') {
            tf_run($pdo, 'UPDATE tf_sales SET affiliate_id = NULL WHERE affiliate_id IS NOT NULL');
            tf_run($pdo, 'DELETE FROM tf_affiliates');
        } else {
            $ids = tf_parse_ids($idsText);
            tf_for_id_chunks($pdo, 'UPDATE tf_sales SET affiliate_id = NULL WHERE affiliate_id IN ({ids})', $ids);
            tf_for_id_chunks($pdo, 'DELETE FROM tf_affiliates WHERE id IN ({ids})', $ids);
        }
        $pdo->commit();
    } catch (Throwable $e) {
        $pdo->rollBack();
        throw $e;
    }
    return 'OK';
}

function tf_list_affiliates(PDO $pdo): string
{
    return tf_records(tf_query($pdo, 'SELECT ' . TF_AFFILIATE_COLUMNS . ' FROM tf_affiliates ORDER BY id')) . 'OK';
}

function tf_list_sales(PDO $pdo, string $queryType, string $refType): string
{
    $select = "SELECT s.id, COALESCE(a.name, ''), s.sale_order FROM tf_sales s"
        . ' LEFT JOIN tf_affiliates a ON a.id = s.affiliate_id';
    // match compares strictly: a switch would take "01" or " 1" for 1.
    $rows = match ($queryType) {
        // the selected affiliates
        '0' => match ($refType) {
            '' => [],
            'all' => tf_query($pdo, $select . ' WHERE s.affiliate_id IS NOT NULL'),
            default => tf_for_id_chunks($pdo, $select . ' WHERE s.affiliate_id IN ({ids})', tf_parse_ids($refType)),
        },
        '1' => tf_query($pdo, $select . ' WHERE s.affiliate_id IS NOT NULL'),
        '2' => tf_query($pdo, $select . ' WHERE s.affiliate_id IS NULL'),
        '3' => tf_query($pdo, $select),
        default => throw new TfRefused('bad query type'),
    };
    usort($rows, fn($a, $b) => (int)$a[0] <=> (int)$b[0]);
    return tf_records($rows) . 'OK';
}

function tf_delete_sales(PDO $pdo, string $idsText): string
{
    if ($idsText === 'all') {
        tf_run($pdo, 'DELETE FROM tf_sales');
    } else {
        tf_for_id_chunks($pdo, 'DELETE FROM tf_sales WHERE id IN ({ids})', tf_parse_ids($idsText));
    }
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

function tf_dispatch(PDO $pdo, string $action): string
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
    $action = tf_post('action');
    try {
        $pdo = tf_open_database();
        tf_send(tf_dispatch($pdo, $action));
    } catch (TfRefused $e) {
        tf_send('REFUSED');
    } catch (Throwable $e) {
        // The details (which may name the user or the host) go to the
        // server's log only.
        error_log('actions.php: ' . get_class($e) . ': ' . $e->getMessage());
        tf_send('SERVER ERROR', 500);
    }
}

// track.php includes this file for its helpers only.
if (!defined('TF_LIBRARY_ONLY')) {
    tf_main();
}
