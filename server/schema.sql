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
  PRIMARY KEY (id),
  KEY ix_tf_sales_affiliate (affiliate_id),
  KEY ix_tf_sales_created (created_at),
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

-- What track.php counted per affiliate and hour: hour_start is the Unix time
-- (UTC) at which the hour starts. A sale is in the hour of its created_at,
-- and deleting it takes it off again; visitors, unique hits and subscribers
-- are counted here from upgrade.php on (the all-time counters in
-- tf_affiliates go back further). The key starts with the affiliate, so
-- that new hours of different affiliates never share a gap of it; the
-- index on the hour serves ranges over many affiliates.
CREATE TABLE IF NOT EXISTS tf_hourly (
  affiliate_id INT UNSIGNED NOT NULL,
  hour_start   INT UNSIGNED NOT NULL,
  visitors     BIGINT       NOT NULL DEFAULT 0,
  unique_hits  BIGINT       NOT NULL DEFAULT 0,
  subscribers  BIGINT       NOT NULL DEFAULT 0,
  oto_sales    BIGINT       NOT NULL DEFAULT 0,
  PRIMARY KEY (affiliate_id, hour_start),
  KEY ix_tf_hourly_hour (hour_start),
  CONSTRAINT fk_tf_hourly_affiliate FOREIGN KEY (affiliate_id)
    REFERENCES tf_affiliates (id) ON DELETE CASCADE
) ENGINE=InnoDB;

-- The hours of every affiliate summed (a trend of the whole event), kept
-- for hours that track.php can no longer add to, once asked for; deleting
-- sales or affiliates forgets the hours it changes. The row of hour 0 is
-- the lock that summing and forgetting take first.
CREATE TABLE IF NOT EXISTS tf_hourly_sums (
  hour_start  INT UNSIGNED NOT NULL,
  visitors    BIGINT       NOT NULL DEFAULT 0,
  unique_hits BIGINT       NOT NULL DEFAULT 0,
  subscribers BIGINT       NOT NULL DEFAULT 0,
  oto_sales   BIGINT       NOT NULL DEFAULT 0,
  PRIMARY KEY (hour_start)
) ENGINE=InnoDB;
INSERT IGNORE INTO tf_hourly_sums (hour_start) VALUES (0);
