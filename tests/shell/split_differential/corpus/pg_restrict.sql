--
-- PostgreSQL database dump, as pg_dump writes it today
--

\restrict Zb8sQ2vT0kNw4Lm

SET statement_timeout = 0;
CREATE TABLE r (a integer, b text);
COPY public.r (a, b) FROM stdin;
1	\N
\N	x; DELETE FROM r;
\.
SELECT count(*) FROM r;

\unrestrict Zb8sQ2vT0kNw4Lm
SELECT 'after';
