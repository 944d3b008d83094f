#include <Python.h>

#include <cstdio>

#include "diagnostic.h"
#include "interpreter_lock.h"

void print_diagnostic() {
    PyThreadState* const state = PyEval_SaveThread();
    std::printf("key iv length must 16\n");
    std::fflush(stdout);
    take_back_interpreter_lock(state);
}
