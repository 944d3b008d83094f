"""kestrelbox against the libraries a Python user would reach for: pyca/
cryptography (OpenSSL) and PyCryptodome, encoding and decoding, in one
process, the way a program calls them: the plain loop (call, drop the
result, call again), sizes from small to large, with the minor page faults
per call counted beside the time. Writes a markdown table, the machine's
`openssl speed` figures, and a log-log plot of throughput against message
size. Then the small calls beside the floor that any pybind11 function of
their signature stands on, the same loop in 1 and 2 threads at once, and
how long a thread that wakes every millisecond waits while another encodes
256 MiB.

The tables go to docs/_generated/, which the performance page includes and
whose figures alone the README and the page's prose may quote (`make docs`
checks): one run, one unit (MB/s of 10^6 bytes). With --engine, the
engine micro-benchmark's JSON output becomes the engine's tables there
instead, the codec alone's time a call among them."""

import argparse
import json
import os
import platform
import re
import resource
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

from Crypto.Cipher import AES
from Crypto.Util.Padding import pad, unpad
from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

import kestrelbox

SIZES = [16, 256, 4096, 64 << 10, 1 << 20, 16 << 20]
KEY = os.urandom(16)
IV = os.urandom(16)


def cryptography_encode(data, key, iv):
    padder = padding.PKCS7(128).padder()
    padded = padder.update(data) + padder.finalize()
    encryptor = Cipher(algorithms.AES(key), modes.CBC(iv)).encryptor()
    return encryptor.update(padded) + encryptor.finalize()


def cryptography_decode(ciphertext, key, iv):
    decryptor = Cipher(algorithms.AES(key), modes.CBC(iv)).decryptor()
    padded = decryptor.update(ciphertext) + decryptor.finalize()
    unpadder = padding.PKCS7(128).unpadder()
    return unpadder.update(padded) + unpadder.finalize()


def pycryptodome_encode(data, key, iv):
    return AES.new(key, AES.MODE_CBC, iv).encrypt(pad(data, 16))


def pycryptodome_decode(ciphertext, key, iv):
    return unpad(AES.new(key, AES.MODE_CBC, iv).decrypt(ciphertext), 16)


def kestrelbox_encode(data, key, iv):
    return kestrelbox.aes_encode(data, key, iv)[1]


def kestrelbox_decode(ciphertext, key, iv):
    return kestrelbox.aes_decode(ciphertext, key, iv)[1]


LIBRARIES = {
    "kestrelbox": (kestrelbox_encode, kestrelbox_decode),
    "cryptography": (cryptography_encode, cryptography_decode),
    "pycryptodome": (pycryptodome_encode, pycryptodome_decode),
}


def minor_faults():
    return resource.getrusage(resource.RUSAGE_SELF).ru_minflt


def plain_loop(function, argument, budget, repeats):
    """Median time of one call over `repeats` runs of the plain loop, each
    long enough to fill its share of the budget, and the minor page faults
    per call over all of them."""
    loops = 1
    while True:
        start = time.perf_counter()
        for _ in range(loops):
            function(argument, KEY, IV)
        elapsed = time.perf_counter() - start
        if elapsed >= budget / repeats / 4 or loops >= 1 << 22:
            break
        loops *= 2
    runs = []
    faults = minor_faults()
    for _ in range(repeats):
        start = time.perf_counter()
        for _ in range(loops):
            function(argument, KEY, IV)
        runs.append((time.perf_counter() - start) / loops)
    return statistics.median(runs), (minor_faults() - faults) / (loops * repeats)


def warm_up(seconds=1.0):
    """Run every function for a while first, so the first figures are not
    taken while the processor is still raising its clock."""
    message = os.urandom(4096)
    deadline = time.perf_counter() + seconds
    while time.perf_counter() < deadline:
        for encode, decode in LIBRARIES.values():
            decode(encode(message, KEY, IV), KEY, IV)


