// Threads: four threads send requests on slots of their own with no host
// lock; the library serialises them and every answer is right. The
// reliability run repeats this under valgrind's DRD.
#include "support/lib.h"
#include "support/threads.h"

namespace {

class threads_test : public library_test {};

TEST_F(threads_test, four_threads_on_own_slots_without_a_host_lock_get_right_answers) {
    EXPECT_EQ(wrong_answers_from_threads(4, 1000), 0);
}

} // namespace
