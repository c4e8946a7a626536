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
    $history = tf_has_history($pdo);
    tf_transaction($pdo, function () use ($pdo, $ids, $lock, $history) {
        // Change marks: the epoch before any row (see tf_change_hold).
        $mark = tf_change_hold($pdo);
        $set = $mark === null ? '' : ", changed = $mark";
        if ($ids === null) {
            tf_query($pdo, 'SELECT COUNT(*) FROM tf_affiliates' . $lock);
            // History: as below.
            if ($history) {
                tf_hourly_sums_forget($pdo, null);
            }
            tf_run($pdo, "UPDATE tf_sales SET affiliate_id = NULL$set WHERE affiliate_id IS NOT NULL");
            tf_run($pdo, 'DELETE FROM tf_affiliates');
            tf_change_floor($pdo, $mark);
            return;
        }
        $chunks = array_map('tf_id_list', array_chunk($ids, TF_ID_CHUNK));
        foreach ($chunks as $list) {
            tf_query($pdo, "SELECT COUNT(*) FROM tf_affiliates WHERE id IN ($list)" . $lock);
        }
        $moved = 0;
        // History: their hours go with them (ON DELETE CASCADE), and so do
        // the sums of every hour.
        if ($history) {
            tf_hourly_sums_forget($pdo, null);
        }
        foreach ($chunks as $list) {
            // Change marks: tombstones, unless there are too many to list.
            if (count($ids) <= TF_CHANGES_MASS) {
                tf_tombstones($pdo, $mark, TF_DELETED_AFFILIATE, 'tf_affiliates', $list);
            }
            $moved += tf_run($pdo, "UPDATE tf_sales SET affiliate_id = NULL$set WHERE affiliate_id IN ($list)");
            tf_run($pdo, "DELETE FROM tf_affiliates WHERE id IN ($list)");
        }
        if (count($ids) > TF_CHANGES_MASS || $moved > TF_CHANGES_MASS) {
            tf_change_floor($pdo, $mark);
        }
    });
    return 'OK';
}

function tf_list_affiliates(PDO $pdo): ?string
{
    tf_send_list($pdo, TF_AFFILIATE_FIELDS, TF_AFFILIATE_TEXT, 'id', 'tf_affiliates', '');
    return null;
}

