-- Tracking database for actions.php and track.php, SQLite (demo and tests).
-- Same tables as schema.sql; TEXT compares byte for byte here too.

CREATE TABLE IF NOT EXISTS tf_affiliates (
  id          INTEGER PRIMARY KEY AUTOINCREMENT,
  name        TEXT    NOT NULL,
  link_id     TEXT    NOT NULL UNIQUE,
  oto_sales   INTEGER NOT NULL DEFAULT 0,
  subscribers INTEGER NOT NULL DEFAULT 0,
  visitors    INTEGER NOT NULL DEFAULT 0,
  unique_hits INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE IF NOT EXISTS tf_sales (
  id           INTEGER PRIMARY KEY AUTOINCREMENT,
  affiliate_id INTEGER NULL REFERENCES tf_affiliates (id) ON DELETE SET NULL,
  sale_order   TEXT    NOT NULL DEFAULT '',
  created_at   TEXT    NOT NULL DEFAULT CURRENT_TIMESTAMP,
  order_key    TEXT    NULL
);

CREATE INDEX IF NOT EXISTS ix_tf_sales_affiliate ON tf_sales (affiliate_id);
CREATE UNIQUE INDEX IF NOT EXISTS uq_tf_sales_order_key ON tf_sales (order_key);
CREATE INDEX IF NOT EXISTS ix_tf_sales_created ON tf_sales (created_at);

CREATE TABLE IF NOT EXISTS tf_seen (
  expires INTEGER NOT NULL,
  kind    INTEGER NOT NULL,
  client  BLOB    NOT NULL,
  PRIMARY KEY (expires, kind, client)
) WITHOUT ROWID;

CREATE TABLE IF NOT EXISTS tf_hourly (
  affiliate_id INTEGER NOT NULL REFERENCES tf_affiliates (id) ON DELETE CASCADE,
  hour_start   INTEGER NOT NULL,
  visitors     INTEGER NOT NULL DEFAULT 0,
  unique_hits  INTEGER NOT NULL DEFAULT 0,
  subscribers  INTEGER NOT NULL DEFAULT 0,
  oto_sales    INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (affiliate_id, hour_start)
) WITHOUT ROWID;

CREATE INDEX IF NOT EXISTS ix_tf_hourly_hour ON tf_hourly (hour_start);

CREATE TABLE IF NOT EXISTS tf_hourly_sums (
  hour_start  INTEGER PRIMARY KEY,
  visitors    INTEGER NOT NULL DEFAULT 0,
  unique_hits INTEGER NOT NULL DEFAULT 0,
  subscribers INTEGER NOT NULL DEFAULT 0,
  oto_sales   INTEGER NOT NULL DEFAULT 0
);
INSERT OR IGNORE INTO tf_hourly_sums (hour_start) VALUES (0);
