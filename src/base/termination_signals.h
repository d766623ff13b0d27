#pragma once
// CTerminationSignals: the requests to end the program that come from outside (kill or the end
// of the session, Ctrl+C, the terminal closing, Ctrl+\), in the two forms the program takes them.
// The window's form: a handler that only makes a handle readable, which the event loop watches
// (InstallNotifier, DrainNotifier, RemoveNotifier; GUI thread, one notifier at a time). The
// command line's form: the requests blocked in the calling thread and in every thread it starts
// later, taken by one thread that waits for them (Block on the main thread before any other
// thread starts, Wait on the waiting thread, WakeWaiter from another). The system calls live in
// termination_signals_posix.cpp.

#include <cstdint>
#include <thread>

class CTerminationSignals {
public:
    enum class ERequests {
        InterruptOrTerminate, // Ctrl+C and kill
        Any,                  // those, the terminal closing and Ctrl+\; a wait for them can be woken
    };

    // Kill, Ctrl+C and the terminal closing make the returned handle readable; -1 when a
    // notifier is already installed or none can be made (the requests keep their default action).
    static std::intptr_t InstallNotifier();
    // Takes what the handler wrote, so the handle waits for the next request.
    static void DrainNotifier();
    // Puts the default actions back and closes the handle.
    static void RemoveNotifier();

    static void Block(ERequests requests);
    // Waits for the next request; false when WakeWaiter ended the wait or waiting failed.
    static bool Wait(ERequests requests);
    // Ends the Wait (for ERequests::Any) that runs on the waiter thread.
    static void WakeWaiter(std::thread& waiter);
};