// The condition on tf_sales s of a sales list (action 4's querytype and
// reftype), '' for every sale, or null for none (nothing selected).
function tf_sales_where(string $queryType, string $refType): ?string
{
    // match compares strictly: a switch would take "01" or " 1" for 1.
    return match ($queryType) {
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
}

function tf_list_sales(PDO $pdo, string $queryType, string $refType): ?string
{
    return tf_send_sales($pdo, $queryType, $refType, null);
}

// Sales as actions 4 and 21 select them; $range (action 21, from
// tf_parse_range) adds the time of each sale and limits them to
// [from, to). Gives back "OK" when nothing is selected, null once sent.
function tf_send_sales(PDO $pdo, string $queryType, string $refType, ?array $range): ?string
{
    $where = tf_sales_where($queryType, $refType);
    if ($where === null) {
        return 'OK';
    }
    // Sales of most affiliates are read in id order along the primary key,
    // which needs no sorting. Small selections and the direct sales are left
    // to the database, which looks them up by affiliate when that is less.
    $scan = $queryType === '1' || $queryType === '3' || $queryType === '0'
        && ($refType === 'all' || substr_count($refType, ',') >= TF_SCAN_IDS);
    $sales = 'tf_sales s';
    $fields = ['s.id', "COALESCE(a.name, '')", 's.sale_order'];
    $text = [1, 2];
    if ($range !== null) {
        $fields[] = 's.created_at';
        $text[] = 3;
        $bounds = tf_sales_id_bounds($pdo, $range);
        if ($bounds === null) {
            return 'OK';
        }
        $where = implode(' AND ', array_filter([$where === '' ? '' : "($where)", $bounds], fn($c) => $c !== ''));
    }
    if ($scan) {
        $sales .= tf_is_mysql($pdo) ? ' FORCE INDEX (PRIMARY)' : ' NOT INDEXED';
    }
    tf_send_list($pdo, $fields, $text, 's.id', "$sales LEFT JOIN tf_affiliates a ON a.id = s.affiliate_id",
        $where);
    return null;
}

// ---- history: sales in a range, counters per hour ------------------------------

// A range of the history actions as Unix times [from, to), a bound being
// null when it is not given; null for a range that holds nothing. Bounds a
// TIMESTAMP cannot hold are no bounds at all, since no sale lies beyond them.
function tf_parse_range(string $fromText, string $toText): ?array
{
    $from = tf_parse_time($fromText);
    $to = tf_parse_time($toText);
    if ($from !== null && $to !== null && $from >= $to || $to !== null && $to <= 0
        || $from !== null && $from > TF_LAST_TIME) {
        return null;
    }
    return [$from !== null && $from > 0 ? $from : null, $to !== null && $to <= TF_LAST_TIME ? $to : null];
}

// The SQL condition that limits sales to a range: the time bounds on
// created_at, and the first and last id of the sales in it, so that a list
// of sales in id order reads only that stretch of the table (sales are
// added in time order, so it is about the range itself). Null when the
// range holds no sale.
function tf_sales_id_bounds(PDO $pdo, array $range): ?string
{
    [$from, $to] = $range;
    $conditions = [];
    if ($from !== null) {
        $conditions[] = "s.created_at >= '" . tf_time_text($from) . "'";
    }
    if ($to !== null) {
        $conditions[] = "s.created_at < '" . tf_time_text($to) . "'";
    }
    if ($conditions === []) {
        return '';
    }
    $inRange = implode(' AND ', $conditions);
    [[$first, $last]] = tf_query($pdo, "SELECT MIN(s.id), MAX(s.id) FROM tf_sales s WHERE $inRange");
    if ($first === null) {
        return null;
    }
    return "s.id >= $first AND s.id <= $last AND $inRange";
}

function tf_list_sales_in_range(PDO $pdo, string $queryType, string $refType, string $from, string $to): ?string
{
    // Checked first, whatever else is asked: a bad time is always refused.
    $range = tf_parse_range($from, $to);
    if (!in_array($queryType, ['0', '1', '2', '3'], true)) {
        throw new TfRefused('bad query type');
    }
    if ($range === null) {
        return 'OK';
    }
    return tf_send_sales($pdo, $queryType, $refType, $range);
}

// The buckets of tf_hourly that a history action sums: the affiliates of
// $refType ("all" or an id list) and the hours that start in the range. Null
// when that is none.
function tf_hourly_where(string $refType, string $from, string $to): ?string
{
    $range = tf_parse_range($from, $to);
    $ids = match ($refType) {
        '', 'all' => null,
        default => tf_parse_ids($refType),
    };
    if ($refType === '' || $range === null) {
        return null;
    }
    $conditions = ['1 = 1'];
    if ($ids !== null) {
        $conditions[] = 'affiliate_id IN (' . tf_id_list($ids) . ')';
    }
    [$fromTime, $toTime] = $range;
    if ($fromTime !== null) {
        $conditions[] = 'hour_start >= ' . $fromTime;
    }
    if ($toTime !== null) {
        $conditions[] = 'hour_start < ' . $toTime;
    }
    return implode(' AND ', $conditions);
}

// Sends the records of "SELECT $key, sums ... GROUP BY $key", built by the
// database; few enough to be kept whole (one per hour, or per affiliate).
function tf_send_hourly(PDO $pdo, string $key, string $keyField, string $where): void
{
    $record = tf_sql_record($pdo, [$keyField, ...TF_HOURLY_SUMS]);
    $text = tf_transaction($pdo, function () use ($pdo, $record, $key, $where) {
        $st = tf_cursor($pdo, "SELECT $record FROM tf_hourly WHERE $where GROUP BY $key ORDER BY $key");
        $text = '';
        while (($row = $st->fetchColumn()) !== false) {
            $text .= $row;
        }
        $st->closeCursor();
        return $text;
    }, TF_SNAPSHOT);
    tf_send($text . 'OK');
}

// Action 22: per hour, the selected affiliates summed. For every affiliate
// (a trend of the whole event, the common case) the settled hours come from
// tf_hourly_sums, which keeps them summed once asked for.
function tf_hourly_counts(PDO $pdo, string $refType, string $from, string $to): ?string
{
    $where = tf_hourly_where($refType, $from, $to);
    if ($where === null) {
        return 'OK';
    }
    $hour = tf_is_mysql($pdo) ? 'FROM_UNIXTIME(hour_start)' : "datetime(hour_start, 'unixepoch')";
    if ($refType === 'all' || substr_count($refType, ',') >= TF_SCAN_IDS
        && tf_names_every_affiliate($pdo, tf_parse_ids($refType))) {
        tf_send_all_hours($pdo, $hour, tf_parse_range($from, $to));
        return null;
    }
    tf_send_hourly($pdo, 'hour_start', $hour, $where);
    return null;
}

// Whether an id list names every affiliate there is (the program's Select
// All sends the ids, not "all"). The ids are distinct: as many as there are
// affiliates name them all when each affiliate's id is among them. One pass
// over the table's ids takes a fifth of the time of looking 100,000 ids up.
function tf_names_every_affiliate(PDO $pdo, array $ids): bool
{
    if (count($ids) !== (int)tf_query($pdo, 'SELECT COUNT(*) FROM tf_affiliates')[0][0]) {
        return false;
    }
    $named = array_flip($ids);
    $all = true;
    $st = tf_cursor($pdo, 'SELECT id FROM tf_affiliates');
    while (($id = $st->fetchColumn()) !== false) {
        if (!isset($named[(int)$id])) {
            $all = false;
            break;
        }
    }
    $st->closeCursor();
    return $all;
}

// Action 22 for every affiliate: the settled hours summed once, the rest
// (the last hour or two) from the buckets.
function tf_send_all_hours(PDO $pdo, string $hourText, array $range): void
{
    [$from, $to] = $range;
    $settled = tf_hourly_settled();
    $until = $to === null ? $settled : min($to, $settled);
    if ($from === null || $from < $until) {
        tf_hourly_sums_fill($pdo, $from, $until);
    }
    $inRange = ($from === null ? '' : " AND hour_start >= $from") . ($to === null ? '' : " AND hour_start < $to");
    $record = tf_sql_record($pdo, [$hourText, 'oto_sales', 'subscribers', 'visitors', 'unique_hits']);
    $sums = implode(', ', TF_HOURLY_SUMS);
    tf_send(implode('', array_column(tf_query($pdo, "SELECT $record FROM ("
        . 'SELECT hour_start, oto_sales, subscribers, visitors, unique_hits FROM tf_hourly_sums'
        . " WHERE hour_start > 0 AND hour_start < $settled$inRange"
        . ' AND oto_sales + subscribers + visitors + unique_hits > 0'
        . " UNION ALL SELECT hour_start, $sums FROM tf_hourly WHERE hour_start >= $settled$inRange GROUP BY hour_start"
        . ') h ORDER BY hour_start'), 0)) . 'OK');
}

// Action 23: per affiliate, summed over the range.
function tf_affiliate_counts(PDO $pdo, string $refType, string $from, string $to): ?string
{
    $where = tf_hourly_where($refType, $from, $to);
    if ($where === null) {
        return 'OK';
    }
    tf_send_hourly($pdo, 'affiliate_id', 'affiliate_id', $where);
    return null;
}

// All or nothing, in one transaction. Each affiliate's OTO sales go down by
// its sales deleted, so that the counter keeps matching its sale rows. The
// affiliates are locked first, in id order, as in the deletion above.
function tf_delete_sales(PDO $pdo, string $idsText): string
{
    $ids = $idsText === 'all' ? null : tf_parse_ids($idsText);
    $lock = tf_is_mysql($pdo) ? ' FOR UPDATE' : '';
    $history = tf_has_history($pdo);
    tf_transaction($pdo, function () use ($pdo, $ids, $lock, $history) {
        // Change marks: the epoch before any row (see tf_change_hold).
        $mark = tf_change_hold($pdo);
        $set = $mark === null ? '' : ", changed = $mark";
        if ($ids === null) {
            tf_run($pdo, "UPDATE tf_affiliates SET oto_sales = 0$set");
            // History: no hour keeps a sale either.
            if ($history) {
                tf_hourly_sums_forget($pdo, null);
                tf_run($pdo, 'UPDATE tf_hourly SET oto_sales = 0 WHERE oto_sales <> 0');
            }
            tf_run($pdo, 'DELETE FROM tf_sales');
            tf_change_floor($pdo, $mark);
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
                    . " ELSE 0 END$set WHERE id IN (" . tf_id_list($chunk) . ')');
            }
        }
        // History: each sale leaves its affiliate's hour as well.
        if ($history) {
            tf_hourly_remove_sales($pdo, $chunks);
        }
        foreach ($chunks as $list) {
            // Change marks: tombstones, unless there are too many to list.
            if (count($ids) <= TF_CHANGES_MASS) {
                tf_tombstones($pdo, $mark, TF_DELETED_SALE, 'tf_sales', $list);
            }
            tf_run($pdo, "DELETE FROM tf_sales WHERE id IN ($list)");
        }
        if (count($ids) > TF_CHANGES_MASS) {
            tf_change_floor($pdo, $mark);
        }
    });
    return 'OK';
}

