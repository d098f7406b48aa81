// fetch_bench.cpp - the fetch benchmark. In one process, on tables it
// generates in a SQLite data source, it times the raw ODBC loop and the
// library's OP_QUERY + OP_FETCH in each form over the same result, counts
// the library's heap requests in every fetch loop, and times a connect with
// a form-3 password against a plain one and OP_DESCRIBE of 31 columns. On
// Linux it also counts the instructions of each fetch loop with callgrind,
// measures the peak memory of a large fetch against a small one (both in
// child runs of itself) and, in the full run, times the same fetch with
// isql and pyodbc.
//
// Usage: fetch_bench [--smoke] [--tsv FILE]
//   --smoke   tiny sizes, one run each: shows that every part still works
//   --tsv     also writes one line per form and table, for the plot
// The child run (peak memory; also handy under a profiler) is:
//   fetch_bench --child TABLE FORM CACHE_KIB
// (FORM: raw-typed, variables, line, ...; CACHE_KIB 0: SQLite's own size).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "bench_library.h"
#include "bench_odbc.h"
#include "scramble.h"

#if !defined(_WIN32)
#include "bench_outside.h"
#endif

#if defined(_WIN32)
#define PLATFORM "windows-wine"
#else
#define PLATFORM "linux"
#endif

// --- tables ----------------------------------------------------------------

struct column_def {
    std::string decl;   // as in CREATE TABLE
    std::string value;  // SQL expression of the row number x
    column_shape shape; // how the variable form reads it
};

struct table_def {
    std::string name;
    std::string label;
    long rows;
    int repeats; // 0: made for the peak memory runs only
    std::vector<column_def> columns;
};

// Integer, real, 20-character text, 200-character text (read as bytes by
// the variable form).
static std::vector<column_def> four_columns() {
    return {{"i INTEGER", "x", {READ_INTEGER, 0}},
            {"r REAL", "x * 0.25", {READ_REAL, 0}},
            {"s VARCHAR(20)", "printf('%020d', x)", {READ_TEXT, 20}},
            {"b VARCHAR(200)", "printf('%0200d', x)", {READ_BYTES, 200}}};
}

// One text of `length` characters: the row number in 7 digits, then x's.
static std::vector<column_def> long_column(int32_t length) {
    return {{"v VARCHAR(" + std::to_string(length) + ")",
             "printf('%07d', x) || printf('%.*c', " + std::to_string(length - 7) + ", 'x')",
             {READ_TEXT, length}}};
}

static std::string rows_label(long rows, const char *what) { return std::to_string(rows) + " rows, " + what; }

static table_def four_column_table(const char *name, long rows, int repeats) {
    return {name, rows_label(rows, "4 columns"), rows, repeats, four_columns()};
}

static table_def long_value_table(const char *name, long rows, int32_t length, int repeats) {
    return {name, rows_label(rows, (std::to_string(length) + "-byte value").c_str()), rows, repeats,
            long_column(length)};
}

static void make_table(odbc_connection &c, const table_def &t) {
    std::string decls, values;
    for (const column_def &col : t.columns) {
        decls += (decls.empty() ? "" : ", ") + col.decl;
        values += (values.empty() ? "" : ", ") + col.value;
    }
    c.exec("CREATE TABLE " + t.name + " (" + decls + ")");
    c.exec("INSERT INTO " + t.name + " WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < " +
           std::to_string(t.rows) + ") SELECT " + values + " FROM n");
}

// 31 columns of the four kinds, one row: the result that OP_DESCRIBE reads.
static const char *WIDE_TABLE = "w31";
static void make_wide_table(odbc_connection &c) {
    std::vector<column_def> kinds = four_columns();
    std::string decls, values;
    for (int k = 0; k < 31; ++k) {
        const column_def &kind = kinds[static_cast<size_t>(k) % kinds.size()];
        decls += (k ? ", c" : "c") + std::to_string(k + 1) + kind.decl.substr(kind.decl.find(' '));
        values += (k ? ", " : "") + kind.value;
    }
    c.exec("CREATE TABLE " + std::string(WIDE_TABLE) + " (" + decls + ")");
    c.exec("INSERT INTO " + std::string(WIDE_TABLE) + " SELECT " + values + " FROM (SELECT 1 AS x)");
}

