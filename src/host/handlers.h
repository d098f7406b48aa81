// handlers.h - the request handlers, one per opcode of the opcode table.
#ifndef RORI_HANDLERS_H
#define RORI_HANDLERS_H

struct request;

void op_init(request &rq);        // conn/slots.cpp
void op_shutdown(request &rq);    // conn/slots.cpp
void op_geterror(request &rq);    // host/diag.cpp
void op_newconn(request &rq);     // conn/slots.cpp
void op_connect(request &rq);     // conn/connect.cpp
void op_disconnect(request &rq);  // conn/slots.cpp
void op_info(request &rq);        // info/info_items.cpp
void op_query(request &rq);       // stmt/query.cpp
void op_fields(request &rq);      // stmt/fields.cpp: OP_DESCRIBE and OP_SETFIELDS
void op_fetch(request &rq);       // stmt/fetch.cpp
void op_freestmt(request &rq);    // stmt/query.cpp
void op_connattr(request &rq);    // info/attributes.cpp: get and set
void op_stmtattr(request &rq);    // info/attributes.cpp: get and set
void op_datasources(request &rq); // info/datasources.cpp

#endif
