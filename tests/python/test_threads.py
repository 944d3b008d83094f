"""Eight threads calling both functions at once, each with its own key and
messages, all get the reference results; a diagnostic line written into a
pipe that a thread of the same process drains does not deadlock."""

import os
import subprocess
import sys
import threading

import kestrelbox
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


# Far more lines than a pipe holds: the writer must wait for the draining
# thread, which can only run if the writer has let go of the interpreter.
SELF_DRAINED_PIPE_SCRIPT = """
import os, threading
import kestrelbox

read_end, write_end = os.pipe()
saved_stdout = os.dup(1)
os.dup2(write_end, 1)
os.close(write_end)
received = []

def drain():
    while chunk := os.read(read_end, 1 << 16):
        received.append(len(chunk))

reader = threading.Thread(target=drain)
reader.start()
for _ in range(10_000):
    assert kestrelbox.aes_encode(b"", bytes(16), bytes(16)) == (-1, None)
os.dup2(saved_stdout, 1)
reader.join()
print(sum(received))
"""


def test_a_pipe_drained_by_a_thread_of_the_same_process_does_not_deadlock() -> None:
    done = subprocess.run(
        [sys.executable, "-c", SELF_DRAINED_PIPE_SCRIPT],
        capture_output=True,
        text=True,
        timeout=60,
    )
    assert done.returncode == 0, done.stderr
    assert int(done.stdout) == 10_000 * len("key iv length must 16\n")


# Daemon threads still in the module, some of them writing the diagnostic line
# without the interpreter lock, when the interpreter finalizes. sys.stdout is
# left buffered, so a process that dies at exit loses its last line.
EXIT_SCRIPT = """
import threading, time
import kestrelbox

key = iv = bytes(16)
sealed = kestrelbox.aes_encode(bytes(100), key, iv)[1]

def loop():
    while True:
        kestrelbox.aes_encode(bytes(100), key, iv)
        kestrelbox.aes_decode(sealed, key, iv)
        for _ in range(10):
            kestrelbox.aes_encode(b"", key, iv)

for _ in range(4):
    threading.Thread(target=loop, daemon=True).start()
time.sleep(0.2)
print("last line")
"""


def test_daemon_threads_in_the_module_at_exit_never_abort_the_process() -> None:
    environment = {name: value for name, value in os.environ.items() if name != "PYTHONUNBUFFERED"}
    runs = [
        subprocess.Popen(
            [sys.executable, "-c", EXIT_SCRIPT],
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            text=True,
            env=environment,
        )
        for _ in range(20)
    ]
    for run in runs:
        stdout, stderr = run.communicate(timeout=120)
        assert run.returncode == 0, stderr
        assert "last line" in stdout.splitlines()