// Takes the sales of these id lists off the buckets of their hours, under
// the locks of their affiliates that tf_delete_sales holds (track.php
// writes a bucket only under its affiliate's lock too). As for the
// counters, one statement per number of sales taken off a bucket.
function tf_hourly_remove_sales(PDO $pdo, array $chunks): void
{
    $hour = tf_is_mysql($pdo) ? 'UNIX_TIMESTAMP(created_at) DIV ' . TF_HOUR . ' * ' . TF_HOUR
        : "CAST(strftime('%s', created_at) AS INTEGER) / " . TF_HOUR . ' * ' . TF_HOUR;
    $byCount = [];
    $hours = [];
    foreach ($chunks as $list) {
        foreach (tf_query($pdo, "SELECT affiliate_id, $hour, COUNT(*) FROM tf_sales WHERE id IN ($list)"
            . ' AND affiliate_id IS NOT NULL GROUP BY 1, 2') as [$affiliate, $start, $count]) {
            $byCount[(int)$count][] = '(' . (int)$affiliate . ', ' . (int)$start . ')';
            $hours[] = (int)$start;
        }
    }
    tf_hourly_sums_forget($pdo, $hours);
    foreach ($byCount as $count => $buckets) {
        foreach (array_chunk($buckets, TF_ID_CHUNK) as $chunk) {
            tf_run($pdo, "UPDATE tf_hourly SET oto_sales = CASE WHEN oto_sales > $count THEN oto_sales - $count"
                . ' ELSE 0 END WHERE (affiliate_id, hour_start) IN (' . implode(', ', $chunk) . ')');
        }
    }
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
        tf_with_change_marks(fn() => tf_run($pdo, 'INSERT INTO tf_affiliates (name, link_id' . tf_change_column()
            . ') VALUES (?, ?' . tf_change_value($pdo) . ')', [$name, $linkId]), 'actions.php');
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
        tf_transaction($pdo, function () use ($pdo, $id, $name, $linkId) {
            $mark = tf_change_hold($pdo);
            $before = tf_query($pdo, 'SELECT name FROM tf_affiliates WHERE id = ?', [$id]);
            tf_run($pdo, 'UPDATE tf_affiliates SET name = ?, link_id = ?' . ($mark === null ? '' : ", changed = $mark")
                . ' WHERE id = ?', [$name, $linkId, $id]);
            // The name is part of each of its sales' records.
            if ($before !== [] && $before[0][0] !== $name) {
                tf_change_sales_of($pdo, $mark, $id);
            }
        });
    } catch (PDOException $e) {
        if (tf_is_duplicate($e)) {
            return 'EXIST RECORD';
        }
        throw $e;
    }
    return 'OK';
}

