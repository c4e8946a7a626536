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
// one client once per window; the table tf_hourly, which counts per
// affiliate and hour, with an index on tf_sales.created_at. The OTO sales
// of every hour are counted again from the sales kept (created_at) on each
// run; visitors, unique hits and subscribers have hours from the first run
// on. And change marks (a `changed` column on tf_affiliates and tf_sales,
// the tables tf_changes and tf_deleted), with which the control panel
// refreshes by changes.

declare(strict_types=1);

require __DIR__ . '/tracking-lib.php';

const TF_SEEN_MYSQL = 'CREATE TABLE tf_seen (expires INT UNSIGNED NOT NULL, kind TINYINT UNSIGNED NOT NULL,'
    . ' client BINARY(16) NOT NULL, PRIMARY KEY (expires, kind, client)) ENGINE=InnoDB';
const TF_SEEN_SQLITE = 'CREATE TABLE tf_seen (expires INTEGER NOT NULL, kind INTEGER NOT NULL,'
    . ' client BLOB NOT NULL, PRIMARY KEY (expires, kind, client)) WITHOUT ROWID';

const TF_HOURLY_MYSQL = 'CREATE TABLE tf_hourly (affiliate_id INT UNSIGNED NOT NULL, hour_start INT UNSIGNED NOT NULL,'
    . ' visitors BIGINT NOT NULL DEFAULT 0, unique_hits BIGINT NOT NULL DEFAULT 0,'
    . ' subscribers BIGINT NOT NULL DEFAULT 0, oto_sales BIGINT NOT NULL DEFAULT 0,'
    . ' PRIMARY KEY (affiliate_id, hour_start), KEY ix_tf_hourly_hour (hour_start),'
    . ' CONSTRAINT fk_tf_hourly_affiliate FOREIGN KEY (affiliate_id) REFERENCES tf_affiliates (id) ON DELETE CASCADE)'
    . ' ENGINE=InnoDB';
const TF_HOURLY_SQLITE = 'CREATE TABLE tf_hourly (affiliate_id INTEGER NOT NULL REFERENCES tf_affiliates (id)'
    . ' ON DELETE CASCADE, hour_start INTEGER NOT NULL, visitors INTEGER NOT NULL DEFAULT 0,'
    . ' unique_hits INTEGER NOT NULL DEFAULT 0, subscribers INTEGER NOT NULL DEFAULT 0,'
    . ' oto_sales INTEGER NOT NULL DEFAULT 0, PRIMARY KEY (affiliate_id, hour_start)) WITHOUT ROWID';

const TF_HOURLY_SUMS_MYSQL = 'CREATE TABLE tf_hourly_sums (hour_start INT UNSIGNED NOT NULL,'
    . ' visitors BIGINT NOT NULL DEFAULT 0, unique_hits BIGINT NOT NULL DEFAULT 0,'
    . ' subscribers BIGINT NOT NULL DEFAULT 0, oto_sales BIGINT NOT NULL DEFAULT 0, PRIMARY KEY (hour_start))'
    . ' ENGINE=InnoDB';
const TF_HOURLY_SUMS_SQLITE = 'CREATE TABLE tf_hourly_sums (hour_start INTEGER PRIMARY KEY,'
    . ' visitors INTEGER NOT NULL DEFAULT 0, unique_hits INTEGER NOT NULL DEFAULT 0,'
    . ' subscribers INTEGER NOT NULL DEFAULT 0, oto_sales INTEGER NOT NULL DEFAULT 0)';

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
    tf_upgrade_hourly_mysql($pdo);
}

// The epoch that marks a change, read under a shared lock as track.php's own
// statements read it (tf_change_mark in tracking-lib.php).
const TF_EPOCH_LOCKED = "(SELECT value FROM tf_changes WHERE name = 'epoch' LOCK IN SHARE MODE)";

