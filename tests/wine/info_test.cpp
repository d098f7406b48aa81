// Through roridorezu.dll under Wine: information items, a connection and a
// statement attribute set and read back, and the list of data sources.
#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "support/result_fixture.h"

namespace {

class wine_info : public result_test {
protected:
    // OP_INFO for `item`; argument 3 receives the text, +24 goes to `result`.
    int info(int item, std::string &text, int32_t *result = nullptr) {
        host_var st = status_block(slot);
        status_view{st}.set_subcode(static_cast<int16_t>(item));
        host_var out = host_var::text("", 240);
        int rc = send(OP_INFO, st, {&out});
        text = out.text_value();
        if (result != nullptr) *result = status_view{st}.result();
        return rc;
    }
    // OP_SETCONNATTR / OP_GETCONNATTR of an integer attribute.
    void set_conn_attr(int32_t attr, int64_t value) {
        host_var st = status_block(slot);
        status_view{st}.set_param_plain(attr);
        host_var v = host_var::integer(value);
        EXPECT_EQ(send(OP_SETCONNATTR, st, {&v}), ST_OK) << attr << " = " << value << ": " << status_view{st}.sqlstate();
    }
    int64_t conn_attr(int32_t attr) {
        host_var st = status_block(slot);
        status_view{st}.set_param_plain(attr);
        host_var v = host_var::integer(-7);
        EXPECT_EQ(send(OP_GETCONNATTR, st, {&v}), ST_OK) << attr << ": " << status_view{st}.sqlstate();
        return v.int_value();
    }
};

TEST_F(wine_info, library_and_driver_items) {
    std::string text;
    int32_t number = 0;
    EXPECT_EQ(info(7, text), ST_OK);
    EXPECT_EQ(text, "RORIDOREZU");
    EXPECT_EQ(info(8, text, &number), ST_OK);
    EXPECT_EQ(text, "1.4.109.0");
    EXPECT_EQ(number, 1401090);
    EXPECT_EQ(info(9, text), ST_OK);
    EXPECT_EQ(text, "ODBC");
    EXPECT_EQ(info(1, text), ST_OK);
    EXPECT_NE(text.find("sqlite3odbc"), std::string::npos) << "the unix driver behind Wine's odbc32: " << text;
    EXPECT_EQ(info(4, text), ST_UNSUPPORTED);
}

// The text of `name` in the version resource of the file at `path`, as
// Explorer reads it, or "(none)".
std::string version_text(const std::string &path, const char *name) {
    DWORD ignored = 0, size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::vector<char> info(size + 1);
    char *value = nullptr;
    UINT length = 0;
    std::string key = std::string("\\StringFileInfo\\040904E4\\") + name;
    bool found = GetFileVersionInfoA(path.c_str(), 0, size, info.data()) &&
                 VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void **>(&value), &length);
    return found ? value : "(none)";
}