// ---- changes (action 30) ------------------------------------------------------
//
// What changed since a cursor, for a control panel that refreshes by changes
// (docs/protocol.md, "Changes"). Rows carry the epoch at which they last
// changed (see "change marks" in tracking-lib.php); deletions leave
// tombstones in tf_deleted. A cursor is "<site>.<epoch>": the program has
// seen every change marked before that epoch.

// Kinds of tombstone.
const TF_DELETED_AFFILIATE = 1;
const TF_DELETED_SALE = 2;
// Tombstones are kept this long, and pruned by action 30 at most this often;
// a cursor older than what is kept is answered with a reload.
const TF_TOMBSTONE_SECONDS = 7 * 86400;
const TF_PRUNE_SECONDS = 3600;
// Rows one request may delete or change and still have listed one by one;
// past that the cursors before it are answered with a reload instead.
const TF_CHANGES_MASS = 10000;
// Records of one reply past which a reload (the full lists, sent in bounded
// memory) is the cheaper way.
const TF_CHANGES_MAX = 100000;
// How long action 30 waits for the transactions that hold the old epoch.
// Counting waits behind it meanwhile, so not long: the program asks again.
const TF_CHANGES_WAIT = 5;

// First thing in a transaction that changes rows: takes the shared lock on
// the epoch before any row lock, as track.php's statements do, so that no
// transaction waits for the epoch while holding a row that another one
// waits for. The epoch to mark with, or null when the database has no
// marks.
function tf_change_hold(PDO $pdo): ?int
{
    global $tf_change_marks;
    if (!$tf_change_marks) {
        return null;
    }
    try {
        $rows = tf_query($pdo, "SELECT value FROM tf_changes WHERE name = 'epoch'"
            . (tf_is_mysql($pdo) ? ' LOCK IN SHARE MODE' : ''));
    } catch (PDOException $e) {
        if (!tf_change_marks_missing($e)) {
            throw $e;
        }
        $tf_change_marks = false;
        return null;
    }
    return $rows === [] ? null : (int)$rows[0][0];
}

