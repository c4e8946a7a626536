<?php
// upgrade.php - brings a tracking database made by an older schema.sql up to
// date, and makes the site's secret file. Run it from a shell, in the folder
// of actions.php and its config.php, after copying in the new scripts:
//
//   php upgrade.php
//   php upgrade.php --make-secret [PATH]
//
// --make-secret writes a new tracking-secret.php (beside this script, or at
// PATH), readable by its owner and group only, and prints the secret as
// TRACKING_SECRET=... for the shop's server. It never overwrites a file that
// is there already, and touches no database.
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
// record an order only once; the table tf_seen, with which track.php counts
// one client once per window; change marks (a `changed` column on
// tf_affiliates and tf_sales, the tables tf_changes and tf_deleted), with
// which the control panel refreshes by changes.

declare(strict_types=1);

require __DIR__ . '/tracking-lib.php';

const TF_SEEN_MYSQL = 'CREATE TABLE tf_seen (expires INT UNSIGNED NOT NULL, kind TINYINT UNSIGNED NOT NULL,'
    . ' client BINARY(16) NOT NULL, PRIMARY KEY (expires, kind, client)) ENGINE=InnoDB';
const TF_SEEN_SQLITE = 'CREATE TABLE tf_seen (expires INTEGER NOT NULL, kind INTEGER NOT NULL,'
    . ' client BLOB NOT NULL, PRIMARY KEY (expires, kind, client)) WITHOUT ROWID';

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
    $hasSeen = $has("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE()"
        . " AND TABLE_NAME = 'tf_seen'");
    if (!$hasSeen) {
        $pdo->exec(TF_SEEN_MYSQL);
        tf_upgrade_say('added the table tf_seen');
    }
}

function tf_upgrade_sqlite(PDO $pdo): void
{
    $columns = array_column(tf_query($pdo, 'PRAGMA table_info(tf_sales)'), 1);
    if ($columns === []) {
        throw new RuntimeException('no table tf_sales: load schema-sqlite.sql first');
    }
    // Column and index in one transaction: track.php never sees the column
    // without the index.
    tf_transaction($pdo, function () use ($pdo, $columns) {
        if (!in_array('order_key', $columns, true)) {
            $pdo->exec('ALTER TABLE tf_sales ADD COLUMN order_key TEXT NULL');
            tf_upgrade_say('added tf_sales.order_key');
        }
        $pdo->exec('UPDATE tf_sales SET order_key = NULL WHERE order_key IS NOT NULL AND id NOT IN'
            . ' (SELECT MIN(id) FROM tf_sales WHERE order_key IS NOT NULL GROUP BY order_key)');
        $pdo->exec('CREATE UNIQUE INDEX IF NOT EXISTS uq_tf_sales_order_key ON tf_sales (order_key)');
    });
    $marked = tf_run($pdo, 'UPDATE OR IGNORE tf_sales SET order_key = sale_order WHERE id IN'
        . " (SELECT MIN(t.id) FROM tf_sales t WHERE t.order_key IS NULL AND t.sale_order <> ''"
        . ' AND NOT EXISTS (SELECT 1 FROM tf_sales k WHERE k.order_key = t.sale_order) GROUP BY t.sale_order)');
    tf_upgrade_say("marked $marked earlier sales with their order");
    if (tf_query($pdo, "SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'tf_seen'") === []) {
        $pdo->exec(TF_SEEN_SQLITE);
        tf_upgrade_say('added the table tf_seen');
    }
}

// ---- change marks ---------------------------------------------------------------
//
// The columns first, the table tf_changes last: track.php marks rows once the
// table is there, and must find the columns there too. Rows from before get
// the mark 0, older than any cursor.

const TF_CHANGES_ROWS = "('epoch', 1), ('floor', 1), ('site', %d), ('pruned', 0)";

function tf_upgrade_changes_mysql(PDO $pdo): void
{
    $has = fn(string $sql, array $params) => (int)tf_query($pdo, $sql, $params)[0][0] > 0;
    $hasColumn = fn(string $table) => $has('SELECT COUNT(*) FROM information_schema.COLUMNS'
        . " WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = ? AND COLUMN_NAME = 'changed'", [$table]);
    $hasTable = fn(string $table) => $has('SELECT COUNT(*) FROM information_schema.TABLES'
        . ' WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = ?', [$table]);
    if (!$hasColumn('tf_affiliates')) {
        $pdo->exec('ALTER TABLE tf_affiliates ADD COLUMN changed BIGINT NOT NULL DEFAULT 0');
        tf_upgrade_say('added tf_affiliates.changed');
    }
    if (!$hasColumn('tf_sales')) {
        $pdo->exec('ALTER TABLE tf_sales ADD COLUMN changed BIGINT NOT NULL DEFAULT 0,'
            . ' ADD KEY ix_tf_sales_changed (changed)');
        tf_upgrade_say('added tf_sales.changed and its index');
    }
    if (!$hasTable('tf_deleted')) {
        $pdo->exec('CREATE TABLE tf_deleted (kind TINYINT UNSIGNED NOT NULL, id INT UNSIGNED NOT NULL,'
            . ' changed BIGINT NOT NULL, deleted_at INT UNSIGNED NOT NULL, PRIMARY KEY (kind, id),'
            . ' KEY ix_tf_deleted_changed (changed)) ENGINE=InnoDB');
        tf_upgrade_say('added the table tf_deleted');
    }
    if (!$hasTable('tf_changes')) {
        $pdo->exec('CREATE TABLE tf_changes (name VARBINARY(16) NOT NULL, value BIGINT NOT NULL,'
            . ' PRIMARY KEY (name)) ENGINE=InnoDB');
        $pdo->exec('INSERT IGNORE INTO tf_changes (name, value) VALUES '
            . sprintf(TF_CHANGES_ROWS, random_int(1, 4294967295)));
        tf_upgrade_say('added the table tf_changes');
    }
}