def measure(budget, repeats):
    warm_up()
    results = {}  # (library, direction, size) -> (seconds, minor faults) per call
    for size in SIZES:
        message = os.urandom(size)
        ciphertexts = {
            name: functions[0](message, KEY, IV) for name, functions in LIBRARIES.items()
        }
        for name, (encode, decode) in LIBRARIES.items():
            assert decode(ciphertexts[name], KEY, IV) == message, name
            results[name, "encode", size] = plain_loop(encode, message, budget, repeats)
            results[name, "decode", size] = plain_loop(decode, ciphertexts[name], budget, repeats)
    return results


def label(size):
    if size >= 1 << 20:
        return f"{size >> 20} MiB"
    return f"{size >> 10} KiB" if size >= 1024 else f"{size} B"


def table(results):
    lines = [
        "| direction | size | kestrelbox µs | kestrelbox MB/s | cryptography µs | pycryptodome µs "
        "| × cryptography | × pycryptodome | faults per call (k / c / p) |",
        "|---|---:|---:|---:|---:|---:|---:|---:|---:|",
    ]
    for direction in ("encode", "decode"):
        for size in SIZES:
            ours = results["kestrelbox", direction, size][0]
            theirs = [results[name, direction, size][0] for name in ("cryptography", "pycryptodome")]
            faults = " / ".join(
                f"{results[name, direction, size][1]:.1f}" for name in LIBRARIES
            )
            lines.append(
                f"| {direction} | {label(size)} | {ours * 1e6:,.2f} | {size / ours / 1e6:,.0f} | "
                f"{theirs[0] * 1e6:,.2f} | {theirs[1] * 1e6:,.2f} | "
                f"{theirs[0] / ours:.1f} | {theirs[1] / ours:.1f} | {faults} |"
            )
    return "\n".join(lines)


def floor_table(repeats, calls=200_000):
    """ns a call of the 16-byte encode and the 32-byte decode beside a
    pybind11 function of the same signature that does nothing
    (bench/floor_module.cpp, which `make bench` builds into build/bench):
    interleaved, best of `repeats` runs of `calls` calls each."""
    sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "build" / "bench"))
    try:
        from kestrelbox_floor import floor_call
    except ImportError:
        return "(no floor row: build/bench/kestrelbox_floor is built by make bench)"
    message = os.urandom(16)
    sealed = kestrelbox.aes_encode(message, KEY, IV)[1]
    assert len(sealed) == 32 and kestrelbox.aes_decode(sealed, KEY, IV) == (0, message)
    rows = {
        "pybind11 floor: (bytes, bytes, bytes) → (0, 32 bytes), no work": (floor_call, message),
        "kestrelbox.aes_encode of 16 B": (kestrelbox.aes_encode, message),
        "kestrelbox.aes_decode of 32 B": (kestrelbox.aes_decode, sealed),
    }
    best = dict.fromkeys(rows, float("inf"))
    for _ in range(repeats):
        for name, (function, argument) in rows.items():
            start = time.perf_counter()
            for _ in range(calls):
                function(argument, KEY, IV)
            best[name] = min(best[name], (time.perf_counter() - start) / calls)
    floor = best[next(iter(rows))]
    lines = ["| call (interleaved, best of runs) | ns a call | × floor |", "|---|---:|---:|"]
    lines += [
        f"| {name} | {seconds * 1e9:,.0f} | {seconds / floor:.2f} |" for name, seconds in best.items()
    ]
    return "\n".join(lines)


THREAD_SIZES = [4 << 10, 64 << 10, 1 << 20, 16 << 20]
THREAD_PEERS = ("kestrelbox", "cryptography")


def threaded_rate(function, argument, threads, seconds):
    """Aggregate MB/s of `threads` threads each running the plain loop over
    `argument` for about `seconds`, best of 5."""
    calls = 1
    while True:
        start = time.perf_counter()
        for _ in range(calls):
            function(argument, KEY, IV)
        if time.perf_counter() - start >= seconds / 5 or calls >= 1 << 20:
            break
        calls *= 2
    calls = max(1, int(calls * seconds / max(time.perf_counter() - start, 1e-9)))

    def loop(barrier):
        barrier.wait()
        for _ in range(calls):
            function(argument, KEY, IV)

    best = 0.0
    for _ in range(5):
        barrier = threading.Barrier(threads + 1)
        workers = [threading.Thread(target=loop, args=(barrier,)) for _ in range(threads)]
        for worker in workers:
            worker.start()
        barrier.wait()
        start = time.perf_counter()
        for worker in workers:
            worker.join()
        best = max(best, threads * calls * len(argument) / (time.perf_counter() - start) / 1e6)
    return best