function tf_has_change_marks(PDO $pdo): bool
{
    try {
        tf_query($pdo, 'SELECT value FROM tf_changes LIMIT 1');
        return true;
    } catch (PDOException $e) {
        if (!tf_change_marks_missing($e)) {
            throw $e;
        }
        return false;
    }
}

// Cursors from before the epoch $mark get a reload: a change too large to
// list was marked with it.
function tf_change_floor(PDO $pdo, ?int $mark): void
{
    if ($mark !== null) {
        tf_run($pdo, "UPDATE tf_changes SET value = CASE WHEN value > $mark THEN value ELSE $mark + 1 END"
            . " WHERE name = 'floor'");
    }
}

// Tombstones for the rows of $table with these ids, before they go.
function tf_tombstones(PDO $pdo, ?int $mark, int $kind, string $table, string $idList): void
{
    if ($mark !== null) {
        tf_run($pdo, "REPLACE INTO tf_deleted (kind, id, changed, deleted_at) SELECT $kind, id, $mark, "
            . time() . " FROM $table WHERE id IN ($idList)");
    }
}

// The sales of an affiliate whose name changed: their records changed too.
function tf_change_sales_of(PDO $pdo, ?int $mark, int $affiliate): void
{
    if ($mark === null) {
        return;
    }
    $count = (int)tf_query($pdo, 'SELECT COUNT(*) FROM tf_sales WHERE affiliate_id = ?', [$affiliate])[0][0];
    if ($count > TF_CHANGES_MASS) {
        tf_change_floor($pdo, $mark);
    } else {
        tf_run($pdo, "UPDATE tf_sales SET changed = $mark WHERE affiliate_id = ?", [$affiliate]);
    }
}

function tf_changes(PDO $pdo, string $cursor, string $queryType, string $refType): ?string
{
    $sales = tf_sales_where($queryType, $refType);
    if (strlen($cursor) > 64) {
        throw new TfRefused('bad cursor');
    }
    if (tf_is_mysql($pdo)) {
        // Sale times on the wire are UTC.
        $pdo->exec("SET time_zone = '+00:00', innodb_lock_wait_timeout = " . TF_CHANGES_WAIT);
    }
    tf_changes_prune($pdo);
    // Waits for every transaction that marks with the epoch it replaces
    // (they hold its row in share mode): from here on, nothing marked
    // before the new epoch can still commit.
    tf_transaction($pdo, function () use ($pdo) {
        if (tf_run($pdo, "UPDATE tf_changes SET value = value + 1 WHERE name = 'epoch'") === 0) {
            tf_changes_restart($pdo);
        }
    });
    // A snapshot begun after that: it holds every change marked before the
    // epoch it reads.
    [$pieces, $length] = tf_transaction($pdo, fn() => tf_changes_since($pdo, $cursor, $sales, $queryType),
        TF_SNAPSHOT);
    tf_send_pieces(tf_list_deflater(), [], $pieces, $length);
    return null;
}

