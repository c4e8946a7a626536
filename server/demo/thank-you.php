<?php
// Demo shop: the page a buyer sees after paying, which reports the sale to
// track.php beside it, signed with the site's secret, the way a shop's own
// thank-you page does:
//
//   thank-you.php?order=ORDER&affid=LINKID
//
// (affid as the shop remembered it from the buyer's visit, empty for a direct
// sale). A real shop signs only an order it has taken, with the order number
// from its own records; this demo signs whatever it is given, so it belongs
// on the demo site only.
declare(strict_types=1);
require __DIR__ . '/tracking-lib.php';

$order = is_string($_GET['order'] ?? null) ? $_GET['order'] : '';
$affid = is_string($_GET['affid'] ?? null) ? $_GET['affid'] : '';
try {
    $sale = tf_signed_sale_url('track.php', $order, $affid, tf_load_secret(__DIR__)['secret']);
} catch (Throwable $e) {
    error_log('thank-you.php: ' . $e->getMessage());
    http_response_code(500);
    return;
}
header('Content-Type: text/html; charset=utf-8');
echo '<!DOCTYPE html><html><head><title>Thank you</title></head><body><p>Thank you for your order ',
    htmlspecialchars($order), '.</p><img src="', htmlspecialchars($sale), '" width="1" height="1" alt=""></body></html>';
