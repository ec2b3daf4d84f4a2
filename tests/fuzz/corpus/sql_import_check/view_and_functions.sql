CREATE VIEW M_DeviceTypes AS SELECT 1, 2;
INSERT INTO t VALUES(upper('a'), hex(x'00'), substr('abc', 2));