// The DLL and both programs beside this one carry item 8's version.
TEST_F(wine_info, version_resources_carry_the_library_version) {
    std::string version;
    ASSERT_EQ(info(8, version), ST_OK);
    char self[MAX_PATH];
    std::string folder(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    folder.erase(folder.find_last_of('\\') + 1);
    for (const char *file : {"roridorezu.dll", "roridorezu-shell.exe", "roridorezu-scramble.exe"}) {
        for (const char *name : {"FileVersion", "ProductVersion"})
            EXPECT_EQ(version_text(folder + file, name), version) << file << " " << name;
        EXPECT_EQ(version_text(folder + file, "OriginalFilename"), file);
    }
}

TEST_F(wine_info, column_and_row_counts_of_the_last_statement) {
    exec("CREATE TABLE t (a INTEGER, b TEXT, c REAL)");
    host_var ins = status_block(slot);
    host_var sql = host_var::text("INSERT INTO t VALUES (1, 'x', 0.5), (2, 'y', 1.5)");
    ASSERT_EQ(send(OP_QUERY, ins, {&sql}), ST_OK);
    host_var st = status_block(slot);
    status_view{st}.set_subcode(6);
    EXPECT_EQ(send(OP_INFO, st, {}, 2), ST_OK) << "no argument 3 needed";
    EXPECT_EQ(status_view{st}.rowcount(), 2.0);

    open("SELECT * FROM t");
    host_var cols = status_block(slot);
    status_view{cols}.set_subcode(5);
    EXPECT_EQ(send(OP_INFO, cols, {}, 2), ST_OK);
    EXPECT_EQ(status_view{cols}.result(), 3);
}

TEST_F(wine_info, autocommit_off_and_on_again_is_read_back) {
    const int32_t autocommit = 102;
    EXPECT_EQ(conn_attr(autocommit), 1);
    set_conn_attr(autocommit, 0);
    EXPECT_EQ(conn_attr(autocommit), 0);
    set_conn_attr(autocommit, 1);
    EXPECT_EQ(conn_attr(autocommit), 1);
}

// Quiet mode is a window handle for the driver's dialogs: no number of the
// host passes, only 0 (no window).
TEST_F(wine_info, quiet_mode_takes_0_and_no_window) {
    const int32_t quiet_mode = 111;
    host_var st = status_block(slot);
    status_view{st}.set_param_plain(quiet_mode);
    host_var window = host_var::integer(0x00010010);
    EXPECT_EQ(send(OP_SETCONNATTR, st, {&window}), ST_UNSUPPORTED);
    set_conn_attr(quiet_mode, 0);
    EXPECT_EQ(conn_attr(quiet_mode), 0);
}

TEST_F(wine_info, statement_attribute_set_before_the_query_limits_it) {
    const int16_t max_rows = 1; // SQL_ATTR_MAX_ROWS
    host_var set = status_block(slot);
    status_view{set}.set_subcode(max_rows);
    host_var two = host_var::integer(2);
    EXPECT_EQ(send(OP_SETSTMTATTR, set, {&two}), ST_OK) << "allocates the statement";

    exec("CREATE TABLE t (a INTEGER)");
    exec("INSERT INTO t VALUES (1), (2), (3)");
    open("SELECT a FROM t");
    host_var a = host_var::integer(0);
    int rows = 0;
    while (rows < 4) {
        host_var st = fetch_block();
        ASSERT_EQ(send(OP_FETCH, st, {&a}), ST_OK);
        if (status_view{st}.rowcount() == 0.0) break;
        ++rows;
    }
    EXPECT_EQ(rows, 2);

    host_var get = status_block(slot);
    status_view{get}.set_subcode(max_rows);
    host_var value = host_var::integer(0);
    EXPECT_EQ(send(OP_GETSTMTATTR, get, {&value}), ST_OK);
    EXPECT_EQ(value.int_value(), 2);
}

TEST_F(wine_info, data_source_list_is_walked_to_its_end_and_again) {
    auto walk = [this] {
        std::vector<std::pair<std::string, std::string>> seen;
        const int16_t fetch_first = 2, fetch_next = 1; // SQL_FETCH_FIRST, SQL_FETCH_NEXT
        for (int16_t direction = fetch_first;; direction = fetch_next) {
            host_var st = status_block(slot);
            status_view{st}.set_subcode(direction);
            host_var name = host_var::text("", 64), desc = host_var::text("", 128);
            int rc = send(OP_DATASOURCES, st, {&name, &desc});
            if (rc == ST_SQLERROR && status_view{st}.native() == 100) {
                EXPECT_EQ(status_view{st}.sqlstate(), "");
                break;
            }
            EXPECT_EQ(rc, ST_OK) << status_view{st}.sqlstate();
            if (rc != ST_OK || seen.size() > 100) break;
            seen.emplace_back(name.text_value(), desc.text_value());
        }
        return seen;
    };
    auto first = walk();
    for (const char *dsn : {"demo", "second", "broken"}) {
        auto it = std::find_if(first.begin(), first.end(), [&](const auto &p) { return p.first == dsn; });
        EXPECT_NE(it, first.end()) << dsn << " not listed";
    }
    EXPECT_EQ(walk(), first) << "the first entry comes again after the end";
}

} // namespace
