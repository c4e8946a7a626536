<?php
// The demo news service's items, newest first, and the checks that both of
// its scripts make on a request. The replies end with the byte 0xAF and OK.

declare(strict_types=1);

const TF_NEWS_SEPARATOR = "\xAF";

function tf_news_items(): array
{
    return [
        ['id' => 3, 'title' => 'Spring giveaway kit is out', 'date' => '2026-03-14',
            'body' => '<html><body><h2>Spring giveaway kit</h2><p>New banners, new welcome pages '
                . 'and a fresh set of bonus gifts for your next event.</p></body></html>'],
        ['id' => 2, 'title' => 'Tips: more subscribers per visitor', 'date' => '2026-02-02',
            'body' => '<html><body><h2>More subscribers</h2><p>Put the sign-up box above the fold '
                . 'and keep the form to one field. 100% of tested pages did better.</p></body></html>'],
        ['id' => 1, 'title' => 'Welcome to the news service', 'date' => '2026-01-05',
            'body' => '<html><body><h2>Welcome</h2><p>News about your control panel shows up '
                . 'here.</p></body></html>'],
    ];
}

function tf_news_field(string $name): string
{
    $v = $_POST[$name] ?? '';
    return is_string($v) ? $v : '';
}

// Returns the error reply for a request the service does not serve, or ''.
function tf_news_check_request(): string
{
    if (tf_news_field('memusername') === '') {
        return 'INVALIDUSER';
    }
    if (!in_array(tf_news_field('prodtype'), ['BM', 'BP', 'BG'], true)) {
        return 'INVALIDPRODUCT';
    }
    return '';
}

// Every byte but letters and digits becomes "$" and two hex digits, so the
// body can hold neither the item separator nor a stray "OK" marker byte.
function tf_news_encode(string $html): string
{
    return preg_replace_callback('/[^A-Za-z0-9]/', fn($m) => '$' . strtoupper(bin2hex($m[0])), $html);
}

function tf_news_send(string $text): void
{
    header('Content-Type: text/plain; charset=ISO-8859-1');
    header('Cache-Control: no-store');
    echo $text;
}