static std::vector<column_shape> shapes_of(const table_def &t) {
    std::vector<column_shape> shapes;
    for (const column_def &c : t.columns) shapes.push_back(c.shape);
    return shapes;
}

static std::string select_all(const table_def &t) { return "SELECT * FROM " + t.name; }

// --- the ways of fetching ----------------------------------------------------

enum way_kind { RAW_TYPED, RAW_TEXT, LIBRARY };

struct way {
    const char *name; // printed
    const char *key;  // in the TSV file and the plot
    way_kind kind;
    fetch_form form; // LIBRARY only
    int baseline;    // the raw way it is compared with; -1 for the raw ways
};

// The variable form reads the C types of the typed loop; the line and
// array forms read text, like the text loop.
static const way ways[] = {
    {"raw ODBC, typed", "raw-typed", RAW_TYPED, FORM_VARIABLES, -1},
    {"raw ODBC, text", "raw-text", RAW_TEXT, FORM_VARIABLES, -1},
    {"variables", "variables", LIBRARY, FORM_VARIABLES, 0},
    {"line", "line", LIBRARY, FORM_LINE, 1},
    {"array, fixed", "array-fixed", LIBRARY, FORM_ARRAY_FIXED, 1},
    {"array, dynamic", "array-dynamic", LIBRARY, FORM_ARRAY_DYNAMIC, 1},
};
static const size_t WAY_COUNT = sizeof ways / sizeof ways[0];

static SQLSMALLINT c_type_of(const column_shape &c) {
    switch (c.read) {
    case READ_INTEGER: return SQL_C_SLONG;
    case READ_REAL: return SQL_C_DOUBLE;
    case READ_TEXT: return SQL_C_CHAR;
    case READ_BYTES: break;
    }
    return SQL_C_BINARY;
}

// The raw loop reads every value into one buffer, as large as the
// library's first scratch buffer or the longest value.
static long raw_way(odbc_connection &c, way_kind kind, const table_def &t) {
    std::vector<SQLSMALLINT> types;
    int32_t longest = 0;
    for (const column_def &col : t.columns) {
        types.push_back(kind == RAW_TYPED ? c_type_of(col.shape) : SQL_C_CHAR);
        longest = std::max(longest, col.shape.longest);
    }
    std::vector<char> buffer(static_cast<size_t>(std::max(4096, longest + 1)));
    return raw_fetch(c, select_all(t), types, buffer);
}

struct bench_run {
    odbc_connection &odbc;
    library_session &lib;
    int slot;
    FILE *tsv;
};

struct sample {
    double seconds;     // wall clock
    double cpu;         // processor time; negative: not measured
    long heap_requests; // -1: not countable
};

static sample run_way(bench_run &run, const way &w, const table_def &t) {
    double start = clock_seconds(), cpu_start = cpu_seconds();
    fetch_outcome out{0, -1};
    if (w.kind == LIBRARY)
        out = library_fetch(run.lib, run.slot, select_all(t), w.form, shapes_of(t));
    else
        out.rows = raw_way(run.odbc, w.kind, t);
    double seconds = clock_seconds() - start, cpu = cpu_start < 0 ? -1.0 : cpu_seconds() - cpu_start;
    if (out.rows != t.rows) {
        std::fprintf(stderr, "%s over %s: %ld rows instead of %ld\n", w.name, t.name.c_str(), out.rows, t.rows);
        std::exit(1);
    }
    return {seconds, cpu, out.heap_requests};
}

// --- figures -----------------------------------------------------------------

static double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// (max - min) / median, in percent.
static double spread_percent(const std::vector<double> &v) {
    auto mm = std::minmax_element(v.begin(), v.end());
    return 100.0 * (*mm.second - *mm.first) / median(v);
}

