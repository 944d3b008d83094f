"""Repeated calls on every path, success and failure, keep resident memory
flat; a valgrind run finds no definite leak from the module."""

import os
import re
import shutil
import subprocess
import sys
from collections.abc import Callable
from pathlib import Path
from typing import Any

import pytest

import kestrelbox
from conftest import seal

KEY = bytes(range(16))
IV = bytes(range(16, 32))
# Under qemu-user (tools/arm64-run says so) every call is some fifty times
# slower; a tenth of the calls still shows a leak of a hundred bytes a call.
EMULATED = "KESTRELBOX_EMULATOR" in os.environ
CALLS = 20_000 if EMULATED else 200_000
# Resident and peak memory are read from /proc, and address-space limits set
# through resource: Windows has neither.
needs_proc = pytest.mark.skipif(
    sys.platform == "win32", reason="reads /proc and sets limits with resource: not on Windows"
)


def resident_bytes() -> int:
    return int(Path("/proc/self/statm").read_text().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def short_ciphertext_with_length_error() -> bytes:
    for first in range(256):
        for second in range(256):
            candidate = bytes([first, second, 7])
            try:
                kestrelbox.aes_decode(candidate, KEY, IV)
            except ValueError:
                return candidate
    raise AssertionError("no 3-byte ciphertext with a length error found")


def ciphertext_with_bad_padding() -> bytes:
    for n in range(256):
        candidate = bytes([n]) * 32
        if kestrelbox.aes_decode(candidate, KEY, IV) == (-1, None):
            return candidate
    raise AssertionError("no ciphertext with a final byte of 16 or more found")


SEALED = seal(b"x" * 1000, KEY, IV)
BAD_PADDING = ciphertext_with_bad_padding()
TOO_SHORT = short_ciphertext_with_length_error()
NOT_BYTES: Any = bytearray(b"x")
CASES: dict[str, Callable[[], object]] = {
    "encode": lambda: kestrelbox.aes_encode(b"x" * 1000, KEY, IV),
    "decode": lambda: kestrelbox.aes_decode(SEALED, KEY, IV),
    "encode-bad-key": lambda: kestrelbox.aes_encode(b"x", KEY[:15], IV),
    "decode-bad-iv": lambda: kestrelbox.aes_decode(SEALED, KEY, IV[:15]),
    "decode-empty": lambda: kestrelbox.aes_decode(b"", KEY, IV),
    "decode-status-minus-one": lambda: kestrelbox.aes_decode(BAD_PADDING, KEY, IV),
    "decode-value-error": lambda: kestrelbox.aes_decode(TOO_SHORT, KEY, IV),
    "encode-type-error": lambda: kestrelbox.aes_encode(NOT_BYTES, KEY, IV),
}
# No 32-bit interpreter can hold an object long enough to be refused.
if sys.maxsize >= 2**31:
    OVERSIZED = bytes(2**31)  # calloc'ed: costs address space, not resident memory
    CASES["decode-overflow-error"] = lambda: kestrelbox.aes_decode(OVERSIZED, KEY, IV)


@needs_proc
@pytest.mark.parametrize("case", CASES.values(), ids=CASES.keys())
def test_resident_memory_stays_flat(
    case: Callable[[], object], capfd: pytest.CaptureFixture[str]
) -> None:
    def run(times: int) -> None:
        for _ in range(times):
            try:
                case()
            except (ValueError, TypeError, OverflowError):
                pass

    run(CALLS // 10)  # warm-up: allocator pools, exception machinery
    before = resident_bytes()
    run(CALLS)
    growth = resident_bytes() - before
    capfd.readouterr()
    assert growth < 2 * 1024 * 1024, f"resident memory grew by {growth} bytes"


VALGRIND_SCRIPT = """
import kestrelbox
key, iv = bytes(16), bytes(range(16))
for n in (1, 15, 16, 17, 1000):
    status, sealed = kestrelbox.aes_encode(b"v" * n, key, iv)
    assert kestrelbox.aes_decode(sealed, key, iv) == (0, b"v" * n)
    assert kestrelbox.aes_decode(sealed, bytes(range(16, 32)), iv)[0] in (0, -1)
assert kestrelbox.aes_encode(b"", key, iv) == (-1, None)
for n in range(1, 16):
    try:
        kestrelbox.aes_decode(bytes(range(n)), key, iv)
    except ValueError:
        pass
for bad in (bytearray(1), "s", None):
    try:
        kestrelbox.aes_encode(bad, key, iv)
    except TypeError:
        pass
"""


@pytest.mark.skipif(shutil.which("valgrind") is None, reason="valgrind is not installed")
@pytest.mark.skipif(EMULATED, reason="valgrind cannot run an interpreter under qemu-user")
def test_valgrind_finds_no_definite_leak_from_the_module(tmp_path: Path) -> None:
    log = tmp_path / "memcheck.log"
    env = dict(os.environ, PYTHONMALLOC="malloc")
    subprocess.run(
        [
            "valgrind",
            "--tool=memcheck",
            "--leak-check=full",
            "--show-leak-kinds=definite",
            "--num-callers=40",
            f"--log-file={log}",
            sys.executable,
            "-c",
            VALGRIND_SCRIPT,
        ],
        env=env,
        check=True,
        capture_output=True,
        timeout=600,
    )
    report = log.read_text()
    assert "ERROR SUMMARY" in report
    # One block per record, separated by memcheck's empty "==pid==" lines.
    records = re.split(r"^==\d+== ?$", report, flags=re.M)
    ours = [record for record in records if "kestrelbox" in record]
    leaks = [record for record in ours if "definitely lost in loss record" in record]
    misuse = [
        record
        for record in ours
        if re.search(r"Invalid (read|write)|uninitialised|Conditional jump", record)
    ]
    assert not leaks, "\n".join(leaks)
    assert not misuse, "\n".join(misuse)


def run_child(script: str, *arguments: str) -> str:
    done = subprocess.run(
        [sys.executable, "-c", script, *arguments],
        capture_output=True,
        text=True,
        timeout=300,
        cwd=Path(__file__).parent,
    )
    assert done.returncode == 0, done.stderr
    return done.stdout


# Under an address-space limit swept around what a 32 MiB call needs, every
# call either gives the right result or raises MemoryError, and the module
# works again once the limit is lifted.
OUT_OF_MEMORY_SCRIPT = """
import resource, sys
import kestrelbox
from conftest import cbc_encrypt, pad

key, iv = bytes(range(16)), bytes(range(16, 32))
message = bytes(range(256)) * (32 << 12) + b"tail"
sealed = cbc_encrypt(pad(message), key, iv)
cases = {"encode": (kestrelbox.aes_encode, message, (0, sealed)),
         "decode": (kestrelbox.aes_decode, sealed, (0, message))}

def address_space():
    for line in open("/proc/self/status"):
        if line.startswith("VmSize:"):
            return int(line.split()[1]) * 1024

outcomes = set()
for name, (function, data, expected) in cases.items():
    for headroom in range(0, 48 << 20, 1 << 20):
        resource.setrlimit(resource.RLIMIT_AS, (address_space() + headroom, resource.RLIM_INFINITY))
        try:
            outcome = "right" if function(data, key, iv) == expected else "wrong"
        except MemoryError:
            outcome = "MemoryError"
        except BaseException as error:
            outcome = repr(error)
        resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
        outcomes.add((name, outcome))
    assert function(data, key, iv) == expected
print(sorted(outcomes))
"""


def address_space_limit_holds() -> bool:
    """Whether RLIMIT_AS takes: qemu-user, which needs the address space
    itself, accepts the limit and ignores it."""
    import resource

    soft, hard = resource.getrlimit(resource.RLIMIT_AS)
    resource.setrlimit(resource.RLIMIT_AS, (1 << 46, hard))
    taken = resource.getrlimit(resource.RLIMIT_AS)[0] == 1 << 46
    resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
    return taken


@needs_proc
@pytest.mark.skipif(
    sys.platform != "win32" and not address_space_limit_holds(),
    reason="the address-space limit is not enforced",
)
def test_out_of_memory_is_memory_error_and_nothing_else() -> None:
    outcomes = run_child(OUT_OF_MEMORY_SCRIPT).strip()
    both = "('{0}', 'MemoryError'), ('{0}', 'right')"
    assert outcomes == f"[{both.format('decode')}, {both.format('encode')}]"


# A fresh process holding the input: one call may raise its peak resident
# memory by little more than the result itself (no second buffer of the
# message's size).
PEAK_SCRIPT = """
import sys
from pathlib import Path
import kestrelbox

def status(field):
    for line in open("/proc/self/status"):
        if line.startswith(field + ":"):
            return int(line.split()[1]) * 1024

function = getattr(kestrelbox, sys.argv[1])
data = Path(sys.argv[2]).read_bytes()
key, iv = bytes(range(16)), bytes(range(16, 32))
before = status("VmRSS")
result = function(data, key, iv)[1]
print((status("VmHWM") - before) / len(result))
"""


@needs_proc
@pytest.mark.parametrize("direction", ["aes_encode", "aes_decode"])
def test_one_call_adds_little_more_than_its_result_to_peak_memory(
    direction: str, tmp_path: Path
) -> None:
    message = os.urandom(64 << 20)
    data = message if direction == "aes_encode" else seal(message, KEY, IV)
    path = tmp_path / "input"
    path.write_bytes(data)
    del message, data
    ratio = float(run_child(PEAK_SCRIPT, direction, str(path)))
    assert ratio <= 1.25, f"peak resident memory rose by {ratio:.2f}x the result"
