-- A few affiliates and sales for the demo site.
INSERT INTO tf_affiliates (id, name, link_id, oto_sales, subscribers, visitors, unique_hits) VALUES
  (1, 'Ann Baker', 'annb', 3, 41, 310, 188),
  (2, 'Carlos Diaz', 'carlos', 1, 17, 122, 97),
  (3, 'Mia Chen', 'miachen', 0, 5, 48, 40),
  (4, 'Omar Haddad', 'omar22', 2, 23, 205, 150);

INSERT INTO tf_sales (id, affiliate_id, sale_order) VALUES
  (1, 1, 'ORD-1001 Upgrade pack'),
  (2, 1, 'ORD-1004 Upgrade pack'),
  (3, 2, 'ORD-1007 Bonus bundle'),
  (4, 4, 'ORD-1010 Upgrade pack'),
  (5, 1, 'ORD-1012 Bonus bundle'),
  (6, 4, 'ORD-1015 Upgrade pack'),
  (7, NULL, 'ORD-1016 Upgrade pack'),
  (8, NULL, 'ORD-1019 Bonus bundle');

-- The last two weeks, hour by hour, so that ranges and the trend chart have
-- something to show: each sale at a time of its own, and the hours' visitors,
-- unique hits and subscribers made up (fewer than the all-time counters,
-- as on a site that was upgraded during its event).
UPDATE tf_sales SET created_at = datetime('now', '-' || ((id * 37) % 330) || ' hours', '-' || ((id * 1249) % 3600) || ' seconds');
INSERT INTO tf_hourly (affiliate_id, hour_start, visitors, unique_hits, subscribers)
  WITH RECURSIVE h(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM h WHERE n < 335)
  SELECT a.id, (CAST(strftime('%s', 'now') AS INTEGER) / 3600 - n) * 3600,
         (a.id * 7 + n * 13) % 5, (a.id * 7 + n * 13) % 3, CASE WHEN (a.id + n) % 11 = 0 THEN 1 ELSE 0 END
  FROM tf_affiliates a, h;
INSERT INTO tf_hourly (affiliate_id, hour_start, oto_sales)
  SELECT affiliate_id, CAST(strftime('%s', created_at) AS INTEGER) / 3600 * 3600, COUNT(*)
  FROM tf_sales WHERE affiliate_id IS NOT NULL GROUP BY 1, 2
  ON CONFLICT (affiliate_id, hour_start) DO UPDATE SET oto_sales = excluded.oto_sales;