static std::vector<double> seconds_of(const std::vector<sample> &s, double sample::*clock) {
    std::vector<double> v;
    for (const sample &x : s) v.push_back(x.*clock);
    return v;
}

// "0" or "1,0,0": the library's heap requests of each loop.
static std::string heap_list(const std::vector<sample> &s) {
    std::string list;
    for (const sample &x : s) list += (list.empty() ? "" : ",") + std::to_string(x.heap_requests);
    return list;
}

static long heap_max(const std::vector<sample> &s) {
    long m = 0;
    for (const sample &x : s) m = std::max(m, x.heap_requests);
    return m;
}

// "0.1234", or "n/a" for a clock that was not read.
static std::string fixed4(double x) {
    char text[32] = "n/a";
    if (x >= 0) std::snprintf(text, sizeof text, "%.4f", x);
    return text;
}

// "1.234", or "-" where there is no ratio.
static std::string ratio_text(double x, bool has) {
    char text[32] = "-";
    if (has && x >= 0) std::snprintf(text, sizeof text, "%.3f", x);
    return text;
}

// The figures of one way over one table.
struct way_figures {
    double wall, best, cpu; // median wall clock, fastest wall clock, median processor time
    double spread;          // of the wall clock, in percent
};

static way_figures figures_of(const std::vector<sample> &s) {
    std::vector<double> wall = seconds_of(s, &sample::seconds);
    return {median(wall), *std::min_element(wall.begin(), wall.end()), median(seconds_of(s, &sample::cpu)),
            spread_percent(wall)};
}

// Times every way over the table, the ways taking turns in each round so
// that a change in the machine's load falls on all of them alike; prints
// per way the median wall clock and its spread, the fastest run, the median
// processor time, each against the way's raw loop, and the heap requests.
// Returns the median seconds per way.
static std::vector<double> measure_table(bench_run &run, const table_def &t) {
    raw_way(run.odbc, RAW_TEXT, t); // warms the database file's pages
    std::vector<std::vector<sample>> samples(WAY_COUNT);
    for (int r = 0; r < t.repeats; ++r)
        for (size_t w = 0; w < WAY_COUNT; ++w) samples[w].push_back(run_way(run, ways[w], t));

    std::vector<way_figures> f;
    for (const std::vector<sample> &s : samples) f.push_back(figures_of(s));
    std::printf("\n%s (%s, %d run%s)\n", t.label.c_str(), t.name.c_str(), t.repeats, t.repeats == 1 ? "" : "s");
    std::printf("  %-16s %8s %7s %9s %6s | %8s %6s | %8s %6s | %10s  %s\n", "form", "median s", "spread", "rows/s",
                "x raw", "best s", "x raw", "cpu s", "x raw", "heap/row", "heap requests per loop");
    std::vector<double> medians;
    for (size_t w = 0; w < WAY_COUNT; ++w) {
        const way &wy = ways[w];
        const way_figures &x = f[w], &raw = f[wy.baseline >= 0 ? static_cast<size_t>(wy.baseline) : w];
        bool compared = wy.baseline >= 0, counted = wy.kind == LIBRARY && samples[w][0].heap_requests >= 0;
        double rate = static_cast<double>(t.rows) / x.wall;
        double cpu_ratio = x.cpu >= 0 ? x.cpu / raw.cpu : -1.0;
        char per_row[32] = "-";
        if (counted)
            std::snprintf(per_row, sizeof per_row, "%.6f",
                          static_cast<double>(heap_max(samples[w])) / static_cast<double>(t.rows));
        std::printf("  %-16s %8.4f %6.1f%% %9.0f %6s | %8.4f %6s | %8s %6s | %10s  %s\n", wy.name, x.wall, x.spread,
                    rate, ratio_text(x.wall / raw.wall, compared).c_str(), x.best,
                    ratio_text(x.best / raw.best, compared).c_str(), fixed4(x.cpu).c_str(),
                    ratio_text(cpu_ratio, compared).c_str(), per_row,
                    counted ? heap_list(samples[w]).c_str() : (wy.kind == LIBRARY ? "n/a" : "-"));
        if (run.tsv)
            std::fprintf(run.tsv, "%s\t%s\t%ld\t%d\t%s\t%.6f\t%.1f\t%.4f\t%.6f\t%.4f\t%.6f\t%.4f\t%s\n", PLATFORM,
                         t.name.c_str(), t.rows, static_cast<int>(t.columns.size()), wy.key, x.wall, rate,
                         x.wall / raw.wall, x.best, x.best / raw.best, x.cpu, cpu_ratio, per_row);
        medians.push_back(x.wall);
    }
    std::fflush(stdout);
    return medians;
}

