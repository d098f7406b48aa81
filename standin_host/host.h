// host.h - a small stand-in for the host application.
//
// The library is called by a host that keeps program variables, builds a
// parameter block (call_params) for each request and serves five host
// services. The real host is not available here, so tests and the command
// line tools use this one. It keeps variables of every type and flag, can
// build any request, well-formed or not, and surrounds every data area it
// hands the library with guard bytes so that a stray write is caught.
//
// Conversions chosen by this host (the library leaves them to the host):
// - HS_GETNUM: an integer (or binary) variable gives its value cut to 32 bits; a float
//   gives its value truncated toward zero; a text (or raw) variable gives the
//   decimal number at its start (strtol, base 10), 0 when there is none.
//   For element e of a fixed array (argno e * 256 + k) the same is read
//   from that element's bytes: an integer (or binary) element is an 8-byte
//   little-endian integer (shorter elements give their bytes, sign-
//   extended), a float element an 8-byte double. An element past the area
//   answers -1 and is counted in host_call::bad_requests; an element of a
//   dynamic array gives the decimal number at its start.
// - HS_GETSTR: a text or raw variable gives its bytes up to the first NUL;
//   an integer or float gives its decimal form. At most len - 1 bytes and a
//   NUL are written.
// - HS_PUTNUM: an integer variable stores the 64-bit value; a float stores
//   it converted to double; a text variable stores its decimal form (as
//   HS_PUTSTR would); raw and binary variables store the 8 little-endian
//   bytes, cut to the area's size.
// - HS_PUTSTR into a scalar variable copies the bytes (count, or up to the
//   NUL for -1) and adds a NUL when room is left; a dynamic variable grows
//   to fit first, a fixed one keeps what fits. Into element e of an array
//   (argno e * 256 + k) the bytes become that element's value; dynamic
//   arrays keep their elements outside the data area, one string each, and
//   any element number from 1 up is accepted.
// - HS_RESIZE works on dynamic variables only: a new area of the requested
//   size replaces the old one (its content copied, the rest filled with
//   0xCD so that a reader of unwritten bytes is noticed), and the argument's
//   descriptor is updated. A fixed variable answers 1 and keeps its area.
// - An argument number beyond the request's arguments, or an unknown
//   service, answers -1 and is counted in host_call::bad_requests.
#ifndef RORI_HOST_H
#define RORI_HOST_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "roridorezu.h"

// Guard bytes around every data area.
#define HOST_GUARD_SIZE 16
#define HOST_GUARD_BYTE 0xFD
#define HOST_FILL_BYTE 0xCD

// A block of memory handed to the library, with guard bytes on both sides.
class guarded_area {
public:
    explicit guarded_area(size_t size = 0);
    ~guarded_area();
    guarded_area(const guarded_area &) = delete;
    guarded_area &operator=(const guarded_area &) = delete;
    guarded_area(guarded_area &&other) noexcept;

    uint8_t *data() { return block_ + HOST_GUARD_SIZE; }
    const uint8_t *data() const { return block_ + HOST_GUARD_SIZE; }
    size_t size() const { return size_; }
    bool guards_intact() const;
    void resize(size_t new_size, uint8_t fill); // keeps the content

private:
    uint8_t *block_;
    size_t size_;
};

// One program variable.
class host_var {
public:
    // type_flags: HV_* type in the low 4 bits, ARG_ARRAY / ARG_DYNAMIC flags.
    host_var(uint16_t type_flags, size_t size);

    static host_var text(const std::string &value, size_t size = 0, bool dynamic = false);
    static host_var integer(int64_t value);
    static host_var real(double value);
    static host_var raw(size_t size, uint16_t type_flags = 0);
    // Array of `count` fixed elements of `element_size` bytes each.
    static host_var array(size_t element_size, size_t count);
    static host_var dynamic_array();
    // Array of `count` integer elements of 8 bytes each.
    static host_var int_array(size_t count);

    uint16_t type_flags;
    int32_t declared_size; // what the descriptor says; starts as the area size
    guarded_area area;
    std::vector<std::string> elements; // dynamic array elements, from 1
    int putstr_result = 0;             // what HS_PUTSTR answers (0: stored)
    int resize_result = 0;             // what HS_RESIZE answers for a dynamic variable
    std::vector<size_t> resizes;       // every size requested by HS_RESIZE
    std::vector<int64_t> putnums;      // every value stored by HS_PUTNUM
    bool old_area_guards_intact = true; // guards of areas left behind by resizes

    int type() const { return type_flags & HV_TYPE_MASK; }
    bool is_dynamic() const { return (type_flags & ARG_DYNAMIC) != 0; }
    bool is_array() const { return (type_flags & ARG_ARRAY) != 0; }

    // Readers for tests and tools.
    std::string text_value() const;             // bytes up to the first NUL
    std::string bytes(size_t n) const;          // the first n bytes of the area
    std::string element(size_t k) const;        // fixed or dynamic element k (from 1), to its NUL
    int64_t int_value() const;
    double real_value() const;
    void set_text(const std::string &value);    // writes value and NUL, within the area
    // Writes element k (from 1) of a fixed array: the bytes, the rest of the
    // element zero.
    void set_element(size_t k, const std::string &bytes);
    void set_element_int(size_t k, int64_t value);
    void set_int(int64_t value);
    void fill(uint8_t byte);
    bool guards_intact() const { return area.guards_intact() && old_area_guards_intact; }

    // Stored for an integer variable: 8 bytes, little-endian int64.
    static const size_t integer_size = 8;
};

// Readable view of a status block variable.
struct status_view {
    host_var &v;
    uint8_t slot() const;
    void set_slot(uint8_t s);
    int16_t subcode() const;
    void set_subcode(int16_t c);
    int32_t param_plain() const;
    void set_param_plain(int32_t p);
    void set_param_swapped(int32_t p);
    double rowpos() const;
    void set_rowpos(double r);
    int16_t opcode() const;
    int16_t status() const;
    int32_t native() const; // word-swapped at +20
    void set_native_raw(uint32_t raw);
    int32_t result() const; // word-swapped at +24
    double rowcount() const;
    void set_rowcount(double d);
    std::string sqlstate() const;
};

// One request: argument 1 is the opcode, argument 2 the status block.
class host_call {
public:
    host_call(host_var &opcode, host_var &status, std::vector<host_var *> operands = {});
    ~host_call();
    host_call(const host_call &) = delete;
    host_call &operator=(const host_call &) = delete;

    int32_t argc_override = -1; // >= 0: put this count at call_params +0
    int bad_requests = 0;       // services the host could not serve
    int service_calls[7] = {};  // count per service number 1..6
    // Called at the start of every service of this call, before it is
    // served: a host that handles an event inside a service, and may call
    // the library again from there.
    void (*during_service)(int service, int argno, void *context) = nullptr;
    void *service_context = nullptr;

    // Calls the entry point once. The descriptors are rebuilt from the
    // variables before the call, so variables may change between calls.
    int run(vizori_fn entry);
    bool guards_intact() const;

    // Used by the service function.
    host_var *var_for(int argno, int *element);
    void refresh_descriptor(int k);

private:
    std::vector<host_var *> args_; // args_[0] is argument 1
    guarded_area params_;
};

// The service function that host_call passes to the library.
int RORI_CDECL host_service(int service, void *p, int argno, int a, int b, void *ptr, int len);

#endif