// track.php's count of a visit or a subscribe (see tf_track_count_compound)
// as a procedure: MariaDB keeps it compiled on each connection, where the
// same statements sent as one compound statement are parsed and compiled
// again for every request, which costs the server a third of its work on a
// visit. The reply (rows changed) is the compound statement's. The site's
// user needs EXECUTE on the database to call it; without, track.php sends
// the compound statement.
const TF_COUNT_PROCEDURE = 'CREATE OR REPLACE PROCEDURE ' . TF_COUNT_ROUTINE . '(IN p_link VARBINARY(100),'
    . ' IN p_expires INT UNSIGNED, IN p_kind TINYINT UNSIGNED, IN p_client BINARY(16),'
    . ' IN p_bonus_expires INT UNSIGNED, IN p_bonus_client BINARY(16), IN p_hour INT UNSIGNED)'
    . ' SQL SECURITY INVOKER'
    . ' BEGIN'
    . ' ROLLBACK; START TRANSACTION;'
    . ' INSERT IGNORE INTO tf_seen (expires, kind, client) VALUES (p_expires, p_kind, p_client);'
    . ' IF ROW_COUNT() = 1 THEN'
    . '  SET @tf_bonus = 0;'
    . '  IF p_bonus_client IS NOT NULL THEN'
    . '   INSERT IGNORE INTO tf_seen (expires, kind, client) VALUES (p_bonus_expires, 2, p_bonus_client);'
    . '   SET @tf_bonus = ROW_COUNT();'
    . '  END IF;'
    . '  IF p_kind = 3 THEN'
    . '   UPDATE tf_affiliates SET subscribers = subscribers + 1, id = LAST_INSERT_ID(id),'
    . '    changed = ' . TF_EPOCH_LOCKED . ' WHERE link_id = p_link;'
    . '   IF ROW_COUNT() = 1 THEN INSERT INTO tf_hourly (affiliate_id, hour_start, subscribers)'
    . '    VALUES (LAST_INSERT_ID(), p_hour, 1) ON DUPLICATE KEY UPDATE subscribers = subscribers + 1; END IF;'
    . '  ELSE'
    . '   UPDATE tf_affiliates SET visitors = visitors + 1, unique_hits = unique_hits + @tf_bonus,'
    . '    id = LAST_INSERT_ID(id), changed = ' . TF_EPOCH_LOCKED . ' WHERE link_id = p_link;'
    . '   IF ROW_COUNT() = 1 THEN INSERT INTO tf_hourly (affiliate_id, hour_start, visitors, unique_hits)'
    . '    VALUES (LAST_INSERT_ID(), p_hour, 1, @tf_bonus)'
    . '    ON DUPLICATE KEY UPDATE visitors = visitors + 1, unique_hits = unique_hits + VALUES(unique_hits); END IF;'
    . '  END IF;'
    . ' END IF;'
    . ' COMMIT;'
    . ' END';

// The same for a sale (see tf_track_sale_batch). The epoch is read once, as
// the first lock of the transaction, and marks both rows: each statement
// that reads another table costs the server about a tenth of the sale.
const TF_SALE_PROCEDURE = 'CREATE OR REPLACE PROCEDURE ' . TF_SALE_ROUTINE . '(IN p_link VARBINARY(100),'
    . ' IN p_order VARBINARY(255), IN p_now INT UNSIGNED, IN p_hour INT UNSIGNED)'
    . ' SQL SECURITY INVOKER'
    . ' BEGIN'
    . ' DECLARE v_epoch BIGINT;'
    . ' ROLLBACK; START TRANSACTION;'
    . " SELECT value INTO v_epoch FROM tf_changes WHERE name = 'epoch' LOCK IN SHARE MODE;"
    . ' SET @tf_affiliate = NULL;'
    . " IF p_link <> '' THEN"
    . '  UPDATE tf_affiliates SET oto_sales = oto_sales + 1, id = LAST_INSERT_ID(id),'
    . '   changed = v_epoch WHERE link_id = p_link;'
    . '  SET @tf_affiliate = IF(ROW_COUNT() = 1, LAST_INSERT_ID(), NULL);'
    . ' END IF;'
    . ' INSERT INTO tf_sales (affiliate_id, sale_order, order_key, created_at, changed)'
    . '  VALUES (@tf_affiliate, p_order, p_order, FROM_UNIXTIME(p_now), v_epoch);'
    . ' IF @tf_affiliate IS NOT NULL THEN INSERT INTO tf_hourly (affiliate_id, hour_start, oto_sales)'
    . '  VALUES (@tf_affiliate, p_hour, 1) ON DUPLICATE KEY UPDATE oto_sales = oto_sales + 1; END IF;'
    . ' COMMIT;'
    . ' END';

function tf_upgrade_procedures(PDO $pdo): void
{
    $version = (string)$pdo->getAttribute(PDO::ATTR_SERVER_VERSION);
    if (stripos($version, 'MariaDB') === false || version_compare($version, '10.1.3', '<')) {
        return;
    }
    try {
        $pdo->exec(TF_COUNT_PROCEDURE);
        $pdo->exec(TF_SALE_PROCEDURE);
        tf_upgrade_say('made the procedures ' . TF_COUNT_ROUTINE . ' and ' . TF_SALE_ROUTINE
            . ' (the site\'s user needs EXECUTE to use them)');
    } catch (PDOException $e) {
        // Counting works without it, only with more work for the server.
        tf_upgrade_say('could not make the procedures of track.php (this user needs CREATE ROUTINE):'
            . ' track.php does without (' . $e->getMessage() . ')');
    }
}

