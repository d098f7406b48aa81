CREATE TABLE t (a, [b;c], `d;e`, "f;g");
CREATE TABLE t2 (x);
CREATE TRIGGER tr AFTER INSERT ON t BEGIN
  UPDATE t SET a = CASE WHEN new.a > 0 THEN 'pos; itive' ELSE 'neg' END;
  INSERT INTO t2 VALUES (1); -- comment; here
END;
CREATE TEMP TRIGGER tr2 AFTER DELETE ON t BEGIN SELECT 1; END  ;
SELECT [a;b] FROM (SELECT 1 AS [a;b]);
/* c ; */ SELECT 2;
-- comment ;
SELECT 'it''s; ok', "x;y", `z;w`;
SELECT 3 /* a /* b */ ;
SELECT 4 -- c
;
/* only a comment */
SELECT 5; SELECT 6;   /* after */
CREATE TRIGGER tr3 BEFORE UPDATE ON t WHEN new.a = 'end' BEGIN
  SELECT RAISE(ABORT, 'no;'); END;
EXPLAIN CREATE TRIGGER tr4 AFTER INSERT ON t2 BEGIN DELETE FROM t2; END;
SELECT 7

;
SELECT 1;
SELECT 2 /* open; never