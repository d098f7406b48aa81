// host.cpp - the stand-in host: variables with guarded areas, the parameter
// block, and the five host services.
#include "host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

// --- guarded_area ----------------------------------------------------------

guarded_area::guarded_area(size_t size) : size_(size) {
    block_ = static_cast<uint8_t *>(std::malloc(size + 2 * HOST_GUARD_SIZE));
    if (block_ == nullptr) std::abort();
    std::memset(block_, HOST_GUARD_BYTE, HOST_GUARD_SIZE);
    std::memset(block_ + HOST_GUARD_SIZE, 0, size);
    std::memset(block_ + HOST_GUARD_SIZE + size, HOST_GUARD_BYTE, HOST_GUARD_SIZE);
}

guarded_area::guarded_area(guarded_area &&other) noexcept : block_(other.block_), size_(other.size_) {
    other.block_ = nullptr;
    other.size_ = 0;
}

guarded_area::~guarded_area() { std::free(block_); }

static bool all_bytes(const uint8_t *p, size_t n, uint8_t b) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] != b) return false;
    return true;
}

bool guarded_area::guards_intact() const {
    if (block_ == nullptr) return true;
    return all_bytes(block_, HOST_GUARD_SIZE, HOST_GUARD_BYTE) &&
           all_bytes(block_ + HOST_GUARD_SIZE + size_, HOST_GUARD_SIZE, HOST_GUARD_BYTE);
}

void guarded_area::resize(size_t new_size, uint8_t fill) {
    guarded_area grown(new_size);
    std::memset(grown.data(), fill, new_size);
    std::memcpy(grown.data(), data(), size_ < new_size ? size_ : new_size);
    std::swap(block_, grown.block_);
    std::swap(size_, grown.size_);
}

// --- host_var --------------------------------------------------------------

host_var::host_var(uint16_t flags, size_t size)
    : type_flags(flags), declared_size(static_cast<int32_t>(size)), area(size) {}

host_var host_var::text(const std::string &value, size_t size, bool dynamic) {
    if (size == 0) size = value.size() + 1;
    host_var v(HV_TEXT | (dynamic ? ARG_DYNAMIC : 0), size);
    v.set_text(value);
    return v;
}

host_var host_var::integer(int64_t value) {
    host_var v(HV_INTEGER, integer_size);
    v.set_int(value);
    return v;
}

host_var host_var::real(double value) {
    host_var v(HV_FLOAT, sizeof(double));
    std::memcpy(v.area.data(), &value, sizeof value);
    return v;
}

host_var host_var::raw(size_t size, uint16_t flags) { return host_var(flags, size); }

host_var host_var::array(size_t element_size, size_t count) {
    host_var v(HV_TEXT | ARG_ARRAY, element_size * count);
    v.declared_size = static_cast<int32_t>(element_size); // the descriptor gives one element's size
    return v;
}

host_var host_var::int_array(size_t count) {
    host_var v(HV_INTEGER | ARG_ARRAY, integer_size * count);
    v.declared_size = static_cast<int32_t>(integer_size);
    return v;
}

host_var host_var::dynamic_array() { return host_var(HV_TEXT | ARG_ARRAY | ARG_DYNAMIC, 0); }

std::string host_var::text_value() const {
    const char *p = reinterpret_cast<const char *>(area.data());
    size_t n = 0;
    while (n < area.size() && p[n] != '\0') ++n;
    return std::string(p, n);
}

std::string host_var::bytes(size_t n) const {
    if (n > area.size()) n = area.size();
    return std::string(reinterpret_cast<const char *>(area.data()), n);
}

std::string host_var::element(size_t k) const {
    if (is_dynamic()) return k >= 1 && k <= elements.size() ? elements[k - 1] : std::string();
    size_t s = static_cast<size_t>(declared_size);
    if (k < 1 || s == 0 || k * s > area.size()) return std::string();
    const char *p = reinterpret_cast<const char *>(area.data()) + (k - 1) * s;
    size_t n = 0;
    while (n < s && p[n] != '\0') ++n;
    return std::string(p, n);
}

