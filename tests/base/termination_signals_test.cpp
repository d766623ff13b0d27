// Requests to end the program from outside, in both forms: the window's notifier and the
// command line's waiting thread.

#include "base/termination_signals.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using ERequests = CTerminationSignals::ERequests;

TEST(TerminationSignals, NotifierWakesOncePerRequestAndLeavesTheDefaultsBehind)
{
    const std::intptr_t handle = CTerminationSignals::InstallNotifier();
    ASSERT_GE(handle, 0);
    EXPECT_EQ(CTerminationSignals::InstallNotifier(), -1) << "one notifier at a time";
    pollfd readable{static_cast<int>(handle), POLLIN, 0};
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        ASSERT_EQ(::raise(signal), 0);
        EXPECT_EQ(::poll(&readable, 1, 5000), 1);
        CTerminationSignals::DrainNotifier();
        EXPECT_EQ(::poll(&readable, 1, 0), 0) << "drained until the next request";
    }
    CTerminationSignals::RemoveNotifier();
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction action {};
        ASSERT_EQ(::sigaction(signal, nullptr, &action), 0);
        EXPECT_EQ(action.sa_handler, SIG_DFL) << signal;
    }
    const std::intptr_t again = CTerminationSignals::InstallNotifier();
    EXPECT_GE(again, 0) << "a removed notifier can be installed again";
    CTerminationSignals::RemoveNotifier();
}

TEST(TerminationSignals, WaiterTakesEveryRequestAndEndsWhenWoken)
{
    sigset_t before;
    pthread_sigmask(SIG_SETMASK, nullptr, &before);
    CTerminationSignals::Block(ERequests::Any);
    std::mutex mutex;
    std::condition_variable cv;
    int taken = 0;
    std::thread waiter([&] {
        while (CTerminationSignals::Wait(ERequests::Any)) {
            std::lock_guard lock(mutex);
            ++taken;
            cv.notify_all();
        }
    });
    int sent = 0;
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(signal);
        ASSERT_EQ(::kill(::getpid(), signal), 0);
        ++sent;
        std::unique_lock lock(mutex);
        EXPECT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return taken == sent; }));
    }
    CTerminationSignals::WakeWaiter(waiter);
    waiter.join();
    EXPECT_EQ(taken, 4) << "the wake-up is no request";
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}