// The hours: the table, the index that finds sales by time, and the OTO
// sales of every hour counted from the sales (an upsert that sets the
// count, so a run again, or one while track.php adds sales, leaves them
// right; hours that have lost their sales go to zero).
function tf_upgrade_hourly_mysql(PDO $pdo): void
{
    $has = fn(string $sql) => (int)tf_query($pdo, $sql)[0][0] > 0;
    if (!$has("SELECT COUNT(*) FROM information_schema.STATISTICS WHERE TABLE_SCHEMA = DATABASE()"
        . " AND TABLE_NAME = 'tf_sales' AND INDEX_NAME = 'ix_tf_sales_created'")) {
        $pdo->exec('ALTER TABLE tf_sales ADD KEY ix_tf_sales_created (created_at)');
        tf_upgrade_say('added the index on tf_sales.created_at');
    }
    if (!$has("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE()"
        . " AND TABLE_NAME = 'tf_hourly'")) {
        $pdo->exec(TF_HOURLY_MYSQL);
        tf_upgrade_say('added the table tf_hourly');
    }
    if (!$has("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE()"
        . " AND TABLE_NAME = 'tf_hourly_sums'")) {
        $pdo->exec(TF_HOURLY_SUMS_MYSQL);
        tf_upgrade_say('added the table tf_hourly_sums');
    }
    $pdo->exec('INSERT IGNORE INTO tf_hourly_sums (hour_start) VALUES (0)');
    $hour = 'UNIX_TIMESTAMP(created_at) DIV ' . TF_HOUR . ' * ' . TF_HOUR;
    tf_transaction($pdo, function () use ($pdo, $hour) {
        tf_hourly_sums_forget($pdo, null);
        tf_run($pdo, 'UPDATE tf_hourly h LEFT JOIN (SELECT affiliate_id, ' . $hour . ' AS hour_start FROM tf_sales'
            . ' WHERE affiliate_id IS NOT NULL GROUP BY 1, 2) s ON s.affiliate_id = h.affiliate_id'
            . ' AND s.hour_start = h.hour_start SET h.oto_sales = 0 WHERE s.affiliate_id IS NULL AND h.oto_sales <> 0');
        $rows = tf_query($pdo, "SELECT COUNT(DISTINCT affiliate_id, $hour) FROM tf_sales WHERE affiliate_id IS NOT NULL");
        tf_run($pdo, "INSERT INTO tf_hourly (affiliate_id, hour_start, oto_sales) SELECT affiliate_id, $hour, COUNT(*)"
            . ' FROM tf_sales WHERE affiliate_id IS NOT NULL GROUP BY 1, 2'
            . ' ON DUPLICATE KEY UPDATE oto_sales = VALUES(oto_sales)');
        tf_upgrade_say('counted the OTO sales of ' . $rows[0][0] . ' affiliate hours');
    });
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
    tf_upgrade_hourly_sqlite($pdo);
}

// As for MySQL, in one transaction: track.php waits meanwhile.
function tf_upgrade_hourly_sqlite(PDO $pdo): void
{
    $hour = "CAST(strftime('%s', created_at) AS INTEGER) / " . TF_HOUR . ' * ' . TF_HOUR;
    tf_transaction($pdo, function () use ($pdo, $hour) {
        if (tf_query($pdo, "SELECT name FROM sqlite_master WHERE type = 'index' AND name = 'ix_tf_sales_created'") === []) {
            $pdo->exec('CREATE INDEX ix_tf_sales_created ON tf_sales (created_at)');
            tf_upgrade_say('added the index on tf_sales.created_at');
        }
        if (tf_query($pdo, "SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'tf_hourly'") === []) {
            $pdo->exec(TF_HOURLY_SQLITE);
            $pdo->exec('CREATE INDEX ix_tf_hourly_hour ON tf_hourly (hour_start)');
            tf_upgrade_say('added the table tf_hourly');
        }
        if (tf_query($pdo, "SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'tf_hourly_sums'") === []) {
            $pdo->exec(TF_HOURLY_SUMS_SQLITE);
            tf_upgrade_say('added the table tf_hourly_sums');
        }
        $pdo->exec('INSERT OR IGNORE INTO tf_hourly_sums (hour_start) VALUES (0)');
        tf_hourly_sums_forget($pdo, null);
        tf_run($pdo, 'UPDATE tf_hourly SET oto_sales = 0 WHERE oto_sales <> 0 AND NOT EXISTS (SELECT 1 FROM tf_sales s'
            . " WHERE s.affiliate_id = tf_hourly.affiliate_id AND $hour = tf_hourly.hour_start)");
        $rows = tf_query($pdo, "SELECT COUNT(*) FROM (SELECT 1 FROM tf_sales WHERE affiliate_id IS NOT NULL GROUP BY affiliate_id, $hour)");
        tf_run($pdo, "INSERT INTO tf_hourly (affiliate_id, hour_start, oto_sales) SELECT affiliate_id, $hour, COUNT(*)"
            . ' FROM tf_sales WHERE affiliate_id IS NOT NULL GROUP BY 1, 2'
            . ' ON CONFLICT (affiliate_id, hour_start) DO UPDATE SET oto_sales = excluded.oto_sales');
        tf_upgrade_say('counted the OTO sales of ' . $rows[0][0] . ' affiliate hours');
    });
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
        // Last: they count with the hours and mark the changes.
        if (tf_is_mysql($pdo)) {
            tf_upgrade_procedures($pdo);
        }
        // The hours that are over, summed now rather than by the first trend
        // that asks (seconds on a site with months of events).
        tf_hourly_sums_fill($pdo, null, tf_hourly_settled());
        tf_upgrade_say('summed the settled hours of all affiliates for the trend');
        tf_upgrade_say('the database is up to date');
        return 0;
    } catch (Throwable $e) {
        fwrite(STDERR, 'upgrade: failed: ' . $e->getMessage() . "\n");
        return 1;
    }
}

exit(tf_upgrade_main());