void host_var::set_element(size_t k, const std::string &bytes) {
    size_t s = static_cast<size_t>(declared_size);
    if (k < 1 || s == 0 || k * s > area.size()) return;
    uint8_t *e = area.data() + (k - 1) * s;
    std::memset(e, 0, s);
    std::memcpy(e, bytes.data(), bytes.size() < s ? bytes.size() : s);
}

void host_var::set_element_int(size_t k, int64_t value) {
    set_element(k, std::string(reinterpret_cast<const char *>(&value), sizeof value));
}

int64_t host_var::int_value() const {
    int64_t v = 0;
    std::memcpy(&v, area.data(), area.size() < sizeof v ? area.size() : sizeof v);
    return v;
}

double host_var::real_value() const {
    double d = 0;
    if (area.size() >= sizeof d) std::memcpy(&d, area.data(), sizeof d);
    return d;
}

void host_var::set_text(const std::string &value) {
    size_t n = value.size() < area.size() ? value.size() : area.size();
    std::memcpy(area.data(), value.data(), n);
    if (n < area.size()) area.data()[n] = 0;
}

void host_var::set_int(int64_t value) {
    std::memcpy(area.data(), &value, area.size() < sizeof value ? area.size() : sizeof value);
}

void host_var::fill(uint8_t byte) { std::memset(area.data(), byte, area.size()); }

// --- status_view -----------------------------------------------------------

static uint32_t swap_words(uint32_t x) { return (x << 16) | (x >> 16); }

template <typename T> static T peek(const host_var &v, size_t off) {
    T x{};
    if (off + sizeof x <= v.area.size()) std::memcpy(&x, v.area.data() + off, sizeof x);
    return x;
}
template <typename T> static void poke(host_var &v, size_t off, T x) {
    if (off + sizeof x <= v.area.size()) std::memcpy(v.area.data() + off, &x, sizeof x);
}

uint8_t status_view::slot() const { return peek<uint8_t>(v, SS_SLOT); }
void status_view::set_slot(uint8_t s) { poke(v, SS_SLOT, s); }
int16_t status_view::subcode() const { return peek<int16_t>(v, SS_SUBCODE); }
void status_view::set_subcode(int16_t c) { poke(v, SS_SUBCODE, c); }
int32_t status_view::param_plain() const { return peek<int32_t>(v, SS_PARAM); }
void status_view::set_param_plain(int32_t p) { poke(v, SS_PARAM, p); }
void status_view::set_param_swapped(int32_t p) { poke(v, SS_PARAM, swap_words(static_cast<uint32_t>(p))); }
double status_view::rowpos() const { return peek<double>(v, SS_ROWPOS); }
void status_view::set_rowpos(double r) { poke(v, SS_ROWPOS, r); }
int16_t status_view::opcode() const { return peek<int16_t>(v, SS_OPCODE); }
int16_t status_view::status() const { return peek<int16_t>(v, SS_STATUS); }
int32_t status_view::native() const {
    return static_cast<int32_t>(swap_words(peek<uint32_t>(v, SS_NATIVE)));
}
void status_view::set_native_raw(uint32_t raw) { poke(v, SS_NATIVE, raw); }
int32_t status_view::result() const {
    return static_cast<int32_t>(swap_words(peek<uint32_t>(v, SS_RESULT)));
}
double status_view::rowcount() const { return peek<double>(v, SS_ROWCOUNT); }
void status_view::set_rowcount(double d) { poke(v, SS_ROWCOUNT, d); }
std::string status_view::sqlstate() const {
    if (v.area.size() < SS_SQLSTATE + 6) return std::string();
    const char *p = reinterpret_cast<const char *>(v.area.data() + SS_SQLSTATE);
    size_t n = 0;
    while (n < 6 && p[n] != '\0') ++n;
    return std::string(p, n);
}

// --- host_call -------------------------------------------------------------

host_call::host_call(host_var &opcode, host_var &status, std::vector<host_var *> operands)
    : params_(static_cast<size_t>(ARG_DESC_SIZE) * (operands.size() + 3)) {
    args_.push_back(&opcode);
    args_.push_back(&status);
    for (host_var *v : operands) args_.push_back(v);
}

