<?php
// Runs SQL for the end-to-end tests as the database's owner:
//   php sql-tool.php DSN USER PASSWORD SQL [PARAM...]
// Without params SQL may hold several statements. Prints the rows of the
// last statement as JSON: a list of rows, each value base64 or null.
declare(strict_types=1);

[, $dsn, $user, $password, $sql] = $argv + [null, '', '', '', ''];
$params = array_slice($argv, 5);
try {
    $pdo = new PDO($dsn, $user, $password, [PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION]);
    // Times that tests write and read are UTC, as the site's are.
    if (str_starts_with($dsn, 'mysql:')) {
        $pdo->exec("SET time_zone = '+00:00'");
    }
    if (count($params) === 0 && stripos(ltrim($sql), 'SELECT') !== 0) {
        $pdo->exec($sql);
        $rows = [];
    } else {
        $st = $pdo->prepare($sql);
        $st->execute($params);
        $rows = $st->columnCount() > 0 ? $st->fetchAll(PDO::FETCH_NUM) : [];
    }
} catch (Throwable $e) {
    fwrite(STDERR, $e->getMessage() . "\n");
    exit(1);
}
$out = [];
foreach ($rows as $row) {
    $out[] = array_map(fn($v) => $v === null ? null : base64_encode((string)$v), $row);
}
echo json_encode($out);
