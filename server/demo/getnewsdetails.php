<?php
// Demo news service: the body of one item, escaped, then 0xAF and OK.
declare(strict_types=1);
require __DIR__ . '/news-items.php';

$error = tf_news_check_request();
if ($error !== '') {
    tf_news_send($error);
    return;
}
foreach (tf_news_items() as $item) {
    if ((string)$item['id'] === tf_news_field('newsid')) {
        tf_news_send(tf_news_encode($item['body']) . TF_NEWS_SEPARATOR . 'OK');
        return;
    }
}
tf_news_send('INVALIDNEWS');
