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
