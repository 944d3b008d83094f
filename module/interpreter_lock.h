// The interpreter lock taken back after work done without it.
#pragma once

#include <Python.h>

#include "../aes/compiler.h"

KESTRELBOX_LOCAL_BEGIN

// Takes back the lock that PyEval_SaveThread let go of and returned `state`
// for. A daemon thread that does so while the interpreter finalizes never
// returns from here: it is parked for good, the same on every CPython.
void take_back_interpreter_lock(PyThreadState* state);

KESTRELBOX_LOCAL_END
