<?php
// Router for PHP's built-in server (scripts/site.sh, and the tests' site
// fixture, tests/support/SiteServer.cpp): the site answers only
// requests addressed to this machine as 127.0.0.1 or localhost, on its own
// port. A page whose host name was rebound to 127.0.0.1 sends its own name
// as Host and is turned away before any script runs.
$host = strtolower((string)($_SERVER['HTTP_HOST'] ?? ''));
$port = (string)($_SERVER['SERVER_PORT'] ?? '');
$allowed = ['127.0.0.1', 'localhost', "127.0.0.1:$port", "localhost:$port"];
if (!in_array($host, $allowed, true)) {
    http_response_code(421);
    header('Content-Type: text/plain');
    echo 'MISDIRECTED';
    return true;
}
// Everything else as the server does without a router.
return false;
