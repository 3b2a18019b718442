-- The Writer-made templates' shop (tests/data/field-reports/data/shop.sqlite), cut down:
-- its company, six customers, two orders of each and the lines of the first three orders.
CREATE TABLE company (Name TEXT, Street TEXT, City TEXT, Phone TEXT, VatId TEXT);
CREATE TABLE customers (
  CustomerId INTEGER PRIMARY KEY, Salutation TEXT, FirstName TEXT, LastName TEXT,
  Company TEXT, Street TEXT, Zip TEXT, City TEXT, Country TEXT,
  Since DATE, CreditLimit CURRENCY, Active BOOLEAN, Discount NUMERIC, Email TEXT);
CREATE TABLE orders (
  OrderId INTEGER PRIMARY KEY, CustomerId INTEGER REFERENCES customers, OrderDate DATE,
  DueDate DATE, Paid BOOLEAN, Status INTEGER, Note TEXT);
CREATE TABLE orderlines (
  LineId INTEGER PRIMARY KEY, OrderId INTEGER REFERENCES orders, Pos INTEGER,
  Product TEXT, Quantity INTEGER, Price CURRENCY, VatRate NUMERIC);
INSERT INTO company VALUES ('Nordwind Handels GmbH & Co. KG', 'Große Straße 12', '20095 Hamburg', '+49 40 555 0101', 'DE123456789');
INSERT INTO customers VALUES (1, 'Mr', 'Jürgen', 'Müller', 'Müller Trading', 'Hauptstraße 17', '80331', 'München', 'Germany', '2018-08-19', 236992.41, 0, 0.125, 'user0@example.org');
INSERT INTO customers VALUES (2, 'Ms', 'Agnieszka', 'Wiśniewska', '', 'ul. Piotrkowska 104', '90-001', 'Łódź', 'Poland', '2022-04-20', 12547.46, 1, 0, 'user1@example.org');
INSERT INTO customers VALUES (3, 'Mr', 'Søren', 'Ærø-Jensen', '', 'Vestergade 3', '5970', 'Ærøskøbing', 'Denmark', '2019-02-06', 145905.61, 1, 0.05, 'user2@example.org');
INSERT INTO customers VALUES (4, 'Ms', 'Zoë', 'O''Brien', 'O''Brien Trading', '12 O''Connell St', 'D02 X285', 'Dublin', 'Ireland', '2015-06-03', 21943.83, 1, 0.125, 'user3@example.org');
INSERT INTO customers VALUES (5, 'Mr', 'François', 'Lefèvre', '', '12 rue des Lilas', '69001', 'Lyon', 'France', '2015-10-14', 60545.42, 0, 0.125, 'user4@example.org');
INSERT INTO customers VALUES (6, 'Ms', 'Ørjan', 'Åsmund', '', 'Karl Johans gate 1', '0150', 'Oslo', 'Norway', '2015-08-31', 206799.61, 1, 0, 'user5@example.org');
INSERT INTO orders VALUES (10013, 2, '2024-08-13', '2024-09-12', 0, 2, NULL);
INSERT INTO orders VALUES (10016, 2, '2024-02-02', '2024-03-03', 1, 1, 'Lieferung bitte an Tor 2 – Danke!');
INSERT INTO orders VALUES (10025, 5, '2024-05-17', '2024-06-16', 0, 2, NULL);
INSERT INTO orders VALUES (10045, 5, '2024-09-14', '2024-10-14', 0, 2, NULL);
INSERT INTO orders VALUES (10057, 4, '2024-05-23', '2024-06-22', 0, 0, NULL);
INSERT INTO orders VALUES (10063, 6, '2024-03-30', '2024-04-29', 1, 2, NULL);
INSERT INTO orders VALUES (10070, 3, '2024-11-26', '2024-12-26', 1, 0, NULL);
INSERT INTO orders VALUES (10078, 4, '2024-12-29', '2025-01-28', 0, 0, NULL);
INSERT INTO orders VALUES (10096, 3, '2024-02-22', '2024-03-23', 0, 1, 'Lieferung bitte an Tor 2 – Danke!');
INSERT INTO orders VALUES (10102, 6, '2024-11-30', '2024-12-30', 0, 1, NULL);
INSERT INTO orders VALUES (10104, 1, '2024-08-10', '2024-09-09', 0, 1, NULL);
INSERT INTO orders VALUES (10112, 1, '2024-11-12', '2024-12-12', 1, 1, NULL);
INSERT INTO orderlines VALUES (54, 10013, 1, 'Kugelschreiber (10 Stk.)', 23, 4.99, 0.07);
INSERT INTO orderlines VALUES (61, 10016, 1, 'Licença de software', 78, 1234.56, 0.07);
INSERT INTO orderlines VALUES (62, 10016, 2, 'Licença de software', 26, 1234.56, 0.19);
INSERT INTO orderlines VALUES (63, 10016, 3, 'Server rack 42U', 36, 12499, 0.19);
INSERT INTO orderlines VALUES (64, 10016, 4, 'Aktenordner breit', 66, 2.35, 0.07);
INSERT INTO orderlines VALUES (65, 10016, 5, 'Licença de software', 104, 1234.56, 0.19);
INSERT INTO orderlines VALUES (98, 10025, 1, 'Monitor 27" 4K', 11, 389, 0.07);
