CREATE TABLE t (Name TEXT, Amount NUMERIC);
INSERT INTO t VALUES ('Ann', 1234.5), ('Bob', 7), ('Cy', -0.25);