static void measure_connect(library_session &lib, int times) {
    const connect_setting plain[] = {{"host", BENCH_DSN, 0}, {"user", "benchuser", 0}, {"pw", "bench-secret", 0}};
    const connect_setting form3[] = {{"host", BENCH_DSN, 0}, {"user", "benchuser", 0}, {"pw", "bench-secret", 3}};
    char plain_text[512], form3_text[512];
    if (scramble_connect(plain, 3, plain_text, sizeof plain_text) != SCRAMBLE_OK ||
        scramble_connect(form3, 3, form3_text, sizeof form3_text) != SCRAMBLE_OK) {
        std::fprintf(stderr, "the connect texts could not be written\n");
        std::exit(1);
    }
    std::vector<double> a, b;
    for (int i = 0; i < times; ++i) {
        a.push_back(lib.timed_connect(plain_text));
        b.push_back(lib.timed_connect(form3_text));
    }
    std::printf("\nOP_CONNECT (%d each, taking turns)\n", times);
    std::printf("  %-24s %10.1f us  spread %.0f%%\n", "plain password", 1e6 * median(a), spread_percent(a));
    std::printf("  %-24s %10.1f us  spread %.0f%%\n", "form-3 password", 1e6 * median(b), spread_percent(b));
    std::printf("  %-24s %10.1f us\n", "form 3 costs", 1e6 * (median(b) - median(a)));
}

static void measure_describe(bench_run &run, int samples, int batch) {
    std::vector<double> s;
    for (int i = 0; i < samples; ++i)
        s.push_back(timed_describe(run.lib, run.slot, "SELECT * FROM " + std::string(WIDE_TABLE), batch));
    std::printf("\nOP_DESCRIBE of 31 columns (%d samples of %d)\n", samples, batch);
    std::printf("  %-24s %10.1f us  spread %.0f%%\n", "per request", 1e6 * median(s), spread_percent(s));
}

// --- plans -------------------------------------------------------------------

struct plan {
    std::vector<table_def> tables;
    size_t peak_small, peak_large; // indexes into tables
    size_t instructions;           // the table whose instructions callgrind counts
    size_t outside;                // the table of the isql and pyodbc comparison
    int connect_times, describe_samples, describe_batch, outside_times;
};

// The figures of docs/performance.md.
static plan full_plan() {
    return {{four_column_table("t1e3", 1000, 0), four_column_table("t1e4", 10000, 7),
             four_column_table("t1e5", 100000, 7), four_column_table("t1e6", 1000000, 5),
             long_value_table("tmb", 1000, 1000000, 5)},
            0,   // peak memory: 10^3 rows
            3,   // against 10^6 rows
            1,   // callgrind: 10^4 rows
            2,   // isql and pyodbc: 10^5 rows
            200, // connects of each kind
            21,  // describe samples
            100, // describes per sample
            5};  // isql and pyodbc runs
}

// Every part once, on tables of a few rows.
static plan smoke_plan() {
    return {{four_column_table("small", 10, 0), four_column_table("rows", 100, 1),
             long_value_table("long", 3, 10000, 1)},
            0,  // peak memory: 10 rows
            1,  // against 100 rows
            1,  // callgrind: 100 rows
            1,  // isql and pyodbc: 100 rows, but not run
            2,  // connects of each kind
            1,  // describe samples
            2,  // describes per sample
            0}; // isql and pyodbc runs: none
}

