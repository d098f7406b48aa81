// Ten slots at once over the three sources: each runs its own statements,
// step by step in turn with the others, and gets what it gets alone.
#include "sources.h"

#include <algorithm>

namespace {

using rows_t = std::vector<std::vector<std::string>>;

// What one slot's work gave: the row count of each statement and the rows.
struct outcome {
    std::vector<double> counts;
    rows_t rows;
    bool operator==(const outcome &o) const { return counts == o.counts && rows == o.rows; }
};

void PrintTo(const outcome &o, std::ostream *os) {
    *os << "counts";
    for (double c : o.counts) *os << " " << c;
    *os << "; rows";
    for (const auto &r : o.rows) *os << " (" << r[0] << ", " << r[1] << ")";
}

class source_slots : public library_test {
protected:
    struct worker {
        const data_source *src;
        std::string table;
        int slot = 0;
        int rows = 0; // rows it inserts
        outcome got;
    };
    std::vector<worker> workers;

    void SetUp() override {
        library_test::SetUp();
        if (!servers_available()) GTEST_SKIP() << servers_missing_message();
        const std::vector<data_source> &all = all_sources();
        for (int i = 0; i < 10; ++i) {
            worker w;
            w.src = &all[static_cast<size_t>(i) % all.size()];
            w.table = unique_name("ten" + std::to_string(i));
            w.rows = 3 + i;
            workers.push_back(w);
        }
    }

    // The statements of worker i, in order; the last one is the query.
    static std::vector<std::string> script(const worker &w, int i) {
        const std::string t = w.table;
        std::string values;
        for (int j = 1; j <= w.rows; ++j)
            values += (j > 1 ? ", (" : "(") + std::to_string(j) + ", 's" + std::to_string(i) + "r" + std::to_string(j) + "')";
        return {"CREATE TABLE " + t + " (id INTEGER, v VARCHAR(20))",
                "INSERT INTO " + t + " VALUES " + values,
                "UPDATE " + t + " SET v = 'even" + std::to_string(i) + "' WHERE id IN (2, 4, 6, 8, 10, 12)",
                "DELETE FROM " + t + " WHERE id = 1",
                "SELECT id, v FROM " + t + " ORDER BY id"};
    }

    // What worker i must get, worked out here.
    static outcome expected(const worker &w, int i) {
        outcome o;
        int evens = 0;
        for (int j = 2; j <= w.rows && j <= 12; j += 2) ++evens;
        o.counts = {0.0, static_cast<double>(w.rows), static_cast<double>(evens), 1.0,
                    w.src->select_row_count ? static_cast<double>(w.rows - 1) : 0.0};
        for (int j = 2; j <= w.rows; ++j)
            o.rows.push_back({std::to_string(j), j % 2 == 0 && j <= 12 ? "even" + std::to_string(i)
                                                                        : "s" + std::to_string(i) + "r" + std::to_string(j)});
        return o;
    }

    void connect_all() {
        for (worker &w : workers) {
            w.slot = connect_slot(connect_text(*w.src));
            w.got = outcome();
        }
    }

    // One statement of the script on the worker's slot; the query stays open.
    void step(worker &w, const std::string &sql, bool last) {
        host_var st = status_block(w.slot);
        host_var text = host_var::text(sql);
        EXPECT_EQ(send(OP_QUERY, st, {&text}), ST_OK) << w.src->name << ": " << sql << ": " << status_view{st}.sqlstate();
        w.got.counts.push_back(status_view{st}.rowcount());
        if (!last) {
            host_var f = status_block(w.slot);
            send(OP_FREESTMT, f);
        }
    }

    // The next row of the worker's query (variable form); false at the end.
    bool fetch(worker &w, host_var &st) {
        host_var id = host_var::integer(-1);
        host_var v = host_var::text("", 32);
        EXPECT_EQ(send(OP_FETCH, st, {&id, &v}), ST_OK) << w.src->name << ": " << status_view{st}.sqlstate();
        if (status_view{st}.rowcount() == 0.0) return false;
        w.got.rows.push_back({std::to_string(id.int_value()), v.text_value()});
        return true;
    }

    void finish(worker &w) {
        host_var f = status_block(w.slot);
        send(OP_FREESTMT, f);
        host_var st = status_block(w.slot);
        host_var text = host_var::text("DROP TABLE " + w.table);
        EXPECT_EQ(send(OP_QUERY, st, {&text}), ST_OK) << status_view{st}.sqlstate();
        send(OP_FREESTMT, f);
    }
};

TEST_F(source_slots, ten_slots_over_three_sources_interleaved_match_alone) {
    connect_all();
    ASSERT_FALSE(HasFailure());
    const size_t n = workers.size();

    // Alone: each slot runs its whole script while the others wait.
    std::vector<outcome> alone;
    for (size_t i = 0; i < n; ++i) {
        worker &w = workers[i];
        std::vector<std::string> s = script(w, static_cast<int>(i));
        for (size_t k = 0; k < s.size(); ++k) step(w, s[k], k + 1 == s.size());
        host_var st = status_block(w.slot);
        for (int guard = 0; guard < 100 && fetch(w, st); ++guard) {
        }
        finish(w);
        alone.push_back(w.got);
        EXPECT_EQ(w.got, expected(w, static_cast<int>(i))) << "slot " << w.slot << " on " << w.src->name;
    }

    // Interleaved: statement k of every slot before statement k + 1 of any,
    // then the rows fetched one per slot in turn.
    for (worker &w : workers) w.got = outcome();
    const size_t steps = script(workers[0], 0).size();
    for (size_t k = 0; k < steps; ++k)
        for (size_t i = 0; i < n; ++i) step(workers[i], script(workers[i], static_cast<int>(i))[k], k + 1 == steps);
    std::vector<host_var> blocks;
    blocks.reserve(n);
    for (worker &w : workers) blocks.push_back(status_block(w.slot));
    std::vector<bool> done(n, false);
    for (int round = 0; round < 100 && std::find(done.begin(), done.end(), false) != done.end(); ++round)
        for (size_t i = 0; i < n; ++i)
            if (!done[i]) done[i] = !fetch(workers[i], blocks[i]);
    for (size_t i = 0; i < n; ++i) {
        EXPECT_TRUE(done[i]);
        finish(workers[i]);
        EXPECT_EQ(workers[i].got, alone[i]) << "slot " << workers[i].slot << " on " << workers[i].src->name;
    }
}

} // namespace
