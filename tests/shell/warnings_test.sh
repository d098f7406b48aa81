#!/usr/bin/env bash
# warnings_test.sh - with the mariadb client's \W a MariaDB insert that
# truncates a value shows its warning, as the client shows it; \w stops.
. "$(dirname "$0")/lib.sh"
use_servers

cat >warnings.sql <<'IN'
SET sql_mode = '';
CREATE TEMPORARY TABLE w (code VARCHAR(3));
INSERT INTO w VALUES ('ABCDEF');
\W
INSERT INTO w VALUES ('ABCDEF');
\w
INSERT INTO w VALUES ('ABCDEF');
IN
expect "with \\W a MariaDB insert that truncates shows its warning; \\w stops it" \
  "$(run_shell -host=maria "-user=$RORI_DB_USER" "-pw=$RORI_DB_PASSWORD" -f warnings.sql | sed 1d)" <<'OUT'
0 rows affected
0 rows affected
1 row affected
Show warnings enabled.
1 row affected
Warning (Code 1265): Data truncated for column 'code' at row 1
Show warnings disabled.
1 row affected
[exit 0]
OUT

finish