// The state rows anew, under a new site number, when someone has emptied
// tf_changes: every cursor handed out before is then answered with a reload.
function tf_changes_restart(PDO $pdo): void
{
    tf_run($pdo, 'DELETE FROM tf_changes');
    tf_run($pdo, 'INSERT INTO tf_changes (name, value) VALUES (?, 1), (?, 1), (?, ?), (?, 0)',
        ['epoch', 'floor', 'site', random_int(1, 4294967295), 'pruned']);
}

// Tombstones older than TF_TOMBSTONE_SECONDS, at most once per
// TF_PRUNE_SECONDS; the floor goes above the last of them, in the same
// transaction, so that a snapshot sees either both or neither.
function tf_changes_prune(PDO $pdo): void
{
    $now = time();
    tf_transaction($pdo, function () use ($pdo, $now) {
        $last = tf_query($pdo, "SELECT value FROM tf_changes WHERE name = 'pruned'");
        if ($last === [] || (int)$last[0][0] > $now - TF_PRUNE_SECONDS) {
            return;
        }
        $before = $now - TF_TOMBSTONE_SECONDS;
        $newest = tf_query($pdo, 'SELECT MAX(changed) FROM tf_deleted WHERE deleted_at < ?', [$before])[0][0];
        if ($newest !== null) {
            tf_run($pdo, 'DELETE FROM tf_deleted WHERE deleted_at < ?', [$before]);
            tf_change_floor($pdo, (int)$newest);
        }
        tf_run($pdo, "UPDATE tf_changes SET value = ? WHERE name = 'pruned'", [$now]);
    });
}

// Inside the snapshot: the records of the reply and their length.
function tf_changes_since(PDO $pdo, string $cursor, ?string $sales, string $queryType): array
{
    $state = [];
    foreach (tf_query($pdo, 'SELECT name, value FROM tf_changes') as [$name, $value]) {
        $state[$name] = (int)$value;
    }
    $site = $state['site'] ?? 0;
    $epoch = $state['epoch'] ?? 0;
    $next = "$site.$epoch";
    $since = preg_match('/^(\d{1,19})\.(\d{1,19})$/D', $cursor, $m) === 1 && (int)$m[1] === $site ? (int)$m[2] : -1;
    // A cursor from before the floor, of another database, or one that this
    // database has not reached (restored from a backup since): reload.
    if ($since < ($state['floor'] ?? PHP_INT_MAX) || $since > $epoch
        || tf_changes_count($pdo, $since) > TF_CHANGES_MAX) {
        $reload = "\"R\",\"$next\"^";
        return [[$reload], strlen($reload)];
    }
    $pieces = [];
    $length = 0;
    $fields = TF_AFFILIATE_FIELDS;
    foreach (TF_AFFILIATE_TEXT as $i) {
        $fields[$i] = tf_sql_clean($fields[$i]);
    }
    tf_changes_read($pdo, 'SELECT ' . tf_sql_record($pdo, ["'A'", ...$fields])
        . " FROM tf_affiliates WHERE changed >= $since ORDER BY id", $pieces, $length);
    tf_changes_ids($pdo, 'D', [tf_changes_tombstones($pdo, TF_DELETED_AFFILIATE, 'tf_affiliates', $since)],
        $pieces, $length);
    if ($sales !== null) {
        $time = tf_is_mysql($pdo) ? "DATE_FORMAT(s.created_at, '%Y-%m-%d %H:%i:%s')" : 's.created_at';
        tf_changes_read($pdo, 'SELECT ' . tf_sql_record($pdo, ["'S'", 's.id',
            tf_sql_clean("COALESCE(a.name, '')"), tf_sql_clean('s.sale_order'), $time])
            . " FROM tf_sales s LEFT JOIN tf_affiliates a ON a.id = s.affiliate_id WHERE s.changed >= $since"
            . ($sales === '' ? '' : " AND ($sales)") . ' ORDER BY s.id', $pieces, $length);
        $gone = [tf_changes_tombstones($pdo, TF_DELETED_SALE, 'tf_sales', $since)];
        // A sale leaves the list of some affiliates' sales when its
        // affiliate is deleted; direct sales and all sales it never leaves.
        if ($queryType === '0' || $queryType === '1') {
            $gone[] = "SELECT id FROM tf_sales WHERE changed >= $since AND affiliate_id IS NULL";
        }
        tf_changes_ids($pdo, 'X', $gone, $pieces, $length);
    }
    $pieces[] = "\"C\",\"$next\"^";
    return [$pieces, $length + strlen(end($pieces))];
}

