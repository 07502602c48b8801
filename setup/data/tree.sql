-- Sample items of the setup program: the tree of the "Read information" tab.
-- id: node; filename: caption (the item's name for a leaf); sjjd: parent id (0: top level);
-- DI1, DI0: DL/T 645 data identifier, high byte first; units: shown beside the value;
-- fl: value layout (0 as is, 1 dddddd.dd, 2 dd.dddd, 3 MM.DD hh:mm, 4 hh:mm-NN, 8 dd.dd,
-- 9 YY.MM.DD WW, 10 hh:mm:ss, 12 d.ddd, 13 status byte).
-- Some rows are stored out of id order on purpose: the tree orders siblings by id.
BEGIN;
CREATE TABLE tree (
  id INTEGER NOT NULL,
  filename TEXT,
  sjjd INTEGER,
  DI1 TEXT,
  DI0 TEXT,
  units TEXT,
  fl INTEGER
);

INSERT INTO tree VALUES (1, 'Energy', 0, NULL, NULL, NULL, 0);
INSERT INTO tree VALUES (2, 'Total active energy', 1, '90', '10', 'kWh', 1);
INSERT INTO tree VALUES (3, 'Tariff 1 active energy', 1, '90', '11', 'kWh', 1);
INSERT INTO tree VALUES (4, 'Tariff 2 active energy', 1, '90', '12', 'kWh', 1);
INSERT INTO tree VALUES (5, 'Tariff 3 active energy', 1, '90', '13', 'kWh', 1);
INSERT INTO tree VALUES (6, 'Tariff 4 active energy', 1, '90', '14', 'kWh', 1);
INSERT INTO tree VALUES (7, 'Total reverse active energy', 1, '90', '20', 'kWh', 1);
INSERT INTO tree VALUES (8, 'Total reactive energy', 1, '91', '10', 'kvarh', 1);
INSERT INTO tree VALUES (9, 'Last month total active energy', 1, '94', '10', 'kWh', 1);

INSERT INTO tree VALUES (20, 'Demand', 0, NULL, NULL, NULL, 0);
INSERT INTO tree VALUES (22, 'Time of maximum active demand', 20, 'B0', '10', '', 3);
INSERT INTO tree VALUES (21, 'Maximum active demand', 20, 'A0', '10', 'kW', 2);

INSERT INTO tree VALUES (30, 'Instantaneous', 0, NULL, NULL, NULL, 0);
INSERT INTO tree VALUES (31, 'Voltage A', 30, 'B6', '11', 'V', 0);
INSERT INTO tree VALUES (32, 'Voltage B', 30, 'B6', '12', 'V', 0);
INSERT INTO tree VALUES (33, 'Voltage C', 30, 'B6', '13', 'V', 0);
INSERT INTO tree VALUES (34, 'Current A', 30, 'B6', '21', 'A', 8);
INSERT INTO tree VALUES (35, 'Active power', 30, 'B6', '30', 'kW', 2);
INSERT INTO tree VALUES (36, 'Power factor', 30, 'B6', '50', '', 12);

INSERT INTO tree VALUES (40, 'Clock', 0, NULL, NULL, NULL, 0);
INSERT INTO tree VALUES (42, 'Time', 40, 'C0', '11', '', 10);
INSERT INTO tree VALUES (41, 'Date and week', 40, 'C0', '10', '', 9);

INSERT INTO tree VALUES (50, 'Meter data', 0, NULL, NULL, NULL, 0);
INSERT INTO tree VALUES (51, 'Meter''s running status word', 50, 'C0', '20', '', 13);
INSERT INTO tree VALUES (52, 'Active constant', 50, 'C0', '30', 'imp/kWh', 0);
INSERT INTO tree VALUES (53, 'Meter number', 50, 'C0', '32', '', 0);
INSERT INTO tree VALUES (54, 'Last programming time', 50, 'B2', '10', '', 3);
INSERT INTO tree VALUES (55, 'Programming count', 50, 'B2', '12', '', 0);
INSERT INTO tree VALUES (56, 'Reading day', 50, 'C1', '17', '', 0);

INSERT INTO tree VALUES (60, 'Tariff periods', 0, NULL, NULL, NULL, 0);
INSERT INTO tree VALUES (61, 'Daily period table 1', 60, NULL, NULL, NULL, 0);
INSERT INTO tree VALUES (63, 'Period 2', 61, 'C3', '32', '', 4);
INSERT INTO tree VALUES (62, 'Period 1', 61, 'C3', '31', '', 4);
INSERT INTO tree VALUES (64, 'Period 3', 61, 'C3', '33', '', 4);
INSERT INTO tree VALUES (65, 'Period 4', 61, 'C3', '34', '', 4);
COMMIT;
