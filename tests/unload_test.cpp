// Unloading: the library loaded for one job, used (a 100 KB value
// included), shut down and unloaded 1,000 times. After OP_SHUTDOWN it holds
// no memory of its own, so resident memory stays flat; the reliability run
// repeats a shorter loop under valgrind, which finds nothing lost.
#include "support/lib.h"
#include "support/unload.h"

namespace {

class unload_test : public library_test {};

TEST_F(unload_test, load_work_shut_down_and_unload_a_thousand_times_leaves_memory_flat) {
    expect_flat_unload_cycles(1000);
}

} // namespace