function tf_upgrade_changes_sqlite(PDO $pdo): void
{
    // All in one transaction: track.php never sees the table without the
    // columns.
    tf_transaction($pdo, function () use ($pdo) {
        foreach (['tf_affiliates', 'tf_sales'] as $table) {
            if (!in_array('changed', array_column(tf_query($pdo, "PRAGMA table_info($table)"), 1), true)) {
                $pdo->exec("ALTER TABLE $table ADD COLUMN changed INTEGER NOT NULL DEFAULT 0");
                tf_upgrade_say("added $table.changed");
            }
        }
        $pdo->exec('CREATE INDEX IF NOT EXISTS ix_tf_sales_changed ON tf_sales (changed)');
        $tables = array_column(tf_query($pdo, "SELECT name FROM sqlite_master WHERE type = 'table'"), 0);
        if (!in_array('tf_deleted', $tables, true)) {
            $pdo->exec('CREATE TABLE tf_deleted (kind INTEGER NOT NULL, id INTEGER NOT NULL,'
                . ' changed INTEGER NOT NULL, deleted_at INTEGER NOT NULL, PRIMARY KEY (kind, id)) WITHOUT ROWID');
            $pdo->exec('CREATE INDEX ix_tf_deleted_changed ON tf_deleted (changed)');
            tf_upgrade_say('added the table tf_deleted');
        }
        if (!in_array('tf_changes', $tables, true)) {
            $pdo->exec('CREATE TABLE tf_changes (name TEXT NOT NULL PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID');
            $pdo->exec('INSERT OR IGNORE INTO tf_changes (name, value) VALUES '
                . sprintf(TF_CHANGES_ROWS, random_int(1, 4294967295)));
            tf_upgrade_say('added the table tf_changes');
        }
    });
}

// A new secret file at $path, never over one that is there: written in full
// beside it under another name, then linked into place, which fails when
// the name is taken.
function tf_make_secret(string $path): int
{
    if (file_exists($path) || is_link($path)) {
        fwrite(STDERR, "upgrade: $path is there already; it is left as it is\n");
        return 1;
    }
    $text = tf_secret_file_text();
    $temp = $path . '.new-' . bin2hex(random_bytes(6));
    $file = @fopen($temp, 'x');
    if ($file === false) {
        fwrite(STDERR, "upgrade: cannot create $temp\n");
        return 1;
    }
    $written = chmod($temp, 0640) && fwrite($file, $text) === strlen($text) && fflush($file) && fsync($file);
    fclose($file);
    $linked = $written && @link($temp, $path);
    unlink($temp);
    if (!$linked) {
        fwrite(STDERR, "upgrade: cannot write $path\n");
        return 1;
    }
    preg_match("/'secret' => '([0-9a-f]{64})'/", $text, $m);
    fwrite(STDOUT, "TRACKING_SECRET={$m[1]}\n");
    return 0;
}

function tf_upgrade_main(): int
{
    if (PHP_SAPI !== 'cli') {
        http_response_code(403);
        echo "Run upgrade.php from a shell: php upgrade.php\n";
        return 1;
    }
    $args = array_slice($_SERVER['argv'] ?? [], 1);
    if (($args[0] ?? '') === '--make-secret' && count($args) <= 2) {
        return tf_make_secret($args[1] ?? __DIR__ . '/' . TF_SECRET_FILE);
    }
    if ($args !== []) {
        fwrite(STDERR, "usage: php upgrade.php [--make-secret [PATH]]\n");
        return 2;
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
        tf_is_mysql($pdo) ? tf_upgrade_changes_mysql($pdo) : tf_upgrade_changes_sqlite($pdo);
        tf_upgrade_say('the database is up to date');
        return 0;
    } catch (Throwable $e) {
        fwrite(STDERR, 'upgrade: failed: ' . $e->getMessage() . "\n");
        return 1;
    }
}

exit(tf_upgrade_main());
