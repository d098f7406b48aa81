CREATE TABLE orders (id INT PRIMARY KEY, total INT);
CREATE TABLE archive (id INT, total INT);
INSERT INTO orders VALUES (1, 10), (2, 20), (3, 30);
DELIMITER //
CREATE PROCEDURE archive_orders()
BEGIN
  INSERT INTO archive SELECT * FROM orders;
  DELETE FROM orders;
END //
DELIMITER ;
CALL archive_orders();
SELECT count(*) FROM archive;
delimiter $$
CREATE FUNCTION twice(x INT) RETURNS INT DETERMINISTIC
BEGIN
  DECLARE y INT DEFAULT 0;  -- with ; inside
  SET y = x * 2;
  RETURN y;
END$$
SELECT twice(4)$$ SELECT 'a$$b'$$
DELIMITER ;;
CREATE TRIGGER non_negative BEFORE INSERT ON orders FOR EACH ROW BEGIN IF NEW.total < 0 THEN SET NEW.total = 0; END IF; END;;
DELIMITER END_OF_IT
SELECT 'a;b' END_OF_IT
DELIMITER ;
INSERT INTO orders VALUES (4, -5);
SELECT * FROM orders;
\d //
SELECT 15 //
\d ;
SELECT 16\G
UPDATE orders SET total = 0\g
SELECT 17\g SELECT 18;
