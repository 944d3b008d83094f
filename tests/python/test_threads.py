"""Eight threads calling both functions at once, each with its own key and
messages, all get the reference results; long calls of two threads run at
the same time; a diagnostic line written into a pipe that a thread of the
same process drains does not deadlock; daemon threads inside the module at
exit never abort the process."""

import os
import subprocess
import sys
import threading
import time

import kestrelbox
import pytest
from conftest import cbc_encrypt, pad

THREADS = 8
ROUNDS = 300


def worker(index: int, failures: list[str], start: threading.Barrier) -> None:
    key = os.urandom(16)
    iv = os.urandom(16)
    messages = [os.urandom(1 + (index * 37 + n * 101) % 5000) for n in range(ROUNDS)]
    expected = [cbc_encrypt(pad(message), key, iv) for message in messages]
    start.wait()
    for message, sealed in zip(messages, expected):
        if kestrelbox.aes_encode(message, key, iv) != (0, sealed):
            failures.append(f"thread {index}: encode of {len(message)} bytes")
        if kestrelbox.aes_decode(sealed, key, iv) != (0, message):
            failures.append(f"thread {index}: decode of {len(sealed)} bytes")


def test_eight_threads_get_every_result_right() -> None:
    failures: list[str] = []
    start = threading.Barrier(THREADS)
    threads = [
        threading.Thread(target=worker, args=(index, failures, start)) for index in range(THREADS)
    ]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []


# With a switch interval far longer than the test, a thread that holds the
# interpreter lock keeps it until it blocks: the second thread can start a
# call while the first is inside one of its own only if the call let go of
# the lock. Each thread calls until the other has begun a call (or for at
# most 5 s), since a short call may end before the other thread wakes up.
# The sizes are the shortest ciphertexts that let go of the lock, and a long
# one: 4,096 bytes for an encode (a 4,080-byte message), 65,536 for a decode
# (whose message is shorter).
@pytest.mark.parametrize(
    ("direction", "size"),
    [("encode", 4096), ("decode", 4096 * 16), ("encode", 64 << 20), ("decode", 64 << 20)],
)
def test_long_calls_of_two_threads_overlap(direction: str, size: int) -> None:
    key = iv = bytes(16)
    message = bytes(size - 16)
    function, argument = kestrelbox.aes_encode, message
    if direction == "decode":
        _, sealed = kestrelbox.aes_encode(message, key, iv)
        assert sealed is not None and len(sealed) == size
        function, argument = kestrelbox.aes_decode, sealed
    spans: list[list[tuple[float, float]]] = [[], []]
    start = threading.Barrier(2)

    def call(index: int) -> None:
        start.wait()
        deadline = time.perf_counter() + 5
        while not spans[index] or (not spans[1 - index] and time.perf_counter() < deadline):
            begun = time.perf_counter()
            spans[index].append((begun, begun))
            function(argument, key, iv)
            spans[index][-1] = (begun, time.perf_counter())

    interval = sys.getswitchinterval()
    sys.setswitchinterval(100)
    try:
        threads = [threading.Thread(target=call, args=(index,)) for index in range(2)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        sys.setswitchinterval(interval)
    assert any(
        a_start < b_end and b_start < a_end
        for a_start, a_end in spans[0]
        for b_start, b_end in spans[1]
    ), "no call of one thread began while a call of the other was running"


# The pipe is full before the first call, and the thread that drains it may
# start only once the caller, under a switch interval far longer than the
# test, holds the interpreter lock and is about to call: a call that wrote
# the line holding the lock would wait for the drainer, which would wait for
# the lock. (Filling the pipe needs Linux's non-blocking pipe writes.) Then
# far more lines than a pipe holds.
SELF_DRAINED_PIPE_SCRIPT = """
import os, sys, threading
import kestrelbox

read_end, write_end = os.pipe()
filled = 0
if sys.platform == "linux":
    os.set_blocking(write_end, False)
    for size in (4096, 1):
        try:
            while True:
                filled += os.write(write_end, bytes(size))
        except BlockingIOError:
            pass
    os.set_blocking(write_end, True)
saved_stdout = os.dup(1)
os.dup2(write_end, 1)
os.close(write_end)
received = []
go = threading.Event()

def drain():
    go.wait()
    while chunk := os.read(read_end, 1 << 16):
        received.append(len(chunk))

reader = threading.Thread(target=drain)
reader.start()
sys.setswitchinterval(100)
go.set()
for _ in range(10_000):
    assert kestrelbox.aes_encode(b"", bytes(16), bytes(16)) == (-1, None)
os.dup2(saved_stdout, 1)
reader.join()
print(sum(received) - filled)
"""


def test_a_pipe_drained_by_a_thread_of_the_same_process_does_not_deadlock() -> None:
    done = subprocess.run(
        [sys.executable, "-c", SELF_DRAINED_PIPE_SCRIPT],
        capture_output=True,
        text=True,
        timeout=30,
    )
    assert done.returncode == 0, done.stderr
    assert int(done.stdout) == 10_000 * len("key iv length must 16\n")


# Daemon threads still in the module when the interpreter finalizes: eight
# in long encodes and decodes (1 MiB), which run without the interpreter
# lock, or eight writing the diagnostic line, also without it; most of them
# wait to take the lock back at any moment. sys.stdout is left buffered,
# so a process that dies at exit loses its last line.
EXIT_SCRIPT = """
import threading, time
import kestrelbox

key = iv = bytes(16)
message = bytes(1 << 20)
sealed = kestrelbox.aes_encode(message, key, iv)[1]

def long_calls():
    while True:
        kestrelbox.aes_encode(message, key, iv)
        kestrelbox.aes_decode(sealed, key, iv)

def diagnostics():
    while True:
        kestrelbox.aes_encode(b"", key, iv)

for loop in LOOPS:
    threading.Thread(target=loop, daemon=True).start()
time.sleep(0.2)
print("last line")
"""


@pytest.mark.parametrize(
    "loops", ["[long_calls] * 8", "[diagnostics] * 8"], ids=["long-calls", "diagnostics"]
)
def test_daemon_threads_in_the_module_at_exit_never_abort_the_process(loops: str) -> None:
    environment = {name: value for name, value in os.environ.items() if name != "PYTHONUNBUFFERED"}
    script = EXIT_SCRIPT.replace("LOOPS", loops)
    # 20 runs, five at a time.
    for _ in range(4):
        runs = [
            subprocess.Popen(
                [sys.executable, "-c", script],
                stdout=subprocess.PIPE,
                stderr=subprocess.PIPE,
                text=True,
                env=environment,
            )
            for _ in range(5)
        ]
        for run in runs:
            stdout, stderr = run.communicate(timeout=120)
            assert run.returncode == 0, stderr
            assert "last line" in stdout.splitlines()
