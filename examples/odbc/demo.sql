-- The example database of the traced demo session (scripts/demo.sh makes
-- it with sqlite3): a few customers, products and their orders.

CREATE TABLE customers (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  city TEXT NOT NULL
);

CREATE TABLE products (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  price REAL NOT NULL
);

CREATE TABLE orders (
  id INTEGER PRIMARY KEY,
  customer_id INTEGER NOT NULL REFERENCES customers(id),
  product_id INTEGER NOT NULL REFERENCES products(id),
  quantity INTEGER NOT NULL,
  ordered_on TEXT NOT NULL
);

INSERT INTO customers VALUES
  (1, 'Harbour Books', 'Bristol'),
  (2, 'Alpine Outfitters', 'Innsbruck'),
  (3, 'Delta Components', 'Rotterdam'),
  (4, 'Northwind Cafe', 'Oslo');

INSERT INTO products VALUES
  (1, 'Notebook', 3.50),
  (2, 'Fountain pen', 24.00),
  (3, 'Desk lamp', 39.90),
  (4, 'Paper (500 sheets)', 6.75);

INSERT INTO orders VALUES
  (1, 1, 1, 40, '2026-11-02'),
  (2, 1, 4, 12, '2026-11-02'),
  (3, 2, 3, 5, '2026-11-09'),
  (4, 3, 2, 8, '2026-11-15'),
  (5, 4, 1, 20, '2026-11-21'),
  (6, 3, 4, 30, '2026-11-28');
