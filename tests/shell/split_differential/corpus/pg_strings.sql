SELECT $$ a ; $$, $body$ it's; $$ $body$, $x$$x$;
SELECT E'a\'; b', 'c\\';
SELECT e'\\', 'back\';
SELECT U&'d\0061t\+000061', B'101', X'1F', N'n;';
SELECT "col;name", "q""uote;" FROM (SELECT 1 AS "col;name", 2 AS "q""uote;") s;
SET standard_conforming_strings = off;
SELECT 'it\'s; here', 'x';
SELECT 'two \\', 'three; \' quote';
SET SESSION standard_conforming_strings TO 'on';
SELECT 'back\';
SET LOCAL standard_conforming_strings = off;
SELECT 'still\';
SELECT a$b, $1x FROM (SELECT 1 AS a$b, 2 AS "$1x") s;
CREATE FUNCTION f() RETURNS int LANGUAGE plpgsql AS $fn$
BEGIN
  RETURN 1; -- ;
END;
$fn$;
SELECT f();
SELECT 'unterminated; at first
still in the string; ';