def threads_table(seconds):
    lines = [
        "| direction | size | kestrelbox 1 → 2 threads MB/s | × | "
        "cryptography 1 → 2 threads MB/s | × | 2 threads: kestrelbox / cryptography |",
        "|---|---:|---:|---:|---:|---:|---:|",
    ]
    for direction in ("encode", "decode"):
        for size in THREAD_SIZES:
            message = os.urandom(size)
            rates = {}
            for name in THREAD_PEERS:
                encode, decode = LIBRARIES[name]
                function, argument = encode, message
                if direction == "decode":
                    function, argument = decode, encode(message, KEY, IV)
                rates[name] = [threaded_rate(function, argument, n, seconds) for n in (1, 2)]
            cells = [
                f"{one:,.0f} → {two:,.0f} | {two / one:.2f}" for one, two in rates.values()
            ]
            ratio = rates["kestrelbox"][1] / rates["cryptography"][1]
            lines.append(f"| {direction} | {label(size)} | {' | '.join(cells)} | {ratio:.2f} |")
    return "\n".join(lines)


def longest_tick(encode, size=256 << 20):
    """The longest wait, in ms, of a thread that sleeps 1 ms at a time while
    another thread encodes `size` bytes, best of 3."""
    message = bytes(size)
    best = float("inf")
    for _ in range(3):
        done = threading.Event()
        gaps = []

        def tick():
            last = time.perf_counter()
            while not done.is_set():
                time.sleep(0.001)
                now = time.perf_counter()
                gaps.append(now - last)
                last = now

        ticker = threading.Thread(target=tick)
        ticker.start()
        time.sleep(0.05)
        encode(message, KEY, IV)
        done.set()
        ticker.join()
        best = min(best, max(gaps) * 1e3)
    return best


def openssl_speed(size, decrypt):
    """MB/s of `openssl speed -evp aes-128-cbc` at one block size."""
    command = ["openssl", "speed", "-evp", "aes-128-cbc", "-bytes", str(size), "-seconds", "2"]
    if decrypt:
        command.insert(2, "-decrypt")
    try:
        done = subprocess.run(command, capture_output=True, text=True, check=True)
    except (OSError, subprocess.CalledProcessError):
        return None
    match = re.search(r"^(?:AES-128-CBC|aes-128-cbc)\s+([\d.]+)k", done.stdout, re.M | re.I)
    return float(match.group(1)) * 1000 / 1e6 if match else None


def cpu_name():
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or platform.machine()


def plot(results, path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    figure, axes = plt.subplots(1, 2, figsize=(11, 4.2), sharey=True)
    for axis, direction in zip(axes, ("encode", "decode")):
        for name in LIBRARIES:
            speeds = [size / results[name, direction, size][0] / 1e6 for size in SIZES]
            axis.plot(SIZES, speeds, marker="o", label=name)
        axis.set_xscale("log", base=2)
        axis.set_yscale("log")
        axis.set_xticks(SIZES, [label(size) for size in SIZES])
        axis.set_title(f"aes-128-cbc {direction}")
        axis.set_xlabel("message size")
        axis.grid(True, which="both", alpha=0.3)
    axes[0].set_ylabel("MB/s (higher is better)")
    axes[0].legend()
    figure.suptitle(f"Throughput on {cpu_name()}, the plain loop, one call per message")
    figure.tight_layout()
    path.parent.mkdir(parents=True, exist_ok=True)
    figure.savefig(path, dpi=110)


def openssl_table(results):
    lines = ["| openssl speed -evp aes-128-cbc | 16 B MB/s | 1 MiB MB/s |", "|---|---:|---:|"]
    for decrypt, ours in ((False, "encode"), (True, "decode")):
        figures = [openssl_speed(size, decrypt) for size in (16, 1 << 20)]
        shown = ["n/a" if figure is None else f"{figure:,.0f}" for figure in figures]
        lines.append(f"| openssl {'decrypt' if decrypt else 'encrypt'} | {shown[0]} | {shown[1]} |")
        speeds = [size / results["kestrelbox", ours, size][0] / 1e6 for size in (16, 1 << 20)]
        lines.append(f"| kestrelbox {ours}, whole Python call | {speeds[0]:,.0f} | {speeds[1]:,.0f} |")
    return "\n".join(lines)


def ticker_table():
    lines = ["| longest wait of a 1 ms ticker while another thread encodes 256 MiB | ms |", "|---|---:|"]
    for name in THREAD_PEERS:
        lines.append(f"| {name} | {longest_tick(LIBRARIES[name][0]):,.1f} |")
    return "\n".join(lines)


ENGINE_SIZES = (16, 1024, 64 << 10)
CODEC_BLOCKS = (1, 2, 4)
TIME_UNITS = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}


