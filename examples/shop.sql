-- The example shop: the shop itself, its customers, their orders and the order lines.
-- Built into shop.sqlite by examples/demo.sh (with `veltrane make-db`). The declared column
-- types decide the field types the merge sees: DATE for dates, CURRENCY for money,
-- INTEGER for counts.

CREATE TABLE shop (
  Name   TEXT NOT NULL,
  Street TEXT NOT NULL,
  Phone  TEXT NOT NULL
);

CREATE TABLE customers (
  CustomerId INTEGER PRIMARY KEY,
  Salutation TEXT NOT NULL,
  FirstName  TEXT NOT NULL,
  LastName   TEXT NOT NULL,
  Street     TEXT NOT NULL,
  Zip        TEXT NOT NULL,
  City       TEXT NOT NULL,
  Country    TEXT NOT NULL,
  Since      DATE NOT NULL
);

CREATE TABLE orders (
  OrderId    INTEGER PRIMARY KEY,
  CustomerId INTEGER NOT NULL REFERENCES customers(CustomerId),
  OrderDate  DATE NOT NULL
);

CREATE TABLE orderlines (
  LineId   INTEGER PRIMARY KEY,
  OrderId  INTEGER NOT NULL REFERENCES orders(OrderId),
  Product  TEXT NOT NULL,
  Quantity INTEGER NOT NULL,
  Price    CURRENCY NOT NULL
);

INSERT INTO shop VALUES ('Example Supplies Ltd', '1 Market Square, 12345 Sampletown', '+49 30 1234567');

INSERT INTO customers VALUES
  (1, 'Ms', 'Anna',   'Berger',   'Lindenstraße 4',   '10115', 'Berlin',   'Germany',     '2019-03-01'),
  (2, 'Mr', 'Jürgen', 'Müller',   'Hauptstraße 17',   '80331', 'München',  'Germany',     '2021-11-15'),
  (3, 'Ms', 'Claire', 'Dubois',   '12 rue des Lilas', '69001', 'Lyon',     'France',      '2020-06-30'),
  (4, 'Mr', 'Tom',    'Hughes',   '8 Mill Lane',      'OX1 2JD', 'Oxford', 'United Kingdom', '2018-01-20'),
  (5, 'Ms', 'Sofia',  'Lindqvist','Storgatan 3',      '11455', 'Stockholm', 'Sweden',     '2022-09-05');

INSERT INTO orders VALUES
  (1001, 1, '2024-05-02'),
  (1002, 3, '2024-05-06'),
  (1003, 2, '2024-05-13'),
  (1004, 4, '2024-06-01');

INSERT INTO orderlines VALUES
  (1, 1001, 'Desk lamp "Aurora"',        2,  39.90),
  (2, 1001, 'LED bulb, warm white',      6,   4.50),
  (3, 1002, 'Office chair',              1, 249.00),
  (4, 1003, 'Notebook A5, dotted',      12,   3.20),
  (5, 1003, 'Fountain pen',              1,  89.00),
  (6, 1003, 'Ink cartridges (pack of 6)', 3,  5.95),
  (7, 1004, 'Standing desk',             1, 1299.00);