#if !defined(_WIN32)
static table_def table_named(const std::string &name) {
    for (const plan &p : {full_plan(), smoke_plan()})
        for (const table_def &t : p.tables)
            if (t.name == name) return t;
    std::fprintf(stderr, "no table called %s\n", name.c_str());
    std::exit(2);
}
#endif

// --- Linux only: peak memory and the other tools -------------------------------

#if !defined(_WIN32)
// The child run: fetches a table of the plans once in one way and prints
// the rows and its peak resident memory. cache_kib > 0: SQLite's page cache
// of the connection is held to that size first.
static int child_run(const std::string &table, const std::string &key, int cache_kib) {
    table_def t = table_named(table);
    std::string pragma = "PRAGMA cache_size = -" + std::to_string(cache_kib);
    for (const way &w : ways) {
        if (key != w.key) continue;
        long rows = 0;
        if (w.kind == LIBRARY) {
            library_session lib;
            int slot = lib.connect("-host=" BENCH_DSN);
            if (cache_kib > 0) library_exec(lib, slot, pragma);
            rows = library_fetch(lib, slot, select_all(t), w.form, shapes_of(t)).rows;
            lib.disconnect(slot);
        } else {
            odbc_connection c(BENCH_DSN);
            if (cache_kib > 0) c.exec(pragma);
            rows = raw_way(c, w.kind, t);
        }
        std::printf("%ld %ld\n", rows, peak_resident_kib());
        return 0;
    }
    std::fprintf(stderr, "no way called %s\n", key.c_str());
    return 2;
}

// Each way over the small and the large table, with SQLite's page cache as
// it comes (2,000 KiB, which the small table does not fill) and held to
// 100 KiB (which both fill).
static void measure_peak(const table_def &small, const table_def &large) {
    const int capped_kib = 100;
    std::printf("\nPeak resident memory (VmHWM, KiB) of a child run that fetches the table once\n");
    std::string a = std::to_string(small.rows) + " rows", b = std::to_string(large.rows) + " rows";
    std::printf("  %-16s %27s %27s\n", "", "SQLite page cache as it is", "held to 100 KiB");
    std::printf("  %-16s %13s %13s %13s %13s\n", "form", a.c_str(), b.c_str(), a.c_str(), b.c_str());
    for (const way &w : ways) {
        std::printf("  %-16s", w.name);
        for (int cache_kib : {0, capped_kib}) {
            for (const table_def *t : {&small, &large}) {
                std::string out = run_self("--child " + t->name + " " + w.key + " " + std::to_string(cache_kib));
                long rows = 0, kib = 0;
                if (std::sscanf(out.c_str(), "%ld %ld", &rows, &kib) != 2 || rows != t->rows) {
                    std::fprintf(stderr, "child run over %s: '%s'\n", t->name.c_str(), out.c_str());
                    std::exit(1);
                }
                std::printf(" %13ld", kib);
            }
        }
        std::printf("\n");
    }
}

