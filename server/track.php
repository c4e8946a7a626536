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
//                                           otherwise a direct sale
//
// Replies "OK", or "UNKNOWN AFFILIATE" (404) / "REFUSED" (400).

declare(strict_types=1);

define('TF_LIBRARY_ONLY', true);
require __DIR__ . '/actions.php';

function tf_track_affiliate_id(PDO $pdo, string $linkId): ?int
{
    $rows = tf_query($pdo, 'SELECT id FROM tf_affiliates WHERE link_id = ?', [$linkId]);
    return count($rows) > 0 ? (int)$rows[0][0] : null;
}

function tf_track_count(PDO $pdo, int $id, string $column): void
{
    // $column is one of the fixed names below, never request text.
    tf_run($pdo, "UPDATE tf_affiliates SET $column = $column + 1 WHERE id = ?", [$id]);
}

function tf_track(PDO $pdo, string $event, string $linkId, string $order): array
{
    $id = $linkId === '' ? null : tf_track_affiliate_id($pdo, $linkId);
    if ($event === 'sale') {
        $order = tf_clean_value($order, TF_MAX_ORDER);
        // The sale and its count go in together or not at all.
        $pdo->beginTransaction();
        try {
            tf_run($pdo, 'INSERT INTO tf_sales (affiliate_id, sale_order) VALUES (?, ?)', [$id, $order]);
            if ($id !== null) {
                tf_track_count($pdo, $id, 'oto_sales');
            }
            $pdo->commit();
        } catch (Throwable $e) {
            $pdo->rollBack();
            throw $e;
        }
        return ['OK', 200];
    }
    if (!in_array($event, ['', 'visit', 'subscribe'], true)) {
        throw new TfRefused('unknown event');
    }
    if ($id === null) {
        return ['UNKNOWN AFFILIATE', 404];
    }
    if ($event === 'subscribe') {
        tf_track_count($pdo, $id, 'subscribers');
        return ['OK', 200];
    }
    tf_track_count($pdo, $id, 'visitors');
    $cookie = 'tf_seen_' . $id;
    if (!isset($_COOKIE[$cookie])) {
        tf_track_count($pdo, $id, 'unique_hits');
        setcookie($cookie, '1', ['expires' => time() + 365 * 86400, 'path' => '/', 'samesite' => 'Lax']);
    }
    return ['OK', 200];
}

function tf_track_main(): void
{
    $get = fn(string $name) => is_string($_REQUEST[$name] ?? null) ? $_REQUEST[$name] : '';
    try {
        [$text, $status] = tf_track(tf_open_database(), $get('event'), $get('affid'), $get('order'));
        tf_send($text, $status);
    } catch (TfRefused $e) {
        tf_send('REFUSED', 400);
    } catch (Throwable $e) {
        error_log('track.php: ' . get_class($e) . ': ' . $e->getMessage());
        tf_send('SERVER ERROR', 500);
    }
}

tf_track_main();
