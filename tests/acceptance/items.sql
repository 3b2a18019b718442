-- The small data set most acceptance cases share.
CREATE TABLE items (Id INTEGER, Name TEXT);
INSERT INTO items VALUES (1, 'Alpha'), (2, 'Beta'), (3, 'Gamma');
CREATE TABLE codes (Code TEXT, Label TEXT);
INSERT INTO codes VALUES ('X', 'Ex'), ('Y', 'Why');
CREATE TABLE shop (Name TEXT, Phone TEXT, Street TEXT);
INSERT INTO shop VALUES ('Paper & Ink Ltd', '0123 4567', '1 Market Square');
CREATE TABLE customers (Name TEXT, Country TEXT);
INSERT INTO customers VALUES ('Ada', 'DE'), ('Bob', 'DE'), ('Cid', 'FR'), ('Dan', 'UK');
CREATE TABLE orders (OrderId INTEGER, Total CURRENCY);
INSERT INTO orders VALUES (1001, 12.5), (1002, 7), (1003, 0);
CREATE TABLE lines (OrderId INTEGER, Product TEXT, Quantity INTEGER);
INSERT INTO lines VALUES (1001, 'Pen', 2), (1001, 'Ink', 1), (1002, 'Paper', 5);
