<?php
// upgrade.php - brings a tracking database made by an older schema.sql up to
// date. Run it once from a shell, in the folder of actions.php and its
// config.php, after copying in the new scripts:
//
//   php upgrade.php
//
// The site's own user usually may not change tables; give one that may
// (ALTER and INDEX) for this run only:
//
//   TF_DB_USER=admin TF_DB_PASSWORD=secret php upgrade.php
//
// It is safe to run again: each step checks whether it is needed. It never
// deletes or changes a sale: of several sales recorded with the same order
// before the upgrade, the first one is marked as that order's sale and the
// others stay as they are.
//
// What it adds: tf_sales.order_key with a unique index, which lets track.php
// record an order only once.

declare(strict_types=1);

define('TF_LIBRARY_ONLY', true);
require __DIR__ . '/actions.php';

function tf_upgrade_say(string $text): void
{
    fwrite(STDOUT, "upgrade: $text\n");
}

function tf_upgrade_mysql(PDO $pdo): void
{
    $has = fn(string $sql) => (int)tf_query($pdo, $sql)[0][0] > 0;
    $hasColumn = $has("SELECT COUNT(*) FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = DATABASE()"
        . " AND TABLE_NAME = 'tf_sales' AND COLUMN_NAME = 'order_key'");
    $hasIndex = $has("SELECT COUNT(*) FROM information_schema.STATISTICS WHERE TABLE_SCHEMA = DATABASE()"
        . " AND TABLE_NAME = 'tf_sales' AND INDEX_NAME = 'uq_tf_sales_order_key'");
    if (!$hasColumn) {
        // Column and index in one step: track.php writes order_key as soon
        // as the column is there, and must find the index there too.
        $pdo->exec('ALTER TABLE tf_sales ADD COLUMN order_key VARBINARY(255) NULL,'
            . ' ADD UNIQUE KEY uq_tf_sales_order_key (order_key)');
        tf_upgrade_say('added tf_sales.order_key and its unique index');
    } elseif (!$hasIndex) {
        // An earlier run stopped between the two: an order recorded twice
        // meanwhile keeps its mark on its first sale only.
        tf_run($pdo, 'UPDATE tf_sales s JOIN (SELECT order_key, MIN(id) AS keep FROM tf_sales'
            . ' WHERE order_key IS NOT NULL GROUP BY order_key HAVING COUNT(*) > 1) d'
            . ' ON d.order_key = s.order_key SET s.order_key = NULL WHERE s.id <> d.keep');
        $pdo->exec('ALTER TABLE tf_sales ADD UNIQUE KEY uq_tf_sales_order_key (order_key)');
        tf_upgrade_say('added the unique index on tf_sales.order_key');
    }
    // The first sale of every order that no sale holds yet. IGNORE skips an
    // order that track.php records while this runs.
    $marked = tf_run($pdo, 'UPDATE IGNORE tf_sales s JOIN (SELECT MIN(t.id) AS id FROM tf_sales t'
        . " WHERE t.order_key IS NULL AND t.sale_order <> ''"
        . ' AND NOT EXISTS (SELECT 1 FROM tf_sales k WHERE k.order_key = t.sale_order)'
        . ' GROUP BY t.sale_order) f ON f.id = s.id SET s.order_key = s.sale_order');
    tf_upgrade_say("marked $marked earlier sales with their order");
}

function tf_upgrade_sqlite(PDO $pdo): void
{
    $columns = array_column(tf_query($pdo, 'PRAGMA table_info(tf_sales)'), 1);
    if ($columns === []) {
        throw new RuntimeException('no table tf_sales: load schema-sqlite.sql first');
    }
    // Column and index in one transaction: track.php never sees the column
    // without the index.
    $pdo->exec('BEGIN IMMEDIATE');
    if (!in_array('order_key', $columns, true)) {
        $pdo->exec('ALTER TABLE tf_sales ADD COLUMN order_key TEXT NULL');
        tf_upgrade_say('added tf_sales.order_key');
    }
    $pdo->exec('UPDATE tf_sales SET order_key = NULL WHERE order_key IS NOT NULL AND id NOT IN'
        . ' (SELECT MIN(id) FROM tf_sales WHERE order_key IS NOT NULL GROUP BY order_key)');
    $pdo->exec('CREATE UNIQUE INDEX IF NOT EXISTS uq_tf_sales_order_key ON tf_sales (order_key)');
    $pdo->exec('COMMIT');
    $marked = tf_run($pdo, 'UPDATE OR IGNORE tf_sales SET order_key = sale_order WHERE id IN'
        . " (SELECT MIN(t.id) FROM tf_sales t WHERE t.order_key IS NULL AND t.sale_order <> ''"
        . ' AND NOT EXISTS (SELECT 1 FROM tf_sales k WHERE k.order_key = t.sale_order) GROUP BY t.sale_order)');
    tf_upgrade_say("marked $marked earlier sales with their order");
}

function tf_upgrade_main(): int
{
    if (PHP_SAPI !== 'cli') {
        http_response_code(403);
        echo "Run upgrade.php from a shell: php upgrade.php\n";
        return 1;
    }
    try {
        $cfg = tf_load_config(__DIR__);
        $user = getenv('TF_DB_USER');
        if ($user !== false && $user !== '') {
            $cfg['user'] = $user;
            $cfg['password'] = (string)getenv('TF_DB_PASSWORD');
        }
        $pdo = tf_connect($cfg, __DIR__);
        tf_is_mysql($pdo) ? tf_upgrade_mysql($pdo) : tf_upgrade_sqlite($pdo);
        tf_upgrade_say('the database is up to date');
        return 0;
    } catch (Throwable $e) {
        fwrite(STDERR, 'upgrade: failed: ' . $e->getMessage() . "\n");
        return 1;
    }
}

exit(tf_upgrade_main());
