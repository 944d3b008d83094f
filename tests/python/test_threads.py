"""Eight threads calling both functions at once, each with its own key and
messages, all get the reference results."""

import os
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
