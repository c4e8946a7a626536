<?php
// The yardstick for track.php: the least a counting script can do on this
// stack. A fresh connection per request and one statement, nothing else.
$hostname = $database = $username = $password = '';
include __DIR__ . '/config.php';
$dsn = $hostname[0] === '/' ? "mysql:unix_socket=$hostname" : "mysql:host=$hostname";
$pdo = new PDO("$dsn;dbname=$database", $username, $password, [PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION]);
$pdo->exec('UPDATE tf_affiliates SET visitors = visitors + 1 WHERE link_id = ' . $pdo->quote((string)($_GET['affid'] ?? '')));
echo 'OK';
