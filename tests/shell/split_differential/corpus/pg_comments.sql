CREATE TABLE t (id int, note text);
INSERT INTO t VALUES (1, 'a'), (2, 'b'), (3, 'c');
/* disabled for now:
   /* old cleanup */
   DELETE FROM t;
*/
SELECT count(*) FROM t;
-- a line comment; with a semicolon
SELECT 1 -- inside; the statement
, 2;
/* a comment
   over lines; */ SELECT 3;
SELECT 4 ;   SELECT 5;-- trailing; comment
SELECT '--not a comment', '/* nor this */', "id" FROM t WHERE note = 'it''s; fine';

SELECT 6

  ;
/* only a comment; */
SELECT 7 /* inner /* nested; */ still */ + 1;
   SELECT 8 -- the end
