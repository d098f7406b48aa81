// stmt_checks.cpp - the head that the requests on a slot's result share.
#include "stmt/stmt_checks.h"

#include "conn/slots.h"
#include "host/request.h"

bool has_args_and_statement(request &rq) {
    if (arg_count(rq) < 3) {
        set_status(rq, ST_ARGS);
        return false;
    }
    if (rq.slot->stmt == nullptr) {
        set_status(rq, ST_NOSTMT);
        return false;
    }
    return true;
}
