#!/usr/bin/env python3
"""Estimates, for processors these machines cannot time, the cycles a byte
of CBC: on ARM, encryption on each path, each path's encryption file is compiled
by Debian's cross compiler at the release flags (and the flags CMake gives
that file), its per-block loop (the outermost loop of the function, from its
label to the branch back) is cut out, and llvm-mca runs it as a loop on a
core model: Cortex-A53 and Cortex-A72 for ARM64, Cortex-A72 for 32-bit ARM
(llvm 14 has no Cortex-A53 model in AArch32). CBC's chain from one block to
the next is a register dependency, so the serial latency is counted. Beside
each estimate of a vector path stands its chain's floor, which no issue
width can shorten: the longest dependent sequence of the loop's
instructions from a value it carries (a register or a stack slot) to that
value's copy for the next block, timed by llvm-mca on its own, so that the
model's latencies and forwarding apply.

The bitsliced path calls its S-box circuit in another file; for a loop
without calls, which llvm-mca needs, both files are compiled as one with
inlining and loop peeling unlimited.

On POWER9, both directions of the POWER8 path, beside the floor that the
crypto instructions set, from the latency and reciprocal throughput
llvm-mca's model gives them: ten VCIPHERs one after another a block when
encrypting; when decrypting, one block's ten VNCIPHERs shared by the eight
in flight, or the unit's throughput of ten a block, whichever is more.

On RISC-V, both directions of the Zvkned path on SiFive's P670 (128-bit
vectors, so four blocks a group when decrypting), compiled and timed in
the sid root (tools/sid-root), whose GCC has the vector intrinsics and
whose llvm-mca the vector crypto instructions' timings, beside the floor
that the AES instructions set: ten VAESEMs one after another a block when
encrypting; ten VAESDMs a group when decrypting, each taking its latency
or its reciprocal throughput, whichever is more, shared by the group's
blocks. Each vsetvli's element width and group size are handed to llvm-mca,
which otherwise times every vector instruction at the largest group.

    python3.12 tools/mca_estimate.py
        (needs g++-aarch64-linux-gnu, g++-arm-linux-gnueabihf,
         g++-powerpc64le-linux-gnu, llvm; and the sid root, where it
         installs what the RISC-V rows need)
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
BITSLICED = ["aes/bitsliced/sub_bytes_bitsliced.cpp", "aes/bitsliced/cbc_encrypt_bitsliced.cpp"]
CRYPTO32 = ["-march=armv8-a+crypto", "-mfpu=crypto-neon-fp-armv8"]
# Each target: its compiler, llvm-mca's triple, the core models, the mangled
# tail of the functions' names (std::uint64_t is unsigned long on ARM64,
# unsigned long long on 32-bit ARM), and each path's sources and flags.
TARGETS = {
    "ARM64": ("aarch64-linux-gnu-g++", "aarch64-linux-gnu", ["cortex-a53", "cortex-a72"], "m", {
        "armv8": (["aes/arm/cbc_encrypt_armv8.cpp"], ["-march=armv8-a+crypto"]),
        "vperm": (["aes/vperm/cbc_encrypt_vperm.cpp"], []),
        "bitsliced": (BITSLICED, UNLIMITED),
    }),
    "32-bit ARM": ("arm-linux-gnueabihf-g++", "thumbv8-linux-gnueabihf", ["cortex-a72"], "y", {
        "armv8": (["aes/arm/cbc_encrypt_armv8.cpp"], CRYPTO32),
        "vperm": (["aes/vperm/cbc_encrypt_vperm.cpp"], ["-mfpu=neon"]),
        "bitsliced": (BITSLICED, UNLIMITED),
    }),
}
ITERATIONS = 100
# The POWER8 path: direction, file, function, blocks a loop iteration.
POWER_PATHS = [
    ("encrypt", "aes/ppc/cbc_encrypt_power8.cpp", "_Z18cbc_encrypt_power8R14aes128_contextPhPKhm", 1),
    ("decrypt", "aes/ppc/cbc_decrypt_power8.cpp", "_Z18cbc_decrypt_power8R14aes128_contextPhPKhm", 8),
]
POWER_FLAGS = ["-mcpu=power8"]
POWER_CPU = "pwr9"
# The Zvkned path: direction, file, function, blocks a loop iteration.
RISCV_PATHS = [
    ("encrypt", "aes/riscv/cbc_encrypt_zvkned.cpp", "_Z18cbc_encrypt_zvknedR14aes128_contextPhPKhm", 1),
    ("decrypt", "aes/riscv/cbc_decrypt_zvkned.cpp", "_Z18cbc_decrypt_zvknedR14aes128_contextPhPKhm", 4),
]
RISCV_FLAGS = ["-march=rv64gcv_zvkned"]
RISCV_CPU = "sifive-p670"
# A branch to a local label: ARM's and POWER's (bne, bdnz) and RISC-V's
# (bne a4,a5), not a call (bl).
BRANCH = re.compile(r"^\s+(?!bl\s)(b\.\w+|b[a-z]*|cbnz|cbz)\s+(?:\w+,\s*){0,2}(\.L\w+)$")


def block_loop(assembly, function):
    """The instructions of the outermost loop of `function`."""
    lines = assembly.splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith(function + ":"))
    end = next(i for i in range(start, len(lines)) if lines[i].strip().startswith(".size"))
    labels = {m.group(1): i for i in range(start, end) if (m := re.match(r"^(\.L\w+):", lines[i]))}
    loops = []
    for i in range(start, end):
        m = BRANCH.match(lines[i])
        if m and m.group(2) in labels and labels[m.group(2)] < i:
            body = [line for line in lines[labels[m.group(2)] + 1:i + 1]
                    if line.strip() and not line.lstrip().startswith((".", "//", "#", "@"))]
            # A jump back over a call (to the code after a tail) is no loop
            # llvm-mca can run.
            if not any(re.match(r"^\s+bl\s", line) for line in body):
                loops.append((len(body), body))
    return "\n".join(max(loops)[1]) + "\n"


def registers(text, arm32):
    """The registers an operand text names, each as the unit that holds it:
    on ARM64 a vector register as v<n> and a general one as x<n> whatever
    their views; on 32-bit ARM a Q register as its two D registers (ranges
    expanded); a stack slot as sp+<offset>."""
    found = []
    for m in re.finditer(r"\{d(\d+)-d(\d+)\}|\[sp(?:, #(-?\d+))?\]|\b(ip|lr|fp)\b|\b([a-z])(\d+)\b", text):
        if m.group(1):
            found += [f"d{n}" for n in range(int(m.group(1)), int(m.group(2)) + 1)]
        elif m.group(0).startswith("[sp"):
            found.append(f"sp+{m.group(3) or 0}")
        elif m.group(4):
            found.append(m.group(4))
        else:
            kind, n = m.group(5), int(m.group(6))
            if arm32:
                found += {"q": [f"d{2 * n}", f"d{2 * n + 1}"], "s": [f"d{n // 2}"]}.get(kind, [f"{kind}{n}"])
            else:
                found.append(f"x{n}" if kind in "xw" else f"v{n}")
    return found


# Instructions whose first operand is read as well as written.
ACCUMULATE = re.compile(r"^(aes[de]|vbsl|vbit|vbif|vtbx|vmla|mla|ins|movk|movt|bfi|bif|bit|bsl|tbx)")
# Instructions that write no register but a written-back base: stores,
# compares, branches.
READ_ONLY = re.compile(r"^(st|vst|push|cmp|cmn|tst|teq|b|cb|it|pld|prfm)")


def chain(body, arm32):
    """The instructions of the longest path, counting instructions, from a
    register (or stack slot) the loop reads before it writes to that
    register's next value: the serial chain from one block to the next.
    A stack address taken into a register (add rN, sp, #k) counts as the
    slot it names."""
    steps, slot_of = [], {}
    for line in body:
        mnemonic, _, operands = line.strip().replace("\t", " ").partition(" ")
        operands = re.sub(r"\[(\w+)(?::\d+)?\](?!!)",
                          lambda m: f"[sp, #{slot_of[m.group(1)]}]" if m.group(1) in slot_of else m.group(0),
                          operands.split("@")[0])
        parts = re.split(r",\s*(?![^{]*\})(?![^\[]*\])", operands.strip())
        memory = [p for p in parts if "[" in p or p.startswith("#")]
        values = [p for p in parts if p not in memory]
        writeback = []
        if m := re.search(r"\[(\w+)[^\]]*\]!|\[(\w+)\]\s*,", operands):
            writeback = registers(m.group(1) or m.group(2), arm32)
        if READ_ONLY.match(mnemonic):
            dests, sources = writeback, registers(operands, arm32)
            if mnemonic.startswith(("st", "vst")):
                slots = [r for r in sources if r.startswith("sp+")]
                dests, sources = dests + slots, [r for r in sources if r not in slots]
        elif mnemonic.startswith(("ld", "vld")):
            dests, sources = registers(", ".join(values), arm32) + writeback, registers(", ".join(memory), arm32)
        else:
            dests = registers(parts[0], arm32) + writeback
            sources = registers(", ".join(parts[1:]), arm32)
            if ACCUMULATE.match(mnemonic):
                sources += registers(parts[0], arm32)
        for d in dests:
            slot_of.pop(d, None)
        if m := re.fullmatch(r"add (\w+), sp, #(\d+)", f"{mnemonic} {operands.strip()}"):
            slot_of[m.group(1)] = int(m.group(2))
        steps.append((dests, sources))
    written = {d for dests, _ in steps for d in dests}
    carried, seen = set(), set()
    for dests, sources in steps:
        carried |= {s for s in sources if s not in seen and s in written}
        seen |= set(dests)
    longest = []
    for start in sorted(carried):
        path = {start: []}
        for i, (dests, sources) in enumerate(steps):
            before = max((path[s] for s in sources if s in path), key=len, default=None)
            for d in dests:
                if before is not None:
                    path[d] = before + [i]
                else:
                    path.pop(d, None)
        longest = max(longest, path.get(start, []), key=len)
    return [body[i] for i in longest]


def cycles_a_block(loop, triple, cpu):
    """llvm-mca's cycles an iteration of the instructions in `loop`."""
    report = subprocess.run(["llvm-mca", f"-mtriple={triple}", f"-mcpu={cpu}", f"-iterations={ITERATIONS}",
                             str(loop)], check=True, capture_output=True, text=True).stdout
    return int(re.search(r"Total Cycles:\s+(\d+)", report).group(1)) / ITERATIONS


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


def in_sid_root(*command):
    """`command`'s output, run in the sid root (which sees this clone at
    its own path)."""
    return subprocess.run([str(ROOT / "tools/sid-root"), *command], check=True, capture_output=True,
                          text=True).stdout


def riscv():
    """The Zvkned path's rows on the P670: cycles a byte and the floor."""
    in_sid_root("tools/need-packages", "mca-riscv64")
    rows = []
    (ROOT / "build").mkdir(exist_ok=True)
    with tempfile.TemporaryDirectory(dir=ROOT / "build") as tmp:
        for direction, source, function, blocks in RISCV_PATHS:
            assembly = in_sid_root("riscv64-linux-gnu-g++", *FLAGS, *RISCV_FLAGS, "-S", "-o", "-",
                                   str(ROOT / source))
            lines = []
            for line in block_loop(assembly, function).splitlines():
                lines.append(line)
                if m := re.search(r"vset\w*\s+\w+,\w+,e(\d+),m(f?\d+)", line):
                    lines += [f"# LLVM-MCA-RISCV-LMUL M{m.group(2).upper()}",
                              f"# LLVM-MCA-RISCV-SEW E{m.group(1)}"]
            loop = pathlib.Path(tmp, f"zvkned-{direction}.s")
            loop.write_text("\n".join(lines) + "\n")
            report = in_sid_root("llvm-mca", "-mtriple=riscv64-linux-gnu", f"-mcpu={RISCV_CPU}",
                                 f"-iterations={ITERATIONS}", "-instruction-info", str(loop))
            cycles = int(re.search(r"Total Cycles:\s+(\d+)", report).group(1)) / ITERATIONS / blocks
            latency, throughput = timing(report, r"vaesem\.vv" if direction == "encrypt" else r"vaesdm\.vs")
            floor = 10 * latency if blocks == 1 else 10 * max(latency, throughput) / blocks
            rows.append(f"| zvkned | {direction} | {blocks} | {cycles:.1f} | {cycles / 16:.2f} | "
                        f"{floor:.1f} | {floor / 16:.2f} |")
    return [f"\n| path | direction | blocks in flight | {RISCV_CPU} cycles/block | cycles/byte "
            "| floor cycles/block | floor cycles/byte |", "|---|---|---:|---:|---:|---:|---:|", *rows]


def main():
    rows = []
    with tempfile.TemporaryDirectory() as tmp:
        for target, (compiler, triple, cpus, size_type, paths) in TARGETS.items():
            arm32 = target != "ARM64"
            for name, (sources, extra) in paths.items():
                unit = pathlib.Path(tmp, f"{name}.cpp")
                unit.write_text("".join(f'#include "{s}"\n' for s in sources))
                assembly = subprocess.run([compiler, *FLAGS, *extra, "-S", "-o", "-", str(unit)],
                                          check=True, capture_output=True, text=True).stdout
                function = f"_Z{len('cbc_encrypt_' + name)}cbc_encrypt_{name}R14aes128_contextPhPKh{size_type}"
                loop = pathlib.Path(tmp, f"{name}.s")
                loop.write_text(block_loop(assembly, function))
                serial = pathlib.Path(tmp, f"{name}-chain.s")
                serial.write_text("\n".join(chain(loop.read_text().splitlines(), arm32)) + "\n")
                for cpu in cpus:
                    # The bitsliced path's chain runs through general
                    # registers and the stack in ways the tracing does not
                    # follow (64-bit words in pairs on 32-bit ARM): no floor.
                    rows.append((target, name, cpu, cycles_a_block(loop, triple, cpu),
                                 None if name == "bitsliced" else cycles_a_block(serial, triple, cpu)))
        power_rows = power(tmp)
    print("| target | path | core model | cycles/block | cycles/byte | chain floor, cycles/block |")
    print("|---|---|---|---:|---:|---:|")
    for target, name, cpu, cycles, floor in rows:
        floor_text = "–" if floor is None else f"{floor:.0f}"
        print(f"| {target} | {name} | {cpu} | {cycles:.0f} | {cycles / 16:.1f} | {floor_text} |")
    print("\n".join(power_rows))
    print("\n".join(riscv()))


if __name__ == "__main__":
    main()
