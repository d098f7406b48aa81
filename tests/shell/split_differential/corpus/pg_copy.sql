CREATE TABLE c (id int, name text);
COPY c FROM STDIN;
1	one
2	two; DELETE FROM c;
\.
SELECT count(*) FROM c;
COPY c TO STDOUT;
COPY (SELECT 'FROM STDIN') TO STDOUT WITH (FORMAT csv);
copy c (id, name) from stdin with (format csv);
3,three
\.
SELECT 'after';
