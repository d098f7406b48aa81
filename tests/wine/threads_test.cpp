// Through roridorezu.dll under Wine: four threads send requests on slots of
// their own with no host lock, and every answer is right.
#include "support/lib.h"
#include "support/threads.h"

namespace {

class wine_threads : public library_test {};

TEST_F(wine_threads, four_threads_on_own_slots_without_a_host_lock_get_right_answers) {
    EXPECT_EQ(wrong_answers_from_threads(4, 100), 0);
}

} // namespace
