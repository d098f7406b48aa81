// Through roridorezu.dll under Wine: values bound to markers on SQLite,
// PostgreSQL and MariaDB, one row and arrays with a failed row.
#include <cstring>

#include "support/lib.h"

#include "scramble.h"

namespace {

struct wine_source {
    const char *dsn;
    const char *blob_type;
    const char *duplicate_state;
};

class wine_params : public library_test, public ::testing::WithParamInterface<wine_source> {
protected:
    int slot = 0;
    void SetUp() override {
        library_test::SetUp();
        const odbc_env &env = test_odbc_env();
        if (std::strcmp(GetParam().dsn, "demo") == 0) {
            slot = connect_slot("demo");
            return;
        }
        if (env.servers.empty()) GTEST_SKIP() << "no database servers: run through scripts/test.sh";
        connect_setting settings[] = {{"host", GetParam().dsn, 0},
                                      {"user", env.servers.at("RORI_DB_USER").c_str(), 0},
                                      {"pw", env.servers.at("RORI_DB_PASSWORD").c_str(), 3}};
        char text[512];
        ASSERT_EQ(scramble_connect(settings, 3, text, sizeof text), SCRAMBLE_OK);
        slot = connect_slot(text);
    }
    void TearDown() override {
        if (slot != 0) run("DROP TABLE wine_params", {});
        library_test::TearDown();
    }
    int run(const std::string &sql, std::vector<host_var *> values, int32_t rows = -1, host_var *out = nullptr) {
        host_var st = status_block(slot);
        if (rows >= 0) status_view{st}.set_param_swapped(rows);
        host_var text = host_var::text(sql);
        values.insert(values.begin(), &text);
        int rc = send(OP_QUERY, st, values);
        if (out != nullptr) std::memcpy(out->area.data(), st.area.data(), SQL_STATUS_MIN);
        host_var close = status_block(slot);
        send(OP_FREESTMT, close);
        return rc;
    }
};

TEST_P(wine_params, values_and_arrays_go_through_the_dll) {
    run("DROP TABLE wine_params", {});
    ASSERT_EQ(run("CREATE TABLE wine_params (k INTEGER PRIMARY KEY, f DOUBLE PRECISION, s VARCHAR(40), r " +
                      std::string(GetParam().blob_type) + ")",
                  {}),
              ST_OK);
    host_var k = host_var::integer(-3), f = host_var::real(0.25), s = host_var::text("a'b;\\c", 40);
    host_var r = host_var::raw(3);
    std::memcpy(r.area.data(), "x\0y", 3);
    EXPECT_EQ(run("INSERT INTO wine_params VALUES (?, ?, ?, ?)", {&k, &f, &s, &r}), ST_OK);

    host_var st = status_block(slot);
    host_var sql = host_var::text("SELECT COUNT(*) FROM wine_params WHERE k = ? AND f = ? AND s = ? AND r = ?");
    ASSERT_EQ(send(OP_QUERY, st, {&sql, &k, &f, &s, &r}), ST_OK) << status_view{st}.sqlstate();
    host_var n = host_var::integer(0);
    host_var fetch = status_block(slot);
    EXPECT_EQ(send(OP_FETCH, fetch, {&n}), ST_OK);
    EXPECT_EQ(n.int_value(), 1) << "every value arrived unchanged";
    host_var close = status_block(slot);
    send(OP_FREESTMT, close);

    // 1,000 rows whose 500th repeats a key: 499 stay.
    host_var keys = host_var::int_array(1000);
    for (int i = 1; i <= 1000; ++i) keys.set_element_int(static_cast<size_t>(i), i == 500 ? -3 : i);
    host_var failed = status_block(slot);
    EXPECT_EQ(run("INSERT INTO wine_params (k, s) VALUES (?, ?)", {&keys, &s}, 1000, &failed), ST_SQLERROR);
    EXPECT_EQ(status_view{failed}.result(), 499);
    EXPECT_EQ(status_view{failed}.native(), 500);
    EXPECT_EQ(status_view{failed}.sqlstate(), GetParam().duplicate_state);

    host_var bad = host_var::text("x");
    bad.declared_size = -1;
    EXPECT_EQ(run("INSERT INTO wine_params (k, s) VALUES (9999, ?)", {&bad}), ST_BADARG);
}

INSTANTIATE_TEST_SUITE_P(wine, wine_params,
                         ::testing::Values(wine_source{"demo", "BLOB", "HY000"}, wine_source{"pg", "bytea", "23505"},
                                           wine_source{"maria", "BLOB", "23000"}),
                         [](const ::testing::TestParamInfo<wine_source> &i) { return std::string(i.param.dsn); });

} // namespace
