-- The database that the differential test dumps with mariadb-dump --routines
-- --triggers and restores through both clients: a table with a row whose
-- id is 0, a trigger, a procedure and a view.
CREATE TABLE parts (id INT AUTO_INCREMENT PRIMARY KEY, name TEXT);
CREATE TABLE parts_log (id INT, said TEXT);
SET sql_mode = 'NO_AUTO_VALUE_ON_ZERO';
INSERT INTO parts VALUES (0, 'zero'), (1, 'one');
SET sql_mode = DEFAULT;
DELIMITER ;;
CREATE TRIGGER parts_said AFTER INSERT ON parts FOR EACH ROW
BEGIN
  INSERT INTO parts_log VALUES (NEW.id, 'added; logged');
END;;
CREATE PROCEDURE add_part(IN n TEXT)
BEGIN
  DECLARE newest INT;
  INSERT INTO parts (name) VALUES (n);
  SELECT MAX(id) INTO newest FROM parts;
END;;
DELIMITER ;
CALL add_part('two');
CREATE VIEW part_names AS SELECT name FROM parts WHERE name <> ';';
