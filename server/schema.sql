-- Tracking database for actions.php and track.php, MySQL / MariaDB.
-- Load it once into the site's database:  mysql -u USER -p DATABASE < schema.sql
--
-- Names and link ids are kept as bytes (VARBINARY): the control panel sends
-- them in its own 8-bit code page, and a link id must match exactly, letter
-- case included, the same way on every database the script supports.

CREATE TABLE IF NOT EXISTS tf_affiliates (
  id          INT UNSIGNED    NOT NULL AUTO_INCREMENT,
  name        VARBINARY(255)  NOT NULL,
  link_id     VARBINARY(100)  NOT NULL,
  oto_sales   BIGINT          NOT NULL DEFAULT 0,
  subscribers BIGINT          NOT NULL DEFAULT 0,
  visitors    BIGINT          NOT NULL DEFAULT 0,
  unique_hits BIGINT          NOT NULL DEFAULT 0,
  changed     BIGINT          NOT NULL DEFAULT 0,
  PRIMARY KEY (id),
  UNIQUE KEY uq_tf_affiliates_link_id (link_id)
) ENGINE=InnoDB;

-- A sale made through an affiliate keeps the affiliate's id; a direct sale
-- has none. Deleting an affiliate keeps its sales (they lose the link).
-- order_key holds the order of a sale recorded by track.php; being unique,
-- it lets an order be recorded only once. Sales from before upgrade.php
-- (repeats of an order among them) may have none.
CREATE TABLE IF NOT EXISTS tf_sales (
  id           INT UNSIGNED   NOT NULL AUTO_INCREMENT,
  affiliate_id INT UNSIGNED   NULL,
  sale_order   VARBINARY(255) NOT NULL DEFAULT '',
  created_at   TIMESTAMP      NOT NULL DEFAULT CURRENT_TIMESTAMP,
  order_key    VARBINARY(255) NULL,
  changed      BIGINT         NOT NULL DEFAULT 0,
  PRIMARY KEY (id),
  KEY ix_tf_sales_affiliate (affiliate_id),
  KEY ix_tf_sales_changed (changed),
  UNIQUE KEY uq_tf_sales_order_key (order_key),
  CONSTRAINT fk_tf_sales_affiliate FOREIGN KEY (affiliate_id)
    REFERENCES tf_affiliates (id) ON DELETE SET NULL
) ENGINE=InnoDB;

-- What track.php has counted lately, so that one client counts once per
-- affiliate and window: client is a keyed hash of the address (for a unique
-- hit, also of the browser) and the affiliate's link id, never the address
-- itself; kind 1 a visit, 2 a unique hit, 3 a subscribe; expires the end of
-- the window (Unix time), after which the row is deleted. The key starts with
-- expires, so that old rows are deleted from one end of it while new ones
-- are added at the other.
CREATE TABLE IF NOT EXISTS tf_seen (
  expires INT UNSIGNED     NOT NULL,
  kind    TINYINT UNSIGNED NOT NULL,
  client  BINARY(16)       NOT NULL,
  PRIMARY KEY (expires, kind, client)
) ENGINE=InnoDB;

-- Change marks, for refreshing by changes (action 30 of actions.php): the
-- `changed` column of an affiliate or a sale holds the epoch at which it
-- last changed. tf_changes holds the epoch, the floor (the oldest epoch a
-- cursor may still have), the site's number (which sets this database's
-- cursors apart from another's) and when tombstones were last pruned (Unix
-- time). Each is a row of its own: track.php locks only the epoch's.
CREATE TABLE IF NOT EXISTS tf_changes (
  name  VARBINARY(16) NOT NULL,
  value BIGINT        NOT NULL,
  PRIMARY KEY (name)
) ENGINE=InnoDB;

INSERT IGNORE INTO tf_changes (name, value)
  VALUES ('epoch', 1), ('floor', 1), ('site', FLOOR(1 + RAND() * 4294967294)), ('pruned', 0);

-- What actions.php deleted (kind 1 an affiliate, 2 a sale), with the epoch
-- and the Unix time of the deletion; kept 7 days.
CREATE TABLE IF NOT EXISTS tf_deleted (
  kind       TINYINT UNSIGNED NOT NULL,
  id         INT UNSIGNED     NOT NULL,
  changed    BIGINT           NOT NULL,
  deleted_at INT UNSIGNED     NOT NULL,
  PRIMARY KEY (kind, id),
  KEY ix_tf_deleted_changed (changed)
) ENGINE=InnoDB;
