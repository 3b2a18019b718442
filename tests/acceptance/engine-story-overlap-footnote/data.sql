CREATE TABLE r (Src TEXT, First TEXT);
INSERT INTO r VALUES ('Annual report', 'Jane');
