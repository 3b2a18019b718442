CREATE TABLE r (A TEXT, B TEXT, C TEXT, D TEXT, E TEXT, F TEXT, G TEXT, H TEXT, I TEXT, J TEXT);
INSERT INTO r VALUES ('va', 'vb', 'vc', 'vd', 've', 'vf', 'vg', 'vh', 'vi', 'vj');
