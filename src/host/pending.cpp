// pending.cpp - opcodes whose handlers are not written yet answer ST_BADOP.
#include "host/handlers.h"
#include "host/request.h"

void op_info(request &rq) { set_status(rq, ST_BADOP); }
void op_fields(request &rq) { set_status(rq, ST_BADOP); }
void op_fetch(request &rq) { set_status(rq, ST_BADOP); }
void op_connattr(request &rq) { set_status(rq, ST_BADOP); }
void op_stmtattr(request &rq) { set_status(rq, ST_BADOP); }
void op_datasources(request &rq) { set_status(rq, ST_BADOP); }
