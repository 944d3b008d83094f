// Built without C++ exceptions (see CMakeLists.txt), so that glibc's
// pthread_cleanup_push takes its C form here: a cancellation buffer that
// glibc itself jumps to, rather than a destructor run by the C++ runtime.
#include "interpreter_lock.h"

#if defined(__GLIBC__)
#include <pthread.h>

#include <chrono>
#include <thread>

// Blocks the calling thread for good, as CPython 3.14 and later do with a
// thread that asks for the interpreter lock while the interpreter finalizes.
[[noreturn]] static void park_for_good(void*) {
    for (;;) {
        std::this_thread::sleep_for(std::chrono::hours(24));
    }
}
#endif

void take_back_interpreter_lock(PyThreadState* state) {
#if defined(__GLIBC__)
    // CPython 3.12 and 3.13 end a thread that takes the lock back during
    // finalization with pthread_exit, which unwinds its stack. glibc runs
    // this cleanup as the unwinding leaves this frame, and it parks the
    // thread there: further up, pybind11's cleanups would release Python
    // objects without the lock, and a C++ runtime with an unwinder of its
    // own (the wheels' static libc++) cannot take part in glibc's unwinding
    // at all.
    pthread_cleanup_push(park_for_good, nullptr);
    PyEval_RestoreThread(state);
    pthread_cleanup_pop(0);
#else
    PyEval_RestoreThread(state);
#endif
}
