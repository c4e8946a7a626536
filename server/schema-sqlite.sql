-- Tracking database for actions.php and track.php, SQLite (demo and tests).
-- Same tables as schema.sql; TEXT compares byte for byte here too.

CREATE TABLE IF NOT EXISTS tf_affiliates (
  id          INTEGER PRIMARY KEY AUTOINCREMENT,
  name        TEXT    NOT NULL,
  link_id     TEXT    NOT NULL UNIQUE,
  oto_sales   INTEGER NOT NULL DEFAULT 0,
  subscribers INTEGER NOT NULL DEFAULT 0,
  visitors    INTEGER NOT NULL DEFAULT 0,
  unique_hits INTEGER NOT NULL DEFAULT 0,
  changed     INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE IF NOT EXISTS tf_sales (
  id           INTEGER PRIMARY KEY AUTOINCREMENT,
  affiliate_id INTEGER NULL REFERENCES tf_affiliates (id) ON DELETE SET NULL,
  sale_order   TEXT    NOT NULL DEFAULT '',
  created_at   TEXT    NOT NULL DEFAULT CURRENT_TIMESTAMP,
  order_key    TEXT    NULL,
  changed      INTEGER NOT NULL DEFAULT 0
);

CREATE INDEX IF NOT EXISTS ix_tf_sales_affiliate ON tf_sales (affiliate_id);
CREATE UNIQUE INDEX IF NOT EXISTS uq_tf_sales_order_key ON tf_sales (order_key);
CREATE INDEX IF NOT EXISTS ix_tf_sales_changed ON tf_sales (changed);

CREATE TABLE IF NOT EXISTS tf_seen (
  expires INTEGER NOT NULL,
  kind    INTEGER NOT NULL,
  client  BLOB    NOT NULL,
  PRIMARY KEY (expires, kind, client)
) WITHOUT ROWID;

-- Change marks (see schema.sql).
CREATE TABLE IF NOT EXISTS tf_changes (
  name  TEXT    NOT NULL PRIMARY KEY,
  value INTEGER NOT NULL
) WITHOUT ROWID;

INSERT OR IGNORE INTO tf_changes (name, value)
  VALUES ('epoch', 1), ('floor', 1), ('site', 1 + abs(random()) % 4294967294), ('pruned', 0);

CREATE TABLE IF NOT EXISTS tf_deleted (
  kind       INTEGER NOT NULL,
  id         INTEGER NOT NULL,
  changed    INTEGER NOT NULL,
  deleted_at INTEGER NOT NULL,
  PRIMARY KEY (kind, id)
) WITHOUT ROWID;

CREATE INDEX IF NOT EXISTS ix_tf_deleted_changed ON tf_deleted (changed);
