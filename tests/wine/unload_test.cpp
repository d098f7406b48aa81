// Through a copy of roridorezu.dll under Wine: loaded with LoadLibrary for
// one job, used (a 100 KB value included), shut down and unloaded with
// FreeLibrary 1,000 times, and the process does not grow.
#include "support/lib.h"
#include "support/unload.h"

namespace {

class wine_unload : public library_test {};

TEST_F(wine_unload, loadlibrary_work_shut_down_and_freelibrary_a_thousand_times_leaves_memory_flat) {
    expect_flat_unload_cycles(1000);
}

} // namespace
