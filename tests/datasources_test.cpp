// Data source enumeration (OP_DATASOURCES) over the private ODBC
// configuration: user DSN "demo", system DSNs "second" and "broken".
#include "support/result_fixture.h"

#include <sql.h>
#include <sqlext.h>

#include <utility>

namespace {

// What one OP_DATASOURCES request left behind.
struct source_answer {
    int rc;
    std::string name;
    std::string description;
    int32_t native;
    std::string state;
};

source_answer ask_source(int slot, int direction, host_var &name, host_var &description) {
    host_var st = status_block(slot);
    status_view{st}.set_subcode(static_cast<int16_t>(direction));
    int rc = send(OP_DATASOURCES, st, {&name, &description});
    return {rc, name.text_value(), description.text_value(), status_view{st}.native(), status_view{st}.sqlstate()};
}

// Argument 3 and 4 of `size` bytes that already hold a text.
source_answer ask_source(int slot, int direction, size_t size = 64) {
    host_var name = host_var::text("old name", size);
    host_var description = host_var::text("old description", size);
    return ask_source(slot, direction, name, description);
}

using source_list = std::vector<std::pair<std::string, std::string>>;

// The list from a first-entry direction to the end, which must be marked by
// ST_SQLERROR with SQL_NO_DATA at +20, no SQLSTATE and the variables kept.
source_list walk(int slot, int first_direction) {
    source_list list;
    source_answer a = ask_source(slot, first_direction);
    for (int guard = 0; a.rc == ST_OK && guard < 100; ++guard) {
        list.emplace_back(a.name, a.description);
        a = ask_source(slot, SQL_FETCH_NEXT);
    }
    EXPECT_EQ(a.rc, ST_SQLERROR);
    EXPECT_EQ(a.native, SQL_NO_DATA);
    EXPECT_EQ(a.state, "");
    EXPECT_EQ(a.name, "old name");
    EXPECT_EQ(a.description, "old description");
    return list;
}

bool contains(const source_list &list, const std::string &name, const std::string &description) {
    for (const auto &entry : list)
        if (entry.first == name && entry.second == description) return true;
    return false;
}

// The slot connected to the demo data source: the enumeration needs none,
// but the request must name a connected slot.
class datasources_test : public result_test {};

TEST_F(datasources_test, whole_list_walked_twice_and_first_again_after_the_end) {
    source_list first_walk = walk(slot, SQL_FETCH_FIRST);
    // The description is the name of the data source's driver.
    EXPECT_TRUE(contains(first_walk, "demo", "SQLite3"));
    EXPECT_TRUE(contains(first_walk, "second", "SQLite3"));
    EXPECT_TRUE(contains(first_walk, "broken", "Missing"));
    EXPECT_EQ(walk(slot, SQL_FETCH_FIRST), first_walk);

    source_answer again = ask_source(slot, SQL_FETCH_FIRST);
    EXPECT_EQ(again.rc, ST_OK);
    EXPECT_EQ(std::make_pair(again.name, again.description), first_walk.front());
    EXPECT_EQ(again.state, "");
}

TEST_F(datasources_test, user_and_system_lists_apart) {
    source_list system = walk(slot, SQL_FETCH_FIRST_SYSTEM);
    EXPECT_EQ(system, (source_list{{"second", "SQLite3"}, {"broken", "Missing"}}));
    source_list user = walk(slot, SQL_FETCH_FIRST_USER);
    ASSERT_FALSE(user.empty());
    EXPECT_EQ(user.front(), std::make_pair(std::string("demo"), std::string("SQLite3")));
    EXPECT_FALSE(contains(user, "second", "SQLite3"));
}

// The driver manager records its warning on the environment, where the
// request reads it.
TEST_F(datasources_test, name_cut_to_a_small_buffer_with_the_warning) {
    host_var name = host_var::text("xxxxxxx", 3);
    host_var description = host_var::text("", 64);
    source_answer a = ask_source(slot, SQL_FETCH_FIRST_USER, name, description);
    EXPECT_EQ(a.rc, ST_OK);
    EXPECT_EQ(a.name, "de");
    EXPECT_EQ(a.description, "SQLite3");
    EXPECT_EQ(a.state, "01004");
    EXPECT_EQ(a.native, SQL_SUCCESS_WITH_INFO);
}

// A size beyond the 16 bits of an ODBC buffer length is passed as the
// largest length, never as its low bits.
TEST_F(datasources_test, sizes_from_32768_pass_as_the_largest_length) {
    for (size_t size : {size_t{40000}, size_t{65536 + 3}}) {
        host_var big_name = host_var::text("old name", size);
        host_var description = host_var::text("old description", 64);
        source_answer a = ask_source(slot, SQL_FETCH_FIRST_USER, big_name, description);
        EXPECT_EQ(a.rc, ST_OK) << size;
        EXPECT_EQ(a.name, "demo") << size;
        EXPECT_EQ(a.state, "") << size;
    }
}

TEST_F(datasources_test, unknown_direction_is_the_driver_managers_error) {
    source_answer a = ask_source(slot, 99);
    EXPECT_EQ(a.rc, ST_SQLERROR);
    EXPECT_EQ(a.state, "HY103");
    EXPECT_EQ(a.name, "old name");
}

TEST_F(datasources_test, needs_four_arguments_and_a_connected_slot) {
    host_var name = host_var::text("old name", 64);
    host_var st = status_block(slot);
    status_view{st}.set_subcode(SQL_FETCH_FIRST);
    EXPECT_EQ(send(OP_DATASOURCES, st, {&name}), ST_ARGS);
    EXPECT_EQ(name.text_value(), "old name");

    int unconnected_number = slot + 1; // a free slot: no connection handle
    for (int s : {0, unconnected_number}) {
        source_answer a = ask_source(s, SQL_FETCH_FIRST);
        EXPECT_EQ(a.rc, ST_BADCONN) << "slot " << s;
        EXPECT_EQ(a.name, "old name");
    }
}

} // namespace
