// stmt_checks.h - the head that the requests on a slot's result share.
#ifndef RORI_STMT_CHECKS_H
#define RORI_STMT_CHECKS_H

struct request;

// True when the request has at least 3 arguments and its slot a statement;
// otherwise sets ST_ARGS or ST_NOSTMT and returns false.
bool has_args_and_statement(request &rq);

#endif
