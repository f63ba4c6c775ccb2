-- The standard scenario of the water plant.
-- Written by tools/make_standard_scenario.py; change the numbers there.

-- Water arrivals: the first row is the content of the tanks at 0:00.
INSERT INTO "exogenous" ("Hr", "Min", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22") VALUES (0, 0, 50, 15, 15, 20, 15, 20, 15, 10, 8, 20, 15, 14, 12, 10, 8, 20, 20, 4, 2, 4, 2, 2, 2);
INSERT INTO "exogenous" ("Hr", "Min", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22") VALUES (0, 25, 2, 1, 1, 1.5, 1, 1.5, 1, 5, 5, 1.5, 1, 4.5, 4, 5.5, 5, 1, 1, 1.5, 1.5, 1.5, 1.5, 0.5, 0.5);
INSERT INTO "exogenous" ("Hr", "Min", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22") VALUES (1, 0, 2, 1, 1, 1.5, 1, 1.5, 1, 5, 5, 1.5, 1, 4.5, 4, 5.5, 5, 1, 1, 1.5, 1.5, 1.5, 1.5, 0.5, 0.5);
INSERT INTO "exogenous" ("Hr", "Min", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22") VALUES (1, 30, 2, 1, 1, 1.5, 1, 1.5, 1, 5, 5, 1.5, 1, 4.5, 4, 5.5, 5, 1, 1, 1.5, 1.5, 1.5, 1.5, 0.5, 0.5);
INSERT INTO "exogenous" ("Hr", "Min", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22") VALUES (1, 50, 2, 1, 1, 1.5, 1, 1.5, 1, 5, 5, 1.5, 1, 4.5, 4, 5.5, 5, 1, 1, 1.5, 1.5, 1.5, 1.5, 0.5, 0.5);
INSERT INTO "exogenous" ("Hr", "Min", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22") VALUES (2, 30, 2, 1, 1, 1.5, 1, 1.5, 1, 5, 5, 1.5, 1, 0.5, 0.5, 5.5, 5, 1, 1, 1.5, 1.5, 1.5, 1.5, 0.5, 0.5);
INSERT INTO "exogenous" ("Hr", "Min", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22") VALUES (3, 0, 2, 1, 1, 1.5, 1, 1.5, 1, 0.5, 5, 1.5, 1, 0.5, 0.5, 0.5, 5, 1, 1, 1.5, 1.5, 1.5, 1.5, 0.5, 0.5);
INSERT INTO "exogenous" ("Hr", "Min", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22") VALUES (3, 25, 2, 1, 1, 1.5, 1, 1.5, 1, 0.5, 5, 1.5, 1, 0.5, 0.5, 0.5, 5, 1, 1, 1.5, 1.5, 1.5, 1.5, 0.5, 0.5);
INSERT INTO "exogenous" ("Hr", "Min", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22") VALUES (4, 0, 2, 1, 1, 1.5, 1, 1.5, 1, 0.5, 0.5, 1.5, 1, 0.5, 0.5, 0.5, 0.5, 1, 1, 1.5, 1.5, 1.5, 1.5, 0.5, 0.5);
INSERT INTO "exogenous" ("Hr", "Min", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22") VALUES (4, 30, 2, 1, 1, 1.5, 1, 1.5, 1, 0.5, 0.5, 1.5, 1, 0.5, 0.5, 0.5, 0.5, 1, 1, 1.5, 1.5, 1.5, 1.5, 0.5, 0.5);
INSERT INTO "exogenous" ("Hr", "Min", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22") VALUES (4, 50, 2, 1, 1, 1.5, 1, 1.5, 1, 0.5, 0.5, 1.5, 1, 0.5, 0.5, 0.5, 0.5, 1, 1, 1.5, 1.5, 1.5, 1.5, 0.5, 0.5);
INSERT INTO "exogenous" ("Hr", "Min", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22") VALUES (5, 30, 2, 1, 1, 1.5, 1, 1.5, 1, 0.5, 0.5, 1.5, 1, 0.5, 0.5, 0.5, 0.5, 1, 1, 0, 1.5, 0, 1.5, 0.5, 0.5);
INSERT INTO "exogenous" ("Hr", "Min", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22") VALUES (6, 0, 2, 1, 1, 1.5, 1, 1.5, 1, 0.5, 0.5, 1.5, 1, 0.5, 0.5, 0.5, 0.5, 1, 1, 0, 0, 0, 0, 0.5, 0.5);
INSERT INTO "exogenous" ("Hr", "Min", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22") VALUES (6, 25, 2, 1, 1, 1.5, 1, 1.5, 1, 0.5, 0.5, 1.5, 1, 0.5, 0.5, 0.5, 0.5, 1, 1, 0, 0, 0, 0, 0.5, 0.5);
INSERT INTO "exogenous" ("Hr", "Min", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22") VALUES (7, 0, 2, 1, 1, 1.5, 1, 1.5, 1, 0.5, 0.5, 1.5, 1, 0.5, 0.5, 0.5, 0.5, 1, 1, 0, 0, 0, 0, 0, 0.5);
INSERT INTO "exogenous" ("Hr", "Min", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22") VALUES (7, 30, 2, 1, 1, 1.5, 1, 1.5, 1, 0.5, 0.5, 1.5, 1, 0.5, 0.5, 0.5, 0.5, 1, 1, 0, 0, 0, 0, 0, 0.5);
INSERT INTO "exogenous" ("Hr", "Min", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22") VALUES (7, 50, 2, 1, 1, 1.5, 1, 1.5, 1, 0.5, 0.5, 1.5, 1, 0.5, 0.5, 0.5, 0.5, 1, 1, 0, 0, 0, 0, 0, 0.5);

-- Deadlines, in time order; the last one ends the trial.
INSERT INTO "deadline" ("TankNum", "Hr", "Min", "ExpectAmt") VALUES (11, 2, 0, 33);
INSERT INTO "deadline" ("TankNum", "Hr", "Min", "ExpectAmt") VALUES (12, 2, 0, 31);
INSERT INTO "deadline" ("TankNum", "Hr", "Min", "ExpectAmt") VALUES (7, 3, 0, 42);
INSERT INTO "deadline" ("TankNum", "Hr", "Min", "ExpectAmt") VALUES (13, 3, 0, 42);
INSERT INTO "deadline" ("TankNum", "Hr", "Min", "ExpectAmt") VALUES (8, 4, 0, 50);
INSERT INTO "deadline" ("TankNum", "Hr", "Min", "ExpectAmt") VALUES (14, 4, 0, 46);
INSERT INTO "deadline" ("TankNum", "Hr", "Min", "ExpectAmt") VALUES (17, 5, 0, 66);
INSERT INTO "deadline" ("TankNum", "Hr", "Min", "ExpectAmt") VALUES (19, 5, 0, 61);
INSERT INTO "deadline" ("TankNum", "Hr", "Min", "ExpectAmt") VALUES (18, 6, 0, 50);
INSERT INTO "deadline" ("TankNum", "Hr", "Min", "ExpectAmt") VALUES (20, 6, 0, 61);
INSERT INTO "deadline" ("TankNum", "Hr", "Min", "ExpectAmt") VALUES (21, 7, 0, 66);
INSERT INTO "deadline" ("TankNum", "Hr", "Min", "ExpectAmt") VALUES (22, 8, 0, 88);

-- Outlets: a share of each bucket pumped out of head goes to tail (-1: out of the plant).
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (0, 1, 0.45);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (0, 2, 0.45);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (1, 3, 0.125);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (1, 4, 0.125);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (1, 5, 0.125);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (1, 6, 0.125);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (1, 7, 0.25);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (1, 8, 0.25);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (2, 9, 0.125);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (2, 10, 0.125);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (2, 11, 0.1875);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (2, 12, 0.1875);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (2, 13, 0.1875);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (2, 14, 0.1875);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (3, 15, 1);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (4, 15, 0.75);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (5, 16, 1);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (6, 16, 0.5);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (7, 17, 1);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (8, 17, 0.75);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (9, 18, 1);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (10, 18, 1);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (11, 19, 1);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (12, 19, 0.75);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (13, 20, 1);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (14, 20, 1);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (15, 21, 0.5);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (15, 22, 0.25);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (16, 21, 0.5);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (17, 21, 1);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (18, 22, 0.75);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (19, 22, 0.5);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (20, 22, 0.5);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (21, -1, 1);
INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES (22, -1, 1);
