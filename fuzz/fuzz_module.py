"""atheris over the Python entry points: any bytes for data, key and IV.

Each call must give a result pair of the right shape or, for short
ciphertext, ValueError("string too long"); encoding then decoding with a
valid key and IV must give the data back; nothing else may be raised.

Every call with a bad key, IV or empty data writes the module's diagnostic
line to standard output, millions of times a minute: the process's standard
output is /dev/null, and the lines are counted and the count written to
standard error at exit."""

import ctypes
import os
import sys

import atheris

with atheris.instrument_imports():
    import kestrelbox


diagnostics = 0


def report(_: object) -> None:
    os.write(2, f"fuzz_module: {diagnostics} diagnostic lines counted, not printed\n".encode())


# libFuzzer ends the process with exit(), which runs the C library's exit
# handlers (registered through the C++ ABI's __cxa_atexit) but not Python's.
report_at_exit = ctypes.CFUNCTYPE(None, ctypes.c_void_p)(report)


def test_one_input(raw: bytes) -> None:
    source = atheris.FuzzedDataProvider(raw)
    key = source.ConsumeBytes(source.ConsumeIntInRange(0, 18))
    iv = source.ConsumeBytes(source.ConsumeIntInRange(0, 18))
    data = source.ConsumeBytes(source.remaining_bytes())
    valid = len(key) == 16 and len(iv) == 16 and len(data) > 0
    if not valid:
        global diagnostics
        diagnostics += 2  # one line from each call

    status, sealed = kestrelbox.aes_encode(data, key, iv)
    if not valid:
        assert (status, sealed) == (-1, None)
    else:
        assert status == 0 and sealed is not None
        assert len(sealed) == (len(data) // 16 + 1) * 16
        assert kestrelbox.aes_decode(sealed, key, iv) == (0, data)

    try:
        status, opened = kestrelbox.aes_decode(data, key, iv)
    except ValueError as error:
        assert valid and len(data) < 16 and str(error) == "string too long"
        return
    if status == 0:
        assert valid and opened is not None and len(opened) <= len(data)
    else:
        assert status == -1 and opened is None


if __name__ == "__main__":
    os.dup2(os.open(os.devnull, os.O_WRONLY), 1)
    ctypes.CDLL(None).__cxa_atexit(report_at_exit, None, None)
    atheris.Setup(sys.argv, test_one_input)
    atheris.Fuzz()
