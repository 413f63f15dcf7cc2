// The database of the round-trip test: every column type the server offers,
// the values that are hard to write back (escapes, zero bytes, all 256 byte
// values, zero dates, negative times, extremes), names that need quoting, an
// empty table, a row over 16 KiB, a value over 16 MiB and a view. Written for
// a latin5 session; Turkish letters are given as bytes.
#pragma once

namespace dumptest {

inline constexpr const char* kRoundTripSchema = R"SQL(
CREATE DATABASE rt DEFAULT CHARACTER SET latin5;
USE rt;
SET @all = (SELECT UNHEX(GROUP_CONCAT(LPAD(HEX(seq), 2, '0') ORDER BY seq SEPARATOR '')) FROM seq_0_to_255);
SET @tr = UNHEX('F0FCFEFDF6E7D0DCDEDDD6C7');

CREATE TABLE ints (
  id INT AUTO_INCREMENT PRIMARY KEY,
  ti TINYINT, tiu TINYINT UNSIGNED, si SMALLINT, siu SMALLINT UNSIGNED,
  mi MEDIUMINT, miu MEDIUMINT UNSIGNED, i INT, iu INT UNSIGNED,
  bi BIGINT, biu BIGINT UNSIGNED, b1 TINYINT(1), bt1 BIT(1), bt64 BIT(64), bt5 BIT(5));
INSERT INTO ints VALUES
  (0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, b'0', 0, 0),
  (NULL, -128, 255, -32768, 65535, -8388608, 16777215, -2147483648, 4294967295,
   -9223372036854775808, 18446744073709551615, 1, b'1', 0xFFFFFFFFFFFFFFFF, b'10101'),
  (NULL, 127, 0, 32767, 1, 8388607, 2, 2147483647, 3, 9223372036854775807, 4, -1, NULL, 0x8000000000000001, NULL),
  (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);

CREATE TABLE nums (
  id INT PRIMARY KEY, d65 DECIMAL(65,30), d0 DECIMAL(65,0), d2 DECIMAL(10,2) UNSIGNED,
  f FLOAT, fd DOUBLE, f2 FLOAT(7,3));
INSERT INTO nums VALUES
  (1, 12345678901234567890123456789012345.123456789012345678901234567890,
   -99999999999999999999999999999999999999999999999999999999999999999, 3.5, 1.5, 0.1, 1234.567),
  (2, -0.000000000000000000000000000001, 0, 0, -3.25e-10, -1.7976931348623157e308, -9999.999),
  (3, 0, 1, 99999999.99, 3.4e38, 2.2250738585072014e-308, 0),
  (4, NULL, NULL, NULL, NULL, NULL, NULL);

CREATE TABLE dates (
  id INT PRIMARY KEY, d DATE, dt DATETIME(6), dt0 DATETIME, t TIME, t6 TIME(6),
  ts TIMESTAMP NULL DEFAULT NULL, ts6 TIMESTAMP(6) NULL DEFAULT NULL, y YEAR);
INSERT INTO dates VALUES
  (1, '2024-05-17', '2024-05-17 10:20:30.123456', '1000-01-01 00:00:00', '10:20:30', '-838:59:59.000000',
   '2024-01-15 12:00:00', '2038-01-19 03:14:07.999999', 2024),
  (2, '0000-00-00', '0000-00-00 00:00:00.000000', '0000-00-00 00:00:00', '-00:00:01', '838:59:59.999999',
   '1970-01-01 00:00:01', '1999-12-31 23:59:59.000001', 0),
  (3, '9999-12-31', '9999-12-31 23:59:59.999999', '2024-02-29 00:00:00', '-838:59:59', '00:00:00.000001',
   '0000-00-00 00:00:00', NULL, 1901),
  (4, '2024-00-00', NULL, NULL, NULL, NULL, NULL, NULL, NULL);

CREATE TABLE strs (
  id INT PRIMARY KEY, c CHAR(20), vc VARCHAR(300), vs VARCHAR(20), tt TINYTEXT, tx TEXT,
  mt MEDIUMTEXT, lt LONGTEXT, en ENUM('a', 'b''c', 'd\\e', ''), st SET('x', 'y', 'z'),
  js JSON, cu CHAR(5) CHARACTER SET utf8mb4, vu VARCHAR(20) CHARACTER SET utf8mb4);
INSERT INTO strs VALUES
  (1, 'it''s\\', CONCAT('q''uote "dq" back\\slash cr', CHAR(13), 'lf', CHAR(10), 'z', CHAR(26), 'nul', CHAR(0), 'end'),
   CONCAT('a', CHAR(0), 'b', CHAR(0)), CONCAT('t', CHAR(0), 't'), CONCAT('x', CHAR(0), '\\0'),
   REPEAT(CONCAT(CHAR(0), '\'"\\', CHAR(10)), 1000), @tr, 'b''c', 'x,z', '{"a": [1, "\\u0000"]}',
   'ab ', CONCAT(CHAR(0xC4, 0x9F USING utf8mb4), 'x')),
  (2, @tr, @tr, @tr, @tr, @tr, @tr, @tr, 'd\\e', '', '[]', '', ''),
  (3, '', '', '', '', '', '', '', '', 'x,y,z', NULL, NULL, NULL),
  (4, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
  (5, '  lead', 'trail  ', '  ', ' ', 'tab	x', '--', '/* c */', 'a', 'y', '"s"', 'x', 'y');

CREATE TABLE bins (
  id INT PRIMARY KEY, vb VARBINARY(300), bn BINARY(8), tb TINYBLOB, bl BLOB, mb MEDIUMBLOB, lb LONGBLOB,
  bc CHAR(4) CHARACTER SET binary);
INSERT INTO bins VALUES
  (1, @all, CONCAT('ab', CHAR(0), CHAR(0)), LEFT(@all, 255), @all, @all, REVERSE(@all), CONCAT(CHAR(0), 'a')),
  (2, CONCAT(CHAR(0), CHAR(0)), '', '', '', '', '', ''),
  (3, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
  (4, '', CHAR(0), CHAR(255), REPEAT(@all, 100), REPEAT(@all, 300), REPEAT(@all, 20), 'abcd');

CREATE TABLE geo (id INT PRIMARY KEY, g GEOMETRY, p POINT, ls LINESTRING, pg POLYGON);
INSERT INTO geo VALUES
  (1, ST_GeomFromText('POINT(1 2)'), ST_GeomFromText('POINT(-1.5 1e10)'),
   ST_GeomFromText('LINESTRING(0 0, 1 1, 2 0)'), ST_GeomFromText('POLYGON((0 0, 4 0, 4 4, 0 4, 0 0))')),
  (2, ST_GeomFromText('GEOMETRYCOLLECTION(POINT(0 0), LINESTRING(1 1, 2 2))', 4326), NULL, NULL, NULL);

CREATE TABLE misc (id INT PRIMARY KEY, ip6 INET6, ip4 INET4, uu UUID);
INSERT INTO misc VALUES (1, '::1', '10.0.0.1', '123e4567-e89b-12d3-a456-426655440000'),
  (2, 'fe80::1:2', '255.255.255.255', '00000000-0000-0000-0000-000000000000'), (3, NULL, NULL, NULL);

CREATE TABLE bos (a INT);

CREATE TABLE wide (id INT PRIMARY KEY, a TEXT, b MEDIUMBLOB);
INSERT INTO wide SELECT seq, REPEAT(CHAR(65 + seq % 26), 150), NULL FROM seq_1_to_400;
INSERT INTO wide VALUES (1000, REPEAT('w''', 12000), REPEAT(@all, 40)), (1001, 'after', NULL);

CREATE TABLE huge (id INT PRIMARY KEY, v LONGBLOB);
INSERT INTO huge VALUES (1, REPEAT(CONCAT(REPEAT('a', 58), UNHEX('00FF27615C0A')), 275000)), (2, 'small');

CREATE TABLE `x y` (`col umn` INT, `1st` VARCHAR(5));
INSERT INTO `x y` VALUES (1, 'a'), (NULL, NULL);
CREATE TABLE `a-b` (a INT);
INSERT INTO `a-b` VALUES (1);
CREATE TABLE `1abc` (a INT);
INSERT INTO `1abc` VALUES (2);
CREATE TABLE `q``t` (`b``c` INT);
INSERT INTO `q``t` VALUES (3);
SET @name = CONCAT('CREATE TABLE `m', UNHEX('FCFE'), 'teri` (', UNHEX('F0'), 'x INT)');
PREPARE s FROM @name; EXECUTE s;
SET @ins = CONCAT('INSERT INTO `m', UNHEX('FCFE'), 'teri` VALUES (4)');
PREPARE s FROM @ins; EXECUTE s;

CREATE VIEW v AS SELECT id, bi, bt64 FROM ints WHERE id > 1;
CREATE VIEW `gor unum` AS SELECT `col umn` FROM `x y`;
)SQL";

}  // namespace dumptest