host_call::~host_call() = default;

void host_call::refresh_descriptor(int k) {
    host_var *v = args_[static_cast<size_t>(k - 1)];
    uint8_t *d = params_.data() + CP_ARG(k);
    uint32_t addr = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(v->area.data()));
    std::memcpy(d + AD_FLAGS, &v->type_flags, 2);
    std::memcpy(d + AD_ADDR, &addr, 4);
    std::memcpy(d + AD_SIZE, &v->declared_size, 4);
}

int host_call::run(vizori_fn entry) {
    int32_t argc = argc_override >= 0 ? argc_override : static_cast<int32_t>(args_.size());
    std::memcpy(params_.data() + CP_ARGC, &argc, 4);
    host_call *self = this; // +4 is not read by the library: it leads back to this call
    std::memcpy(params_.data() + 4, &self, sizeof self);
    for (size_t k = 1; k <= args_.size(); ++k) refresh_descriptor(static_cast<int>(k));
    return entry(params_.data(), host_service);
}

bool host_call::guards_intact() const {
    if (!params_.guards_intact()) return false;
    for (const host_var *v : args_)
        if (!v->guards_intact()) return false;
    return true;
}

host_var *host_call::var_for(int argno, int *element) {
    int k = argno % 256;
    *element = argno / 256;
    if (argno < 1 || k < 1 || static_cast<size_t>(k) > args_.size()) return nullptr;
    return args_[static_cast<size_t>(k - 1)];
}

// --- host services ---------------------------------------------------------

static std::string decimal(int64_t x) { return std::to_string(static_cast<long long>(x)); }

static int32_t number_from_bytes(int type, const uint8_t *p, size_t n) {
    switch (type) {
    case HV_INTEGER:
    case HV_BINARY: {
        int64_t x = n > 0 && n < 8 && (p[n - 1] & 0x80) ? -1 : 0; // sign-extended
        std::memcpy(&x, p, n < 8 ? n : 8);
        return static_cast<int32_t>(x);
    }
    case HV_FLOAT: {
        double d = 0;
        if (n >= sizeof d) std::memcpy(&d, p, sizeof d);
        return static_cast<int32_t>(d);
    }
    default: {
        std::string text(reinterpret_cast<const char *>(p), strnlen(reinterpret_cast<const char *>(p), n));
        return static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10));
    }
    }
}

static int32_t service_getnum(host_call &c, const host_var &v, int element) {
    if (element == 0) {
        if (v.type() == HV_INTEGER) return static_cast<int32_t>(v.int_value());
        return number_from_bytes(v.type(), v.area.data(), v.area.size());
    }
    if (v.is_dynamic()) return static_cast<int32_t>(std::strtol(v.element(static_cast<size_t>(element)).c_str(), nullptr, 10));
    size_t s = static_cast<size_t>(v.declared_size);
    if (s == 0 || static_cast<size_t>(element) * s > v.area.size()) {
        c.bad_requests++;
        return -1;
    }
    return number_from_bytes(v.type(), v.area.data() + static_cast<size_t>(element - 1) * s, s);
}

static void service_getstr(const host_var &v, char *buf, int len) {
    if (buf == nullptr || len < 1) return;
    std::string s;
    switch (v.type()) {
    case HV_INTEGER: s = decimal(v.int_value()); break;
    case HV_FLOAT: {
        char tmp[64];
        std::snprintf(tmp, sizeof tmp, "%.17g", v.real_value());
        s = tmp;
        break;
    }
    default: s = v.text_value();
    }
    size_t n = s.size() < static_cast<size_t>(len - 1) ? s.size() : static_cast<size_t>(len - 1);
    std::memcpy(buf, s.data(), n);
    buf[n] = '\0';
}

static int store_scalar(host_call &c, int k, host_var &v, const char *bytes, size_t n) {
    if (v.is_dynamic() && n + 1 > v.area.size()) {
        v.old_area_guards_intact = v.old_area_guards_intact && v.area.guards_intact();
        v.area.resize(n + 1, 0);
        v.declared_size = static_cast<int32_t>(n + 1);
        c.refresh_descriptor(k);
    }
    size_t room = v.area.size();
    size_t m = n < room ? n : room;
    std::memcpy(v.area.data(), bytes, m);
    if (m < room) v.area.data()[m] = 0;
    return 0;
}

