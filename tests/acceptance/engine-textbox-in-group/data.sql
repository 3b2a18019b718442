CREATE TABLE r (Top TEXT, Name TEXT, Box TEXT);
INSERT INTO r VALUES ('top0', 'name0', 'box0');
INSERT INTO r VALUES ('top1', 'name1', 'box1');
INSERT INTO r VALUES ('top2', 'name2', 'box2');
INSERT INTO r VALUES ('top3', 'name3', 'box3');
INSERT INTO r VALUES ('top4', 'name4', 'box4');
