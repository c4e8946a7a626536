<?php
// actions.php - the tracking script that the Tallyfair control panel talks to.
//
// Every request is a multipart/form-data POST whose field "action" names one
// of eight operations; the reply is a short text that the control panel
// compares byte for byte, so nothing else may ever be printed.
//
// It acts only in a folder it knows to be protected, and never for a
// browser (see tf_actions_refusal); everything else answers "REFUSED" (403)
// before the database is opened. The shared code, and the database settings
// in config.php, are in tracking-lib.php beside it.

declare(strict_types=1);

require __DIR__ . '/tracking-lib.php';
tf_quiet_errors();

// ---- who may act ------------------------------------------------------------

// Protected means the web server says so: it sets TALLYFAIR_PROTECTED=1 (a
// FastCGI parameter, or SetEnv, which Apache hands on as
// REDIRECT_TALLYFAIR_PROTECTED after an internal redirect) in the location
// that it guards with authentication, and nowhere else. A client cannot set
// it: its headers arrive as HTTP_* variables. REMOTE_USER and PHP_AUTH_USER
// prove nothing, since they come from the client's own Authorization header
// even where no password is checked. PHP's built-in server counts as
// protected for a client on the same machine only (the demo, the tests).
function tf_folder_is_protected(array $server): bool
{
    foreach (['TALLYFAIR_PROTECTED', 'REDIRECT_TALLYFAIR_PROTECTED'] as $name) {
        if (($server[$name] ?? '') === '1') {
            return true;
        }
    }
    return PHP_SAPI === 'cli-server' && tf_is_loopback((string)($server['REMOTE_ADDR'] ?? ''));
}

function tf_is_loopback(string $address): bool
{
    $bytes = @inet_pton($address);
    if ($bytes === false) {
        return false;
    }
    if (strlen($bytes) === 16 && strncmp($bytes, str_repeat("\0", 10) . "\xff\xff", 12) === 0) {
        $bytes = substr($bytes, 12);
    }
    return strlen($bytes) === 4 ? $bytes[0] === "\x7f" : $bytes === str_repeat("\0", 15) . "\x01";
}

// A browser marks what it sends on a page's behalf with Origin, Referer or
// Sec-Fetch-*; the control panel sends none of them. So a form posted by
// another site, which the browser would send with the operator's cached
// credentials, is told apart from the control panel.
function tf_is_from_browser(array $server): bool
{
    foreach ($server as $name => $value) {
        $name = (string)$name;
        if ($name === 'HTTP_ORIGIN' || $name === 'HTTP_REFERER' || strncmp($name, 'HTTP_SEC_FETCH_', 15) === 0) {
            return true;
        }
    }
    return false;
}

// ---- request values -------------------------------------------------------

function tf_post(string $name): string
{
    $v = $_POST[$name] ?? '';
    return is_string($v) ? $v : '';
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

function tf_parse_record_id(string $text): int
{
    if (preg_match('/^\d{1,18}$/D', $text) !== 1) {
        throw new TfRefused('bad record id');
    }
    return (int)$text;
}

// ---- the eight actions ------------------------------------------------------

// An affiliate's record: its fields, and which of them are text.
const TF_AFFILIATE_FIELDS = ['id', 'name', 'link_id', 'oto_sales', 'subscribers', 'visitors', 'unique_hits'];
const TF_AFFILIATE_TEXT = [1, 2];

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
    tf_send_list($pdo, TF_AFFILIATE_FIELDS, TF_AFFILIATE_TEXT, 'id', 'tf_affiliates', '');
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

// A list of one record (or none), built like every list.
function tf_get_affiliate(PDO $pdo, string $recordId): ?string
{
    $id = tf_parse_record_id($recordId);
    tf_send_list($pdo, TF_AFFILIATE_FIELDS, TF_AFFILIATE_TEXT, 'id', 'tf_affiliates', "id = $id");
    return null;
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

function tf_main(): void
{
    if (!tf_folder_is_protected($_SERVER)) {
        error_log('actions.php: refused, the web server does not mark this folder as protected'
            . ' (TALLYFAIR_PROTECTED); see "Setting up your site" in the README');
        tf_send('REFUSED', 403);
        return;
    }
    // The control panel sends a plain GET before it adds or edits; it must
    // succeed, and it touches nothing.
    $method = $_SERVER['REQUEST_METHOD'] ?? 'GET';
    if ($method !== 'GET' && $method !== 'HEAD' && tf_is_from_browser($_SERVER)) {
        tf_send('REFUSED', 403);
        return;
    }
    if ($method !== 'POST' || !isset($_POST['action'])) {
        tf_send('READY');
        return;
    }
    global $tf_reply_started;
    try {
        $pdo = tf_connect(tf_load_config(__DIR__), __DIR__);
        $reply = tf_dispatch($pdo, tf_post('action'));
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

tf_main();
