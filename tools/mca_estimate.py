#!/usr/bin/env python3
"""Estimates, for processors these machines cannot time, the cycles a byte
of CBC: on ARM64, encryption on the vector-permute and the bitsliced paths;
on POWER9, both directions on the POWER8 path. Each file is compiled by
Debian's cross compiler at the release flags (and the flags CMakeLists.txt
adds to it), its per-block loop (the outermost loop of the function, from
its label to the branch back) is cut out, and llvm-mca runs it as a loop on
Cortex-A53 and Cortex-A72 models, or POWER9's; CBC's chain from one block
to the next is a register dependency, so the serial latency is counted.

Beside each POWER figure, the floor that the crypto instructions set, from
the latency and reciprocal throughput llvm-mca's model gives them: ten
VCIPHERs one after another a block when encrypting; when decrypting, one
block's ten VNCIPHERs shared by the eight in flight, or the unit's
throughput of ten a block, whichever is more.

The bitsliced path calls its S-box circuit in another file; for a loop
without calls, which llvm-mca needs, both files are compiled as one with
inlining and loop peeling unlimited.

    python3.12 tools/mca_estimate.py    (needs g++-aarch64-linux-gnu,
                                         g++-powerpc64le-linux-gnu, llvm)
"""

import pathlib
import re
import subprocess
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
FLAGS = ["-std=c++17", "-O3", "-DNDEBUG", f"-I{ROOT}"]
UNLIMITED = [f"--param={p}=100000" for p in (
    "max-inline-insns-single", "max-inline-insns-auto", "inline-unit-growth",
    "large-function-growth", "max-completely-peeled-insns")] + ["--param=max-completely-peel-times=64"]
PATHS = {
    "vperm": (["aes/vperm/cbc_encrypt_vperm.cpp"], []),
    "bitsliced": (["aes/bitsliced/sub_bytes_bitsliced.cpp", "aes/bitsliced/cbc_encrypt_bitsliced.cpp"],
                  UNLIMITED),
}
CPUS = ["cortex-a53", "cortex-a72"]
ITERATIONS = 100
# The POWER8 path: direction, file, function, blocks a loop iteration.
POWER_PATHS = [
    ("encrypt", "aes/ppc/cbc_encrypt_power8.cpp", "_Z18cbc_encrypt_power8R14aes128_contextPhPKhm", 1),
    ("decrypt", "aes/ppc/cbc_decrypt_power8.cpp", "_Z18cbc_decrypt_power8R14aes128_contextPhPKhm", 8),
]
POWER_FLAGS = ["-mcpu=power8"]
POWER_CPU = "pwr9"


def block_loop(assembly, function):
    """The instructions of the outermost loop of `function`."""
    lines = assembly.splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith(function + ":"))
    end = next(i for i in range(start, len(lines)) if lines[i].strip().startswith(".size"))
    labels = {m.group(1): i for i in range(start, end) if (m := re.match(r"^(\.L\w+):", lines[i]))}
    loops = []
    for i in range(start, end):
        m = re.match(r"^\s+(b\.\w+|b[a-z]+|cbnz|cbz)\s+(?:\w+,\s*)?(\.L\w+)$", lines[i])
        if m and m.group(2) in labels and labels[m.group(2)] < i:
            loops.append((i - labels[m.group(2)], labels[m.group(2)], i))
    _, first, last = max(loops)
    body = [line for line in lines[first + 1:last + 1] if not line.lstrip().startswith((".", "//", "#"))]
    assert not any(re.match(r"^\s+bl\s", line) for line in body), "a call in the loop"
    return "\n".join(body) + "\n"


def mca(triple, cpu, loop):
    """llvm-mca's report on `loop` run ITERATIONS times."""
    return subprocess.run(["llvm-mca", f"-mtriple={triple}", f"-mcpu={cpu}", f"-iterations={ITERATIONS}", str(loop)],
                          check=True, capture_output=True, text=True).stdout


def timing(report, mnemonic):
    """The latency and reciprocal throughput the model gives `mnemonic`."""
    m = re.search(r"^\s*\d+\s+(\d+)\s+([\d.]+)\s.*\s" + mnemonic + r"\s", report, re.M)
    return int(m.group(1)), float(m.group(2))


def power(tmp):
    """The POWER8 path's rows on POWER9: cycles a byte and the floor."""
    rows = []
    for direction, source, function, blocks in POWER_PATHS:
        assembly = subprocess.run(["powerpc64le-linux-gnu-g++", *FLAGS, *POWER_FLAGS, "-S", "-o", "-",
                                   str(ROOT / source)], check=True, capture_output=True, text=True).stdout
        loop = pathlib.Path(tmp, f"power8-{direction}.s")
        loop.write_text(block_loop(assembly, function))
        report = mca("powerpc64le-linux-gnu", POWER_CPU, loop)
        cycles = int(re.search(r"Total Cycles:\s+(\d+)", report).group(1)) / ITERATIONS / blocks
        latency, throughput = timing(report, "vcipher" if direction == "encrypt" else "vncipher")
        floor = 10 * latency if blocks == 1 else max(10 * latency / blocks, 10 * throughput)
        rows.append(f"| power8 | {direction} | {blocks} | {cycles:.1f} | {cycles / 16:.2f} | "
                    f"{floor:.1f} | {floor / 16:.2f} |")
    return [f"\n| path | direction | blocks in flight | {POWER_CPU} cycles/block | cycles/byte "
          "| floor cycles/block | floor cycles/byte |", "|---|---|---:|---:|---:|---:|---:|", *rows]


def main():
    results = {}
    with tempfile.TemporaryDirectory() as tmp:
        for name, (sources, extra) in PATHS.items():
            unit = pathlib.Path(tmp, f"{name}.cpp")
            unit.write_text("".join(f'#include "{s}"\n' for s in sources))
            assembly = subprocess.run(["aarch64-linux-gnu-g++", *FLAGS, *extra, "-S", "-o", "-", str(unit)],
                                      check=True, capture_output=True, text=True).stdout
            loop = pathlib.Path(tmp, f"{name}.s")
            loop.write_text(block_loop(assembly, f"_Z{len('cbc_encrypt_' + name)}cbc_encrypt_{name}"
                                                 "R14aes128_contextPhPKhm"))
            for cpu in CPUS:
                report = mca("aarch64-linux-gnu", cpu, loop)
                cycles = int(re.search(r"Total Cycles:\s+(\d+)", report).group(1))
                results[name, cpu] = cycles / ITERATIONS
        power_rows = power(tmp)
    print("| path | " + " | ".join(f"{cpu} cycles/block | {cpu} cycles/byte" for cpu in CPUS) + " |")
    print("|---|" + "---:|" * 2 * len(CPUS))
    for name in PATHS:
        print(f"| {name} | " + " | ".join(f"{results[name, cpu]:.0f} | {results[name, cpu] / 16:.1f}"
                                          for cpu in CPUS) + " |")
    print("\n".join(power_rows))


if __name__ == "__main__":
    main()