// The instructions of each way's fetch loop over the table, as callgrind
// counts them: the same on every run, however busy the machine. Counted
// twice: with the stand-in host's work, and without it.
static void measure_instructions(const table_def &t) {
    std::printf("\nInstructions per row in the fetch loop (callgrind, %s)\n", t.label.c_str());
    std::printf("  %-16s %12s %8s %14s %8s\n", "form", "instr/row", "x raw", "without host", "x raw");
    std::vector<double> per_row[2];
    for (const way &w : ways) {
        std::printf("  %-16s", w.name);
        for (int without_host = 0; without_host < 2; ++without_host) {
            long long n = fetch_instructions("--child " + t.name + " " + w.key + " 0", without_host != 0);
            if (n < 0) {
                std::printf("  not measured: valgrind is missing or failed\n");
                return;
            }
            std::vector<double> &v = per_row[without_host];
            v.push_back(static_cast<double>(n) / static_cast<double>(t.rows));
            char ratio[16] = "-";
            if (w.baseline >= 0)
                std::snprintf(ratio, sizeof ratio, "%.3f", v.back() / v[static_cast<size_t>(w.baseline)]);
            std::printf(" %*.0f %8s", without_host ? 14 : 12, v.back(), ratio);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
}

static void compare_outside(const table_def &t, const std::vector<double> &medians, int times) {
    std::printf("\nThe same fetch of %ld rows by other clients (median of %d)\n", t.rows, times);
    for (size_t w = 0; w < WAY_COUNT; ++w)
        std::printf("  %-24s %12.0f rows/s\n", ways[w].name, static_cast<double>(t.rows) / medians[w]);
    const char *names[2] = {"isql (unixODBC)", "pyodbc"};
    for (int tool = 0; tool < 2; ++tool) {
        std::vector<double> s;
        outside_fetch f{};
        for (int i = 0; i < times; ++i) {
            f = tool == 0 ? isql_fetch(BENCH_DSN, select_all(t)) : pyodbc_fetch(BENCH_DSN64, select_all(t));
            if (!f.ran || f.rows != t.rows) break;
            s.push_back(f.seconds);
        }
        if (s.size() != static_cast<size_t>(times)) {
            std::printf("  %-24s not measured: %ld rows; %s\n", names[tool], f.rows, f.note.c_str());
            continue;
        }
        std::printf("  %-24s %12.0f rows/s  spread %.0f%%  (%s)\n", names[tool],
                    static_cast<double>(t.rows) / median(s), spread_percent(s), f.note.c_str());
    }
}
#endif

int main(int argc, char **argv) {
    bool smoke = false;
    FILE *tsv = nullptr;
    for (int i = 1; i < argc; ++i) {
#if !defined(_WIN32)
        if (std::strcmp(argv[i], "--child") == 0 && i + 3 < argc)
            return child_run(argv[i + 1], argv[i + 2], std::atoi(argv[i + 3]));
#endif
        if (std::strcmp(argv[i], "--smoke") == 0) {
            smoke = true;
        } else if (std::strcmp(argv[i], "--tsv") == 0 && i + 1 < argc) {
            tsv = std::fopen(argv[++i], "w");
            if (tsv == nullptr) {
                std::perror(argv[i]);
                return 1;
            }
            std::fprintf(tsv, "# platform\ttable\trows\tcolumns\tform\twall_s\trows_per_s\twall_ratio\t"
                              "best_s\tbest_ratio\tcpu_s\tcpu_ratio\theap_per_row\n");
        } else {
            std::fprintf(stderr, "usage: fetch_bench [--smoke] [--tsv FILE]\n");
            return 2;
        }
    }
    plan p = smoke ? smoke_plan() : full_plan();
    std::printf("fetch_bench on %s, %s run\n", PLATFORM, smoke ? "smoke" : "full");
    write_bench_config();
    odbc_connection odbc(BENCH_DSN);
    double start = clock_seconds();
    for (const table_def &t : p.tables) make_table(odbc, t);
    make_wide_table(odbc);
    std::printf("tables made in %.1f s\n", clock_seconds() - start);

    library_session lib;
    bench_run run{odbc, lib, lib.connect("-host=" BENCH_DSN), tsv};
    std::vector<std::vector<double>> medians(p.tables.size());
    for (size_t i = 0; i < p.tables.size(); ++i)
        if (p.tables[i].repeats > 0) medians[i] = measure_table(run, p.tables[i]);
    measure_connect(lib, p.connect_times);
    measure_describe(run, p.describe_samples, p.describe_batch);
#if !defined(_WIN32)
    measure_instructions(p.tables[p.instructions]);
    measure_peak(p.tables[p.peak_small], p.tables[p.peak_large]);
    if (p.outside_times > 0) compare_outside(p.tables[p.outside], medians[p.outside], p.outside_times);
#endif
    lib.disconnect(run.slot);
    if (tsv) std::fclose(tsv);
    return 0;
}
