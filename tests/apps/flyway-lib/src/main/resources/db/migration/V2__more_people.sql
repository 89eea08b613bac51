INSERT INTO people VALUES (2, 'Grace');
INSERT INTO people VALUES (3, 'Linus');
