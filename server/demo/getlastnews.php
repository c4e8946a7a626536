<?php
// Demo news service: the newest item (conttype "lastcode") or every item
// (conttype "all").
declare(strict_types=1);
require __DIR__ . '/news-items.php';

$error = tf_news_check_request();
if ($error !== '') {
    tf_news_send($error);
    return;
}
$items = tf_news_items();
if (tf_news_field('conttype') === 'lastcode') {
    tf_news_send($items[0]['id'] . '^' . $items[0]['title'] . TF_NEWS_SEPARATOR . 'OK');
    return;
}
$out = '';
foreach ($items as $item) {
    $out .= $item['id'] . '^' . $item['title'] . '^' . $item['date'] . TF_NEWS_SEPARATOR;
}
tf_news_send($out . 'OK');