// Rows that a reply since this epoch would hold, at most (cheap: the
// affiliates are one table scan, the rest are read by their changed index).
function tf_changes_count(PDO $pdo, int $since): int
{
    $count = 0;
    foreach (['tf_affiliates', 'tf_sales', 'tf_deleted'] as $table) {
        $count += (int)tf_query($pdo, "SELECT COUNT(*) FROM $table WHERE changed >= $since")[0][0];
    }
    return $count;
}

// The ids of the rows of one kind deleted since the epoch, and not there
// again.
function tf_changes_tombstones(PDO $pdo, int $kind, string $table, int $since): string
{
    return "SELECT d.id FROM tf_deleted d WHERE d.kind = $kind AND d.changed >= $since"
        . " AND NOT EXISTS (SELECT 1 FROM $table t WHERE t.id = d.id)";
}

// Appends the records that one query builds.
function tf_changes_read(PDO $pdo, string $sql, array &$pieces, int &$length): void
{
    $piece = '';
    $st = tf_cursor($pdo, $sql);
    while (($record = $st->fetchColumn()) !== false) {
        $piece .= $record;
        if (strlen($piece) >= TF_LIST_PIECE) {
            $pieces[] = $piece;
            $length += strlen($piece);
            $piece = '';
        }
    }
    $st->closeCursor();
    $pieces[] = $piece;
    $length += strlen($piece);
}

// Appends one record "tag","id" for each id that these queries give, once
// each, in id order.
function tf_changes_ids(PDO $pdo, string $tag, array $queries, array &$pieces, int &$length): void
{
    $ids = [];
    foreach ($queries as $sql) {
        foreach (tf_query($pdo, $sql) as [$id]) {
            $ids[(int)$id] = true;
        }
    }
    ksort($ids);
    $piece = '';
    foreach (array_keys($ids) as $id) {
        $piece .= "\"$tag\",\"$id\"^";
    }
    $pieces[] = $piece;
    $length += strlen($piece);
}

// The extensions of the protocol that this script has, by name (see
// docs/protocol.md). A control panel asks with action 20 and shows only what
// the site can answer; an older script refuses the action.
const TF_EXTENSIONS_VERSION = 1;
const TF_EXTENSIONS = ['history', 'changes'];

function tf_extensions(PDO $pdo): string
{
    // Both need the tables that upgrade.php adds.
    $present = ['history' => fn() => tf_has_history($pdo), 'changes' => fn() => tf_has_change_marks($pdo)];
    $names = array_filter(TF_EXTENSIONS, fn(string $name) => ($present[$name])());
    return '"' . TF_EXTENSIONS_VERSION . '","' . implode(' ', $names) . '"^OK';
}

// Whether the database has the tables of the history extension: not before
// upgrade.php has added them, and until then the site does without.
function tf_has_history(PDO $pdo): bool
{
    static $has = null;
    if ($has === null) {
        try {
            tf_query($pdo, 'SELECT (SELECT COUNT(*) FROM tf_hourly_sums WHERE hour_start = 0),'
                . ' (SELECT COUNT(*) FROM tf_hourly WHERE hour_start = 0)');
            $has = true;
        } catch (PDOException $e) {
            $has = false;
        }
    }
    return $has;
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
        '20' => tf_extensions($pdo),
        '21' => tf_list_sales_in_range($pdo, tf_post('querytype'), tf_post('reftype'), tf_post('from'), tf_post('to')),
        '22' => tf_hourly_counts($pdo, tf_post('reftype'), tf_post('from'), tf_post('to')),
        '23' => tf_affiliate_counts($pdo, tf_post('reftype'), tf_post('from'), tf_post('to')),
        '30' => tf_changes($pdo, tf_post('cursor'), tf_post('querytype'), tf_post('reftype')),
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
