CREATE TABLE r (Name TEXT, First TEXT);
INSERT INTO r VALUES ('Jane Doe', 'Jane');
