-- Benchmark data for the site: 100,000 affiliates and 1,000,000 sales, the
-- same on every run. Names share a prefix and come in a scrambled order;
-- every tenth sale is a direct one. The counters agree with the sales.
-- (upgrade.php then counts the sales' hours.)
-- MariaDB only (its seq_1_to_N tables).
DELETE FROM tf_sales;
DELETE FROM tf_affiliates;
INSERT INTO tf_affiliates (id, name, link_id)
  SELECT seq, CONCAT('Affiliate ', LPAD((seq * 7919) % 100003, 6, '0')), CONCAT('aff', seq)
  FROM seq_1_to_100000;
-- The sales are spread evenly over the 90 days from 2026-06-01 00:00 UTC.
SET time_zone = '+00:00';
INSERT INTO tf_sales (id, affiliate_id, sale_order, created_at)
  SELECT seq, IF(seq % 10 = 0, NULL, (seq * 7919) % 100000 + 1),
         CONCAT('ORD-', 1000000 + seq, IF(seq % 3 = 0, ' Upgrade pack', ' Bonus bundle')),
         TIMESTAMP '2026-06-01 00:00:00' + INTERVAL (seq - 1) * 7776 DIV 1000 SECOND
  FROM seq_1_to_1000000;
UPDATE tf_affiliates a
  JOIN (SELECT affiliate_id, COUNT(*) AS c FROM tf_sales WHERE affiliate_id IS NOT NULL GROUP BY affiliate_id) s
    ON s.affiliate_id = a.id
  SET a.oto_sales = s.c, a.subscribers = s.c * 3, a.visitors = s.c * 40, a.unique_hits = s.c * 25;