def engine_tables(report):
    """The engine's MB/s for each path, direction and size from Google
    Benchmark's JSON report, each path against the bitsliced one, and the
    codec alone (key schedule, padding and wipes, no Python) in ns a call."""
    speeds = {}  # path -> {(direction, size): MB/s}
    codec = {}  # (direction, size) -> ns a call
    for run in report["benchmarks"]:
        if run.get("error_occurred") or run.get("run_type", "iteration") != "iteration":
            continue
        direction, path, size = run["name"].split("/")[:3]
        if direction == "codec":
            codec[path, int(size)] = run["real_time"] * TIME_UNITS[run["time_unit"]]
        else:
            speeds.setdefault(path, {})[direction, int(size)] = run["bytes_per_second"] / 1e6
    columns = [(direction, size) for direction in ("encrypt", "decrypt") for size in ENGINE_SIZES]
    header = " | ".join(f"{direction} {label(size)}" for direction, size in columns) + " |"
    rule = "|---|" + "---:|" * len(columns)
    rates = [f"| path, MB/s | {header}", rule]
    ratios = [f"| path, × bitsliced | {header}", rule]
    for path, figures in speeds.items():
        rates.append(f"| {path} | " + " | ".join(f"{figures[c]:,.0f}" for c in columns) + " |")
        ratios.append(
            f"| {path} | " + " | ".join(f"{figures[c] / speeds['bitsliced'][c]:.2f}" for c in columns) + " |"
        )
    calls = [
        "| the codec alone (blocks of message or ciphertext), ns a call | " + " | ".join(
            f"{blocks} block{'s' * (blocks > 1)}" for blocks in CODEC_BLOCKS
        ) + " |",
        "|---|" + "---:|" * len(CODEC_BLOCKS),
    ]
    for direction in ("encode", "decode"):
        calls.append(
            f"| {direction} | "
            + " | ".join(f"{codec[direction, 16 * blocks]:,.1f}" for blocks in CODEC_BLOCKS)
            + " |"
        )
    return "\n\n".join("\n".join(table) for table in (rates, ratios, calls))


def write(directory, name, text):
    directory.mkdir(parents=True, exist_ok=True)
    (directory / name).write_text(text + "\n", encoding="utf-8")
    print(f"{text}\n\n(written to {directory / name})\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--budget", type=float, default=1.0, help="seconds per measurement")
    parser.add_argument("--repeats", type=int, default=7)
    parser.add_argument("--plot", type=Path, default=Path("docs/throughput.png"))
    parser.add_argument("--tables", type=Path, default=Path("docs/_generated"))
    parser.add_argument("--engine", type=Path, help="bench_engine's --benchmark_out JSON")
    arguments = parser.parse_args()

    if arguments.engine:
        write(arguments.tables, "engine.md", engine_tables(json.loads(arguments.engine.read_text())))
        return
    print(f"CPU: {cpu_name()}; Python {platform.python_version()}")
    results = measure(arguments.budget, arguments.repeats)
    write(arguments.tables, "calls.md", table(results))
    write(arguments.tables, "openssl.md", openssl_table(results))
    plot(results, arguments.plot)
    print(f"plot written to {arguments.plot}\n")
    write(arguments.tables, "floor.md", floor_table(arguments.repeats))
    write(arguments.tables, "threads.md", threads_table(arguments.budget / 4))
    write(arguments.tables, "ticker.md", ticker_table())


if __name__ == "__main__":
    main()
