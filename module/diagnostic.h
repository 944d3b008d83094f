// The module's one diagnostic line, on the process's standard output.
#pragma once
#include "../aes/compiler.h"

KESTRELBOX_LOCAL_BEGIN

// Writes and flushes "key iv length must 16\n" without the interpreter lock,
// so that a full pipe (or one that a thread of this process drains) blocks
// only the calling thread; flushed at once, so that in a pipe or a file the
// line follows what Python has already flushed. The caller holds the lock,
// and holds it again on return.
void print_diagnostic();

KESTRELBOX_LOCAL_END
