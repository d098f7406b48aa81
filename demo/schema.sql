-- schema.sql - the demo database: a small shop with customers, products,
-- orders and their items. Every row is made by SQL (recursive common table
-- expressions), so the same data comes out on every run. Some values are
-- left NULL on purpose (no phone number, an order not shipped yet), and a
-- few product descriptions are long texts.

DROP TABLE IF EXISTS order_items;
DROP TABLE IF EXISTS orders;
DROP TABLE IF EXISTS products;
DROP TABLE IF EXISTS customers;

CREATE TABLE customers (
    id        INTEGER PRIMARY KEY,
    name      VARCHAR(40) NOT NULL,
    email     VARCHAR(60) NOT NULL,
    phone     VARCHAR(20),            -- NULL for customers who gave none
    city      VARCHAR(30) NOT NULL,
    joined_on DATE NOT NULL
);

CREATE TABLE products (
    id          INTEGER PRIMARY KEY,
    name        VARCHAR(40) NOT NULL,
    category    VARCHAR(20) NOT NULL,
    price       NUMERIC(10,2) NOT NULL,
    description TEXT                  -- NULL for a few, long for others
);

CREATE TABLE orders (
    id          INTEGER PRIMARY KEY,
    customer_id INTEGER NOT NULL REFERENCES customers(id),
    ordered_on  DATE NOT NULL,
    status      VARCHAR(10) NOT NULL,
    shipped_on  DATE                  -- NULL until the order ships
);

CREATE TABLE order_items (
    order_id   INTEGER NOT NULL REFERENCES orders(id),
    line       INTEGER NOT NULL,
    product_id INTEGER NOT NULL REFERENCES products(id),
    quantity   INTEGER NOT NULL,
    unit_price NUMERIC(10,2) NOT NULL,
    PRIMARY KEY (order_id, line)
);

-- 60 customers: every first name meets every last name once.
INSERT INTO customers (id, name, email, phone, city, joined_on)
WITH RECURSIVE
    n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 60),
    firsts(k, first) AS (VALUES (0, 'Ada'), (1, 'Bruno'), (2, 'Chiara'), (3, 'Dmitri'), (4, 'Elif'),
                                (5, 'Farah'), (6, 'Goran'), (7, 'Hana'), (8, 'Ivo'), (9, 'Jun'),
                                (10, 'Katja'), (11, 'Luis')),
    lasts(k, last) AS (VALUES (0, 'Moreau'), (1, 'Novak'), (2, 'O''Neill'), (3, 'Petrov'), (4, 'Quist')),
    cities(k, city) AS (VALUES (0, 'Lisbon'), (1, 'Tallinn'), (2, 'Porto'), (3, 'Ghent'), (4, 'Brno'),
                               (5, 'Aarhus'), (6, 'Graz'))
SELECT i,
       first || ' ' || last,
       lower(first || '.' || replace(last, '''', '')) || '@example.org',
       CASE WHEN i % 4 = 0 THEN NULL ELSE printf('+351 21 %03d %04d', i * 7 % 1000, i * 389 % 10000) END,
       city,
       date('2021-03-01', '+' || (i * 11) || ' days')
FROM n
JOIN firsts ON firsts.k = (i - 1) % 12
JOIN lasts ON lasts.k = (i - 1) / 12
JOIN cities ON cities.k = i % 7;

-- 24 products in four categories.
INSERT INTO products (id, name, category, price, description)
WITH RECURSIVE
    n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 24),
    kinds(k, category, noun) AS (VALUES (0, 'tea', 'Tea'), (1, 'coffee', 'Coffee'),
                                        (2, 'tableware', 'Mug'), (3, 'books', 'Guide')),
    adjectives(k, adjective) AS (VALUES (0, 'Morning'), (1, 'Highland'), (2, 'Smoky'),
                                        (3, 'Harbour'), (4, 'Velvet'), (5, 'Winter'))
SELECT i,
       adjective || ' ' || noun,
       category,
       round(4.5 + (i * 37 % 90) * 0.35, 2),
       CASE
           WHEN i % 5 = 0 THEN NULL
           WHEN i % 3 = 0 THEN adjective || ' ' || lower(noun) || ': ' ||
               'chosen for people who like to take their time. ' ||
               'It arrives in a recyclable box with a card that tells where it comes from, ' ||
               'how it was made and how to get the best out of it at home. ' ||
               'Store it somewhere cool and dry, away from strong smells, and it keeps for a year. ' ||
               'Every batch is tasted before it leaves the warehouse; if yours is not what you hoped for, ' ||
               'send it back within thirty days and we refund the full price, shipping included.'
           ELSE adjective || ' ' || lower(noun) || ', a customer favourite.'
       END
FROM n
JOIN kinds ON kinds.k = i % 4
JOIN adjectives ON adjectives.k = (i / 4) % 6;

-- 300 orders over 2023; the most recent ones have not shipped yet.
INSERT INTO orders (id, customer_id, ordered_on, status, shipped_on)
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300)
SELECT i,
       (i * 7 + i * i % 13) % 60 + 1,
       date('2023-01-01', '+' || ((i - 1) * 365 / 300) || ' days'),
       CASE WHEN i > 285 THEN 'open' WHEN i % 23 = 0 THEN 'cancelled' ELSE 'shipped' END,
       CASE WHEN i > 285 OR i % 23 = 0 THEN NULL
            ELSE date('2023-01-01', '+' || ((i - 1) * 365 / 300 + 1 + i % 4) || ' days') END
FROM n;

-- One to three items per order, at the product's price.
INSERT INTO order_items (order_id, line, product_id, quantity, unit_price)
WITH RECURSIVE
    n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300),
    lines(line) AS (VALUES (1), (2), (3))
SELECT n.i, lines.line, p.id, 1 + (n.i + lines.line) % 4, p.price
FROM n
JOIN lines ON lines.line <= 1 + n.i % 3
JOIN products p ON p.id = (n.i * 7 + lines.line * 11) % 24 + 1;
