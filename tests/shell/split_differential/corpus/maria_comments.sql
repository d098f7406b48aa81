SELECT 1 /*! + 1 */;
SELECT 2 /*!50003 + 1 */ /*M! + 1 */;
SELECT /*+ NO_RANGE_OPTIMIZATION(t) */ 3;
SELECT 5--2;
SELECT 5-- 2
;
SELECT 6 # hash ;
, 7;
SELECT 'a\'; b', "c\";", `odd;name` FROM (SELECT 1 AS `odd;name`) t;
/* a comment ; */ SELECT 8;
-- a line comment ;
SELECT 9; -- trailing comment
SELECT 10;    # trailing hash
/* nested /* not */ SELECT 11;
SELECT 12

 , 13;
SELECT '#no', '-- no', "/* no */";
--DELETE FROM t;
SELECT 13;--trailing
SELECT 14;
SET sql_mode = 'NO_BACKSLASH_ESCAPES';
SELECT 'a\', "b\";
SELECT 'plain';
SET SESSION sql_mode = DEFAULT;
SELECT 'c\';', 3;
SELECT \N, 15;
/*!50503 select CURRENT_TIMESTAMP is not null as 'INFO' */;
/*!40101 SET @a_saved = 1 */ /*M!100000 , @b_saved = 2 */;
/*!999999 SELECT 'not on this server' */;
SELECT @a_saved, @b_saved;
