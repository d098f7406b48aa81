// A host that leaves a service by an exception, or forks. The exception
// reaches the host and the lock is given back. After fork the child's lock
// is usable and the parent's environment and connections are forgotten, so
// the child's own OP_INIT, connect and SELECT 1 work: a, a single-threaded
// host forks inside a service; b, it forks while another thread waits
// inside a host service of its call.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "support/result_fixture.h"

namespace {

class host_leaves : public result_test {
protected:
    host_var op = host_var::integer(OP_INFO), name = host_var::text("", 64);
    host_var st = status_block(); // OP_INFO 1: the driver's name, stored with HS_PUTSTR

    void SetUp() override {
        result_test::SetUp();
        status_view{st}.set_slot(static_cast<uint8_t>(slot));
        status_view{st}.set_subcode(1);
    }

    // The child's own session; the child ends with 1 when an answer was wrong.
    [[noreturn]] static void child_session() {
        init_library();
        host_var q = status_block(connect_slot("demo")), sql = host_var::text("SELECT 1"), one = host_var::integer(0);
        EXPECT_EQ(send(OP_QUERY, q, {&sql}), ST_OK);
        EXPECT_EQ(send(OP_FETCH, q, {&one}), ST_OK);
        _exit(HasFailure() || one.int_value() != 1);
    }

    // The child's exit status; one still running after 10 s hangs: killed, -2.
    static int child_result(pid_t pid) {
        int status = 0;
        for (int waited_ms = 0; waited_ms < 10000; waited_ms += 10, usleep(10000))
            if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -2;
    }
};

TEST_F(host_leaves, by_an_exception_that_reaches_the_host_and_later_requests_are_served) {
    host_call call(op, st, {&name});
    call.during_service = [](int service, int, void *) {
        if (service == HS_PUTSTR) throw std::runtime_error("the host's own");
    };
    EXPECT_THROW(call.run(test_entry()), std::runtime_error);
    EXPECT_EQ(send(OP_INFO, st, {&name}), ST_OK) << "this thread's next request";
    int other_rc = -1;
    std::thread([&] { other_rc = send(OP_INFO, st, {&name}); }).join();
    EXPECT_EQ(other_rc, ST_OK) << "another thread's request";
}

TEST_F(host_leaves, by_a_fork_inside_a_service_or_beside_a_running_call_and_the_child_works) {
    static pid_t child;
    host_call call(op, st, {&name});
    call.during_service = [](int service, int, void *) {
        if (service == HS_PUTSTR) child = fork();
    };
    int rc = call.run(test_entry());
    if (child == 0) child_session(); // having finished the parent's call
    EXPECT_EQ(rc, ST_OK);
    EXPECT_EQ(child_result(child), 0) << "a: a fork inside a service";

    static std::mutex m;
    static std::condition_variable cv;
    static bool inside = false, forked = false;
    host_call waiting(op, st, {&name});
    waiting.during_service = [](int, int, void *) {
        std::unique_lock<std::mutex> lock(m);
        inside = true;
        cv.notify_all();
        cv.wait(lock, [] { return forked; });
    };
    std::thread other([&] { rc = waiting.run(test_entry()); });
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [] { return inside; });
    if ((child = fork()) == 0) child_session();
    forked = true;
    cv.notify_all();
    lock.unlock();
    other.join();
    EXPECT_EQ(rc, ST_OK);
    EXPECT_EQ(child_result(child), 0) << "b: a fork while another thread's call waits in a service";
    EXPECT_EQ(send(OP_INFO, st, {&name}), ST_OK) << "the parent's slot after both forks";
}

} // namespace
