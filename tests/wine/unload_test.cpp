// Through a copy of roridorezu.dll under Wine: loaded with LoadLibrary for
// one job, used (a 100 KB value included), shut down and unloaded with
// FreeLibrary 1,000 times, and the process does not grow.
#include "support/lib.h"
#include "support/unload.h"

namespace {

class wine_unload : public library_test {};

TEST_F(wine_unload, loadlibrary_work_shut_down_and_freelibrary_a_thousand_times_leaves_memory_flat) {
    unload_cycles r = run_unload_cycles(1000);
    EXPECT_EQ(r.failed, 0);
    // The driver manager keeps about 1 KB of every connect (see
    // tests/valgrind/odbc.supp), some 1 MB here; a scratch buffer left
    // behind would add 100 KB a cycle.
    EXPECT_LT(r.growth_kib, 4096) << "KiB gained from cycle 100 on";
}

} // namespace