static int service_putstr(host_call &c, int argno, host_var &v, int element, const char *bytes, int count) {
    if (v.putstr_result != 0) return v.putstr_result;
    size_t n = bytes == nullptr ? 0 : count >= 0 ? static_cast<size_t>(count) : std::strlen(bytes);
    if (bytes == nullptr) bytes = "";
    if (element == 0) return store_scalar(c, argno % 256, v, bytes, n);
    if (v.is_dynamic()) {
        // Assigned in place: an element keeps its capacity from row to row.
        if (v.elements.size() < static_cast<size_t>(element)) v.elements.resize(static_cast<size_t>(element));
        v.elements[static_cast<size_t>(element - 1)].assign(bytes, n);
        return 0;
    }
    size_t s = static_cast<size_t>(v.declared_size);
    if (s == 0 || static_cast<size_t>(element) * s > v.area.size()) return 1;
    uint8_t *e = v.area.data() + static_cast<size_t>(element - 1) * s;
    size_t m = n < s ? n : s;
    std::memcpy(e, bytes, m);
    if (m < s) e[m] = 0;
    return 0;
}

static int service_resize(host_call &c, int argno, host_var &v, int new_size) {
    v.resizes.push_back(static_cast<size_t>(new_size));
    if (!v.is_dynamic() || new_size < 0) return 1;
    if (v.resize_result != 0) return v.resize_result;
    v.old_area_guards_intact = v.old_area_guards_intact && v.area.guards_intact();
    v.area.resize(static_cast<size_t>(new_size), HOST_FILL_BYTE);
    v.declared_size = new_size;
    c.refresh_descriptor(argno % 256);
    return 0;
}

static void service_putnum(host_call &c, int argno, host_var &v, int64_t value) {
    v.putnums.push_back(value);
    switch (v.type()) {
    case HV_INTEGER: v.set_int(value); break;
    case HV_FLOAT: {
        double d = static_cast<double>(value);
        if (v.area.size() >= sizeof d) std::memcpy(v.area.data(), &d, sizeof d);
        break;
    }
    case HV_TEXT: {
        std::string s = decimal(value);
        store_scalar(c, argno % 256, v, s.data(), s.size());
        break;
    }
    default: v.set_int(value);
    }
}

// The services that allocate. A host that runs out of memory answers with a
// failed service, as the library expects, rather than letting an exception
// pass through the library's frames.
static int storing_service(int service, host_call &c, int argno, host_var &v, int element, void *ptr, int len) {
    try {
        if (service == HS_RESIZE) return service_resize(c, argno, v, len);
        return service_putstr(c, argno, v, element, static_cast<const char *>(ptr), len);
    } catch (const std::bad_alloc &) {
        return 1;
    }
}

int RORI_CDECL host_service(int service, void *p, int argno, int a, int b, void *ptr, int len) {
    host_call *c = nullptr;
    std::memcpy(&c, static_cast<uint8_t *>(p) + 4, sizeof c);
    if (service >= 1 && service <= 6) c->service_calls[service]++;
    if (c->during_service != nullptr) c->during_service(service, argno, c->service_context);
    int element = 0;
    host_var *v = c->var_for(argno, &element);
    if (v == nullptr) {
        c->bad_requests++;
        return -1;
    }
    switch (service) {
    case HS_GETNUM: return service_getnum(*c, *v, element);
    case HS_GETSTR: service_getstr(*v, static_cast<char *>(ptr), len); return 0;
    case HS_PUTSTR:
    case HS_RESIZE: return storing_service(service, *c, argno, *v, element, ptr, len);
    case HS_PUTNUM: {
        uint64_t u = (static_cast<uint64_t>(static_cast<uint32_t>(b)) << 32) | static_cast<uint32_t>(a);
        service_putnum(*c, argno, *v, static_cast<int64_t>(u));
        return 0;
    }
    default: c->bad_requests++; return -1;
    }
}
