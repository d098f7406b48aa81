// nested_call.h - a host that calls the library again from inside one of
// its services, as a host does that handles an event there. The nested
// call names the running call's slot; what it met is recorded in its probe.
#ifndef RORI_TEST_NESTED_CALL_H
#define RORI_TEST_NESTED_CALL_H

#include "host.h"

struct nested_probe {
    int service;        // the service to call back from
    int argno;          // its argument number; -1: any
    int slot;           // the running call's slot, named by the nested call
    int nested_opcode;  // what the nested call asks for
    unsigned long (*odbc_calls)() = nullptr; // a count of ODBC calls, where one is kept
    int calls = 0;      // nested calls made: one, at the first matching service
    int rc = -1;        // what the nested call returned
    bool status_untouched = false; // its status block and operand as they were
    int services_used = 0;         // host services the nested call asked for
    unsigned long odbc_calls_made = 0;
};

// Makes `call` call back in as the probe says.
void call_back_in_during(host_call &call, nested_probe &probe);

#endif
