"""The constant-time check where no dynamic tool runs: a forward taint over
the disassembly of each vector path (the vector-permute path, aes/vperm/,
and the hardware ones) that reports every load or store whose address, and
every branch whose condition or target, depends on key or data bytes.

    python3.12 tests/ct/static_check.py ARCH BUILD_DIR [PATH ...]

ARCH is a name in ARCHES; BUILD_DIR is a CMake build of kestrelbox_core for
it; each PATH (default: the architecture's list) is a folder of aes/ whose
object files hold the path's functions, every function symbol in them
checked, local helpers included. One line per path; any report fails.

What is secret, at the instruction level: every byte reached through a
pointer argument (the key, the round keys, the chaining block, the input),
so a load's value is tainted unless it comes from a PC-relative address
(constants, the GOT) or from a stack slot that holds no tainted value. The
arguments themselves (pointers and lengths) are public. A vector register
is tainted when a caller could have left a secret in it (on entry and after
a call) or when tainted data reaches it; the taint follows every register
an instruction reads into every register it writes (a move out of a vector
register to a general one included), and through stack slots at known
offsets. Taint only grows, so iterating over each function's instructions
until nothing changes (a branch goes both ways) reaches a fixed point.

An architecture is an Arch: its disassembler, stack pointer, flags,
argument and caller-saved registers, which registers are vector ones, and
a decoder that says what each instruction reads, writes, loads, stores and
branches on. A load/store instruction set's decoder is a Table: how its
operands name registers (lanes, lists and register pairs as one unit each
per register they touch: AArch32's q<n> as d<2n> and d<2n+1>, RISC-V's
v8 as v8-v15, the largest group it may start), how it
writes an address (ARM's [base, index], POWER's d(rA) and indexed rA,rB,
RISC-V's (rs1) with the index vector of vluxei/vloxei), and its mnemonic
classes (loads such as vld1, lxvd2x, vle8.v; branches on flags such as
bne, beq cr7; branches on registers such as cbz, bnez; moves out of the
vector registers need no class, since every write takes the taint of what
the instruction reads), and the ordinary instructions it knows: any other
may load, store or branch, so its writes are taken for secrets and it is
reported once it reads one or names an address. What a table cannot say
its architecture's decoder says before it: AArch32's conditions (a load,
store or branch under flags set from secrets is reported), S forms and
register lists; POWER's record forms and CTR loops; RISC-V's vsetvli (a
secret AVL is reported like a branch's condition) and its calls, whose
callee's relocation sits on the auipc before the jalr. x86-64, with its
two-operand forms and implicit stack, has a decoder of its own.
"""

from __future__ import annotations

import re
import subprocess
import sys
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable

# A register's abstract value: whether it is tainted, and what it holds when
# that is known: an address on the stack ("stack", anchor, offset) or a
# PC-relative one ("const",), or a number ("number", n).
Where = tuple | None


@dataclass(frozen=True)
class Value:
    tainted: bool = False
    where: Where = None

    def join(self, other: Value) -> Value:
        return Value(self.tainted or other.tainted, self.where if self.where == other.where else None)


CLEAN = Value()
SECRET = Value(True)


@dataclass
class State:
    registers: dict  # unit: Value; a missing unit is CLEAN
    stack: frozenset  # tainted stack bytes: (anchor, offset)
    smeared: frozenset  # anchors with a tainted store at an unknown offset

    def get(self, unit: str) -> Value:
        return self.registers.get(unit, CLEAN)

    def join(self, other: State) -> State:
        mine, theirs = self.registers, other.registers
        joined = {u: mine.get(u, CLEAN).join(theirs.get(u, CLEAN)) for u in mine.keys() | theirs.keys()}
        return State(joined, self.stack | other.stack, self.smeared | other.smeared)


@dataclass
class Memory:
    """A memory operand: the registers its address reads, the base the
    address is relative to (a unit, or "pc" for a PC-relative one), a
    displacement, whether another register indexes it, its size in bytes,
    and the base's writeback (new offset from the old base, or None)."""

    units: list[str]
    base: str | None
    displacement: int = 0
    indexed: bool = False
    size: int = 8
    writeback: int | None = None
    writeback_by: list[str] = field(default_factory=list)
    index: str | None = None  # the index register, whose known number places a stack address


@dataclass
class Effect:
    """What one instruction does, in the terms the taint needs."""

    writes: list[str] = field(default_factory=list)
    reads: list[str] = field(default_factory=list)
    load: Memory | None = None
    store: Memory | None = None
    stored: list[str] = field(default_factory=list)
    condition: list[str] = field(default_factory=list)  # a branch's condition or target
    condition_from_load: bool = False  # the target is the loaded value (x86 ret)
    restores: bool = False  # an epilogue's load of what the prologue pushed (pop, leave, ret)
    flags_out: bool = False
    flags_in: bool = False
    call: str | None = None  # the callee's symbol
    jump: int | None = None  # a direct branch target in this section
    ends: bool = False  # no fall-through (unconditional branch, return)
    offset_of: tuple[str, int] | None = None  # the first write is that unit plus a constant
    offset_by: tuple[str, str] | None = None  # ... or the sum of two units (a stack address and a number)
    number: int | None = None  # the write is this immediate
    constant: bool = False  # the writes hold a PC-relative address
    new_anchor: bool = False  # the stack pointer was realigned
    moves: list[tuple[str, str, int]] = field(default_factory=list)  # (unit, from unit, plus) besides
    guarded: bool = False  # runs only when the flags say so (ARM's conditions, POWER's bclr)
    unknown: str | None = None  # an instruction no class names: "memory" when it has an address


@dataclass(frozen=True)
class Arch:
    name: str
    objdump: list[str]
    stack_pointer: str
    flags: str
    vectors: tuple[str, ...]  # the vector (and predicate or mask) registers
    arguments: list[str]  # argument registers, in order
    caller_saved: list[str]  # general registers a call may change
    result: str
    decode: Callable[[str, list[str], str | None], Effect]  # mnemonic, operands, relocation
    pointer: int = 8  # a pointer's size in bytes
    constant_registers: tuple[str, ...] = ()  # registers that hold a PC-relative address on entry (POWER's TOC)
    relocation_reach: int = 1  # how far into an instruction its relocation may lie (x86's opcode and prefixes)
    call_on_next: str = r"(?!)"  # relocations that name the next instruction's callee (RISC-V's auipc+jalr)


def split_operands(text: str) -> list[str]:
    """Operands at the top level: commas inside [], {} or () do not split."""
    out, depth, current = [], 0, ""
    for ch in text:
        if ch in "[{(":
            depth += 1
        elif ch in "]})":
            depth -= 1
        if ch == "," and depth == 0:
            out.append(current.strip())
            current = ""
        else:
            current += ch
    if current.strip():
        out.append(current.strip())
    return out


# ------------------------------------------------ load/store instruction sets


@dataclass(frozen=True)
class Table:
    """A load/store instruction set as the disassembler spells it, whose
    instructions write their first operand from the others (a store reads
    them all): the functions that read its operands' syntax, and the classes
    of its mnemonics (regular expressions matched whole)."""

    units: Callable[[str], list[str]]  # the registers an operand names
    memory: Callable[[list[str], str], tuple[Memory, int]]  # the address operand, and how many precede it
    immediate: Callable[[str], int | None]  # an immediate operand's value
    loads: str
    stores: str
    store_status: str  # stores whose first operand receives a status
    branches_on_flags: str  # conditional branches on the flags
    branches_on_registers: str  # conditional branches on every operand but the target
    jumps: str  # unconditional direct branches
    calls: str
    indirect_jumps: str  # branches to a register (the link register when none is named)
    indirect_calls: str
    link: str
    constants: str  # a PC-relative address into the destination
    numbers: str  # an immediate into the destination
    adds: str  # the destination is a register plus an immediate
    subtracts: str  # ... minus an immediate
    sets_flags: str
    reads_flags: str
    reads_destination: str  # the destination is also a source (accumulate, insert, AES rounds)
    no_destination: str  # every register operand is a source (compares, prefetch, hints)
    zeroing: str  # with two equal sources the result is zero, whatever they hold
    partial: str  # a destination operand that names part of a register (a lane)
    ordinary: str  # the rest it knows: the destination written from the sources, no memory, no branch


def table_decode(t: Table) -> Callable[[str, list[str], str | None], Effect]:
    def match(pattern: str, mnemonic: str) -> bool:
        return re.fullmatch(pattern, mnemonic) is not None

    def decode(mnemonic: str, operands: list[str], relocation: str | None) -> Effect:
        effect = Effect()
        registers = [t.units(o) for o in operands]
        every = [u for r in registers for u in r]
        target = operands[-1] if operands else ""
        symbol = re.search(r"<([^>+]+)", target)
        if match(t.calls, mnemonic):
            effect.call = relocation or (symbol.group(1) if symbol else "?")
            return effect
        if match(t.indirect_jumps, mnemonic) or match(t.indirect_calls, mnemonic):
            effect.condition = every or [t.link]
            effect.ends = match(t.indirect_jumps, mnemonic)
            return effect
        branch = [match(p, mnemonic) for p in (t.jumps, t.branches_on_flags, t.branches_on_registers)]
        if any(branch):
            if relocation:  # a tail call out of this object's section
                effect.call, effect.ends = relocation, True
                return effect
            effect.jump = int(target.split()[0], 16)
            effect.ends = branch[0]
            effect.flags_in = branch[1]
            effect.condition = [u for r in registers[:-1] for u in r] if branch[2] else []
            return effect
        if match(t.constants, mnemonic):
            effect.writes, effect.constant = registers[0], True
            return effect
        load, store = match(t.loads, mnemonic), match(t.stores, mnemonic)
        if load or store:
            memory, at = t.memory(operands, mnemonic)
            data = operands[:at]
            if store:
                effect.store = memory
                if match(t.store_status, mnemonic):
                    effect.writes, data = t.units(data[0]), data[1:]
                effect.stored = [u for o in data for u in t.units(o)]
            else:
                effect.load = memory
                effect.writes = [u for o in data for u in t.units(o)]
                if data and re.search(t.partial, data[0]):
                    effect.reads = list(effect.writes)  # a lane load keeps the other lanes
            return effect
        if match(t.no_destination, mnemonic):
            effect.reads = every
        elif not match(t.ordinary, mnemonic):
            # It might load, store or branch: its writes are taken for
            # secrets, and it fails the check once it reads one or names
            # an address.
            effect.reads, effect.writes = every, registers[0] if registers else []
            effect.unknown = "memory" if any(c in rest for rest in operands for c in "[(") else "registers"
            return effect
        elif registers:
            effect.writes = registers[0]
            effect.reads = [u for r in registers[1:] for u in r]
            if match(t.reads_destination, mnemonic) or re.search(t.partial, operands[0]):
                effect.reads += effect.writes
            sources = operands[1:]
            if match(t.zeroing, mnemonic) and len(sources) == 2 and sources[0] == sources[1]:
                effect.reads = []
            immediate = t.immediate(operands[-1]) if len(operands) > 1 else None
            if match(t.numbers, mnemonic) and len(operands) == 2 and immediate is not None:
                effect.number = immediate
            moved = len(operands) == 2 and registers[1] and match(t.adds, mnemonic)
            if moved or (len(operands) == 3 and registers[1] and immediate is not None
                         and (match(t.adds, mnemonic) or match(t.subtracts, mnemonic))):
                plus = 0 if moved else immediate
                effect.offset_of = (registers[1][0], -plus if match(t.subtracts, mnemonic) else plus)
        effect.flags_out = match(t.sets_flags, mnemonic)
        effect.flags_in = match(t.reads_flags, mnemonic)
        return effect

    return decode


# ---------------------------------------------------------------- AArch64

A64_GPR = re.compile(r"^[xw]([0-9]|[12][0-9]|30)$")
A64_VEC = re.compile(r"^[vqdshbz]([0-9]|[12][0-9]|3[01])(\.\w+)?(\[\d+\])?$")
A64_SIZES = {"q": 16, "d": 8, "x": 8, "s": 4, "w": 4, "h": 2, "b": 1, "v": 16, "z": 16}


def a64_unit(operand: str) -> str | None:
    operand = operand.strip().lower()
    if operand in ("sp", "wsp"):
        return "sp"
    if A64_GPR.match(operand):
        return "x" + operand[1:]
    match = A64_VEC.match(operand)
    if match:
        return "v" + match.group(1)
    if re.match(r"^p([0-9]|1[0-5])(/[zm])?$", operand):
        return "p" + operand[1:].split("/")[0]
    return None


def a64_units(operand: str) -> list[str]:
    """The registers an operand names: one, a {list} or a {range}."""
    operand = re.sub(r"<[^>]*>", "", operand).strip()
    if operand.startswith("{"):
        inner = operand[1:operand.index("}")]
        if "-" in inner:
            first, last = (int(re.match(r"[vz](\d+)", p.strip()).group(1)) for p in inner.split("-"))
            return [f"v{n % 32}" for n in range(first, first + (last - first) % 32 + 1)]
        return [u for u in (a64_unit(p) for p in inner.split(",")) if u]
    if operand.startswith("["):
        return [u for p in split_operands(operand.strip("[]!")) for u in a64_units(p)]
    unit = a64_unit(operand.split()[0]) if operand else None
    return [unit] if unit else []


def a64_size(operand: str, mnemonic: str) -> int:
    for suffix, size in (("b", 1), ("h", 2), ("sw", 4), ("sh", 2), ("sb", 1)):
        if mnemonic in ("ldr" + suffix, "str" + suffix, "ldur" + suffix, "stur" + suffix):
            return size
    if operand.strip().startswith("{"):
        return 16 * max(1, len(a64_units(operand)))
    return A64_SIZES.get(operand.strip().lower()[:1], 8)


def a64_immediate(operand: str) -> int | None:
    match = re.fullmatch(r"#(-?(0x)?[0-9a-f]+)(\s.*)?", operand.strip())
    return int(match.group(1), 0) if match else None


def a64_memory(operands: list[str], mnemonic: str) -> tuple[Memory, int]:
    """[base, #imm], [base, index, extend], [base, #imm]! and [base], #imm
    or [base], xm (post-index); a literal (no brackets) is PC-relative."""
    at = next((i for i, o in enumerate(operands) if o.startswith("[")), None)
    if at is None:
        return Memory([], "pc"), len(operands) - 1
    text = operands[at]
    parts = split_operands(text[1:text.index("]")])
    units = [u for p in parts for u in a64_units(p)]
    displacement = next((a64_immediate(p) for p in parts[1:] if a64_immediate(p) is not None), 0)
    indexed = any(a64_units(p) for p in parts[1:])
    data = [o for o in operands[:at] if not o.startswith("#")]
    size = sum(a64_size(o, mnemonic) for o in data) or 8
    memory = Memory(units, a64_unit(parts[0]), displacement, indexed, size)
    if text.endswith("!"):
        memory.writeback = displacement
    if at + 1 < len(operands):
        after = operands[at + 1]
        if a64_immediate(after) is not None:
            memory.writeback = a64_immediate(after)
        else:
            memory.writeback_by = a64_units(after)
    return memory, at


ARM64 = Arch(
    name="arm64",
    objdump=["aarch64-linux-gnu-objdump", "-dr", "--no-show-raw-insn"],
    stack_pointer="sp",
    flags="nzcv",
    vectors=tuple(f"v{n}" for n in range(32)) + tuple(f"p{n}" for n in range(16)),
    arguments=[f"x{n}" for n in range(8)],
    caller_saved=[f"x{n}" for n in range(19)] + ["x30"],
    result="x0",
    decode=table_decode(Table(
        units=a64_units,
        memory=a64_memory,
        immediate=a64_immediate,
        loads=r"ld\w*|prfm",
        stores=r"st\w*",
        store_status=r"stl?xp?[rbh]?",
        branches_on_flags=r"b\.\w+",
        branches_on_registers=r"cbn?z|tbn?z",
        jumps=r"b",
        calls=r"bl",
        indirect_jumps=r"br|ret\w*|bra\w*",
        indirect_calls=r"blr\w*",
        link="x30",
        constants=r"adrp?",
        numbers=r"movz?",
        adds=r"add|mov",
        subtracts=r"sub",
        sets_flags=r"cmp|cmn|tst|adds|subs|ands|bics|adcs|sbcs|negs|ngcs|ccmp|ccmn|fcmpe?|fccmpe?",
        reads_flags=r"csel|csinc|csinv|csneg|csetm?|cinc|cinv|cneg|adcs?|sbcs?|ngcs?|ccmp|ccmn|fcsel|fccmpe?",
        reads_destination=r"movk|bfi|bfxil|bfc|bsl|bit|bif|mla|mls|fmla|fmls|tbx|ins|sli|sri|u?r?sra|s?r?sra|"
                          r"[su]aba[l2]*|[su]adalp|aes[ed]|[su]ml[as]l2?|sqdml[as]l2?|[su]dot|sha\w+|\w+n2",
        no_destination=r"cmp|cmn|tst|fcmpe?|ccmp|ccmn|fccmpe?|prfm|nop|hint|dmb|dsb|isb|bti|pac\w*|aut\w*",
        zeroing=r"eor|sub|bic",
        partial=r"\[\d+\]$",
        ordinary=r"(add|sub|adc|sbc|neg|ngc|and|bic)s?|orr|orn|eor|eon|mvn|not|ror|lsl|lsr|asr|mov[zkn]?|fmov|"
                 r"[su]?bfiz|[su]?bfx|bfi|bfxil|bfc|[su]xt[bhw]|uxtl2?|sxtl2?|rev\w*|rbit|clz|cls|cnt|extr|"
                 r"csel|csinc|csinv|csneg|csetm?|cinc|cinv|cneg|m(add|sub|ul|neg)|[su]m(addl|subl|ull|ulh|negl)|"
                 r"[su]div|movi|mvni|dup|ins|[su]mov|tbl|tbx|zip[12]|uzp[12]|trn[12]|ext|[su]?shll2?|"
                 r"[su]r?shr|[su]r?sra|shl|sli|sri|bsl|bit|bif|cm(eq|ge|gt|hi|hs|le|lt|tst)|aes(e|d|mc|imc)|"
                 r"pmull2?|xtn2?|[su]q?xtn2?|addp|addv|[su]maxv|[su]minv|[su]addlv|[su]?(max|min)p?|"
                 r"[su]?q?(add|sub)|[su]?h(add|sub)|[su]?abd|mla|mls|sha\w+",
    )),
)

# ---------------------------------------------------------------- AArch32

A32_NAMES = {"sb": "r9", "sl": "r10", "fp": "r11", "ip": "r12", "sp": "sp", "lr": "lr"}
A32_CONDITIONS = r"eq|ne|cs|hs|cc|lo|mi|pl|vs|vc|hi|ls|ge|lt|gt|le|al"
# The operations it knows, those that may take an S (set the flags) apart.
A32_FLAGS_OPS = r"adc|sbc|rsc|add|sub|rsb|and|orr|orn|eor|bic|mov|mvn|mul|mla|lsl|lsr|asr|ror|rrx|neg|[su]mull|[su]mlal"
A32_OPS = re.compile(
    r"(?P<flags>" + A32_FLAGS_OPS + r")|"
    r"(?P<plain>b|bl|blx|bx|cbn?z|it[te]{0,3}|cmp|cmn|tst|teq|nop|dmb|dsb|isb|udf|bkpt|"
    r"ldr(b|h|sb|sh|d|ex|exb|exh|exd)?|str(b|h|d|ex|exb|exh|exd)?|ldm(ia|ib|da|db|fd)?|stm(ia|ib|da|db|fd)?|"
    r"push|pop|vpush|vpop|vld[1-4]|vst[1-4]|vldr|vstr|vldm(ia|db)?|vstm(ia|db)?|pld|pldw|pli|"
    r"adr|addw|subw|movw|movt|uxt[bh]|sxt[bh]|uxtab|uxtah|sxtab|sxtah|ubfx|sbfx|bfi|bfc|clz|rev|rev16|revsh|rbit|"
    r"[su]div|mls|[su]sat|pkhbt|pkhtb|sel|uadd8|usub8|"
    r"vmov|vmvn|vorr|vorn|veor|vand|vbic|vbsl|vbit|vbif|vtbl|vtbx|vswp|vzip|vuzp|vtrn|vext|vdup|vrev(16|32|64)|"
    r"vshr|vshl|vsra|vsri|vsli|vshrn|vshll|vmovl|vmovn|vqmovn|vqmovun|vadd|vsub|vaddl|vaddw|vsubl|vsubw|"
    r"vhadd|vhsub|vrhadd|vqadd|vqsub|vabd|vmax|vmin|vpmax|vpmin|vpadd|vpaddl|vmul|vmull|vmla|vmls|vneg|vabs|"
    r"vceq|vcge|vcgt|vcle|vclt|vtst|vcnt|vclz|vcls|vcmp|vcmpe|vmrs|vmsr|vcvt|vrshr|vqshl|vqrshl|vrsra|"
    r"aese|aesd|aesmc|aesimc|sha1[cmph]|sha1su[01]|sha256h2?|sha256su[01])"
)


def a32_unit(operand: str) -> list[str]:
    operand = operand.strip().lower()
    operand = re.sub(r"^(lsl|lsr|asr|ror|rrx)\s+", "", operand).lstrip("-+")  # a shift by a register
    operand = re.sub(r"\[\d*\]$", "", operand).rstrip("!")
    if operand in A32_NAMES:
        return [A32_NAMES[operand]]
    match = re.fullmatch(r"([rdqs])(\d+)", operand)
    if match:
        kind, n = match.group(1), int(match.group(2))
        if kind == "r" and n < 15:
            return [f"r{n}"]
        return {"d": [f"d{n}"], "q": [f"d{2 * n}", f"d{2 * n + 1}"], "s": [f"d{n // 2}"]}.get(kind, [])
    if operand == "apsr_nzcv":
        return ["apsr"]
    return ["fpscr"] if operand == "fpscr" else []


def a32_units(operand: str) -> list[str]:
    """The registers an operand names: one, a {list} with d4-d5 ranges, or
    the registers inside an address."""
    operand = operand.strip()
    if operand.startswith("{"):
        units = []
        for part in operand.strip("{}").split(","):
            if "-" in part:
                first, last = (p.strip() for p in part.split("-"))
                kind = first[0]
                units += [u for n in range(int(first[1:]), int(last[1:]) + 1) for u in a32_unit(f"{kind}{n}")]
            else:
                units += a32_unit(part)
        return list(dict.fromkeys(units))
    if operand.startswith("["):
        return [u for p in split_operands(re.sub(r"\s*:\d+", "", operand).strip("[]!")) for u in a32_units(p)]
    return a32_unit(operand)


def a32_immediate(operand: str) -> int | None:
    match = re.fullmatch(r"#(-?(0x)?[0-9a-f]+)", operand.strip().lower())
    return int(match.group(1), 0) if match else None


A32_SIZES = {"b": 1, "sb": 1, "h": 2, "sh": 2, "d": 8, "exb": 1, "exh": 2, "exd": 8}


def a32_memory(operands: list[str], mnemonic: str) -> tuple[Memory, int]:
    """[base], [base, #imm], [base, index{, shift}], each with ! for
    writeback, and [base], #imm or [base], rm (post-index; vld1's [base]!
    moves by the size it loads)."""
    at = next(i for i, o in enumerate(operands) if o.startswith("["))
    parts = split_operands(re.sub(r"\s*:\d+", "", operands[at]).strip("[]!"))
    base = "pc" if parts[0].lower() == "pc" else a32_unit(parts[0])[0]
    units = [] if base == "pc" else [u for p in parts for u in a32_units(p)]
    displacement = next((a32_immediate(p) for p in parts[1:] if a32_immediate(p) is not None), 0)
    index = next((a32_unit(p)[0] for p in parts[1:] if a32_unit(p)), None)
    data = [u for o in operands[:at] for u in a32_units(o)]
    if mnemonic.startswith(("ldr", "str")):
        size = A32_SIZES.get(re.sub(r"^(ldr|str)", "", mnemonic), 4)
    elif mnemonic in ("pld", "pldw", "pli"):
        size = 1
    else:  # NEON and VFP: a d register each, or the lanes named
        lanes = re.search(r"\[\d*\]", operands[0]) is not None
        size = 4 if re.fullmatch(r"s\d+", operands[0].strip()) else 8 * max(1, len(data))
        if lanes:
            size = len(data) * 4  # at most a 32-bit lane each
    memory = Memory(units, base, displacement, index is not None, size, index=index)
    if operands[at].endswith("!"):
        memory.writeback = displacement if len(parts) > 1 else size
    if at + 1 < len(operands):
        after = operands[at + 1]
        if a32_immediate(after) is not None:
            memory.writeback = a32_immediate(after)
        else:
            memory.writeback_by = a32_units(after)
    return memory, at


A32_TABLE = Table(
    units=a32_units,
    memory=a32_memory,
    immediate=a32_immediate,
    loads=r"ldr\w*|vld[1-4]|vldr|pld|pldw|pli",
    stores=r"str\w*|vst[1-4]|vstr",
    store_status=r"strex\w*",
    branches_on_flags=rf"b({A32_CONDITIONS})",
    branches_on_registers=r"cbn?z",
    jumps=r"b",
    calls=r"bl|blx",
    indirect_jumps=r"bx",
    indirect_calls=r"(?!)",  # blx to a register: a32_decode
    link="lr",
    constants=r"adr",
    numbers=r"movw?",
    adds=r"addw?|mov",
    subtracts=r"subw?",
    sets_flags=r"cmp|cmn|tst|teq|vcmpe?",
    reads_flags=r"adc|sbc|rsc|rrx",
    reads_destination=r"movt|bfi|bfc|mla|mls|vbsl|vbit|vbif|vtbx|vmla|vmls|vsra|vsri|vsli|vrsra|aes[ed]|"
                      r"vmovn|vqmovun?|vshrn|sha\w+",
    no_destination=r"cmp|cmn|tst|teq|vcmpe?|nop|dmb|dsb|isb|pld|pldw|pli",
    zeroing=r"eor|veor|sub|vsub",
    partial=r"^s\d+$|\[\d+\]$",
    ordinary=A32_OPS.pattern,
)
a32_table_decode = table_decode(A32_TABLE)


def a32_decode(mnemonic: str, operands: list[str], relocation: str | None) -> Effect:
    """The mnemonic read as operation, S (set the flags) and condition (its
    own or an IT block's; .n, .w and NEON's data types dropped), then the
    16-bit two-operand forms, the register lists of the load and store
    multiples, VMOV's register pairs, and the table for the rest."""
    name = mnemonic.split(".")[0]
    if re.fullmatch(r"it[te]{0,3}", name):  # its instructions carry their conditions
        return Effect()
    parsed = None
    for length in range(len(name), 0, -1):  # the longest operation the name starts with
        tail = re.fullmatch(rf"(s?)({A32_CONDITIONS})?", name[length:])
        known = A32_OPS.fullmatch(name[:length])
        if tail and known and (not tail.group(1) or known.group("flags")):
            parsed = (name[:length], tail.group(1) == "s", tail.group(2))
            break
    if parsed is None:
        effect = Effect(unknown="memory" if any("[" in o for o in operands) else "registers")
        effect.reads = [u for o in operands for u in a32_units(o)]
        effect.writes = a32_units(operands[0]) if operands else []
        return effect
    op, sets, condition = parsed
    lists = {"push": ("sp!", "db"), "pop": ("sp!", "ia"), "vpush": ("sp!", "db"), "vpop": ("sp!", "ia")}
    if op in lists or re.fullmatch(r"v?(ldm|stm)(ia|ib|da|db|fd)?", op):
        effect = Effect()
        loads = op in ("pop", "vpop") or op.lstrip("v").startswith("ldm")
        base_text, mode = lists.get(op, (operands[0], op.lstrip("v")[3:] or "ia"))
        mode = {"fd": "ia" if loads else "db"}.get(mode, mode)
        registers = a32_units(operands[-1])
        size = len(registers) * (8 if op.startswith("v") else 4)
        base = a32_unit(base_text)[0]
        start = {"ia": 0, "ib": 4, "da": 4 - size, "db": -size}[mode]
        memory = Memory([base], base, start, False, size)
        if base_text.endswith("!"):
            memory.writeback = -size if mode in ("da", "db") else size
        if loads:
            effect.load, effect.writes = memory, registers
            effect.restores = base == "sp"
            if "pc" in operands[-1]:
                effect.condition_from_load, effect.ends = True, condition is None
        else:
            effect.store, effect.stored = memory, registers
    elif op == "vmov" and len(operands) >= 3:  # vmov r0, r1, d0 and vmov s0, s1, r0, r1
        kinds = [bool(re.fullmatch(r"r\d+|sb|sl|fp|ip|lr", o.strip())) for o in operands]
        count = next(i for i, k in enumerate(kinds) if k != kinds[0])
        effect = Effect(writes=[u for o in operands[:count] for u in a32_units(o)],
                        reads=[u for o in operands[count:] for u in a32_units(o)])
        if any(re.fullmatch(r"s\d+", o.strip()) for o in operands[:count]):
            effect.reads += effect.writes
    elif op in ("vswp", "vzip", "vuzp", "vtrn"):  # both operands are written
        units = [u for o in operands for u in a32_units(o)]
        effect = Effect(writes=units, reads=units)
    elif op in ("add", "adr") and any(o.strip() == "pc" for o in operands[1:]):
        effect = Effect(writes=a32_units(operands[0]), constant=True)  # add r3, pc: the GOT's address
    elif op == "bx" and operands and operands[0].strip() != "lr" or op == "blx" and a32_unit(operands[0]):
        effect = Effect(condition=a32_units(operands[0]), ends=op == "bx" and condition is None)
        if op == "blx":
            effect.call, effect.ends = "?", False
    else:
        unary = r"mov|mvn|neg|rev\w*|rbit|clz|[su]xt[bh]|vmov|vmvn|vdup|vneg|vabs|vcnt|vclz|vcls|vcvt|vmovl|" \
                r"vmovn|aesmc|aesimc|vrev\d+|vmrs|vmsr|movw|movt|adr|ldr\w*|str\w*|cmp|cmn|tst|teq|vcmpe?|" \
                r"vld\d|vst\d|vldr|vstr|pld\w*|aes[ed]|cbn?z|bl?x?"
        if len(operands) == 2 and not re.fullmatch(unary, op) and not operands[1].startswith("["):
            operands = [operands[0], operands[0], operands[1]]  # adds r3, #1: r3 = r3 + 1
        branch = op == "b" and condition
        effect = a32_table_decode(op + (condition if branch else ""), operands, relocation)
        if op in ("add", "addw") and len(operands) == 3 and all(len(a32_units(o)) == 1 for o in operands):
            effect.offset_by = (a32_units(operands[1])[0], a32_units(operands[2])[0])
        if op == "bx":
            effect.ends = condition is None
        if branch:
            return effect
    if op == "vmrs" and "apsr" in effect.writes:
        effect = Effect()  # the flags of the VCMP before it, which set them already
    if sets or op in ("cmp", "cmn", "tst", "teq"):
        effect.flags_out = True
    if operands and operands[0].strip() == "pc" and op in ("ldr", "mov"):  # a return
        effect.ends, effect.condition_from_load, effect.condition = condition is None, True, effect.reads
    if condition and condition != "al":
        # It keeps what it would write, and the flags, when it does not run.
        effect.guarded = effect.flags_in = True
        effect.reads = effect.reads + [u for u in effect.writes + ["apsr"] if u not in effect.reads]
    return effect


ARMHF = Arch(
    name="armhf",
    objdump=["arm-linux-gnueabihf-objdump", "-dr", "--no-show-raw-insn"],
    stack_pointer="sp",
    flags="apsr",
    vectors=tuple(f"d{n}" for n in range(32)),
    arguments=["r0", "r1", "r2", "r3"],
    caller_saved=["r0", "r1", "r2", "r3", "r12", "lr"],
    result="r0",
    decode=a32_decode,
    pointer=4,
)

# ----------------------------------------------------------------- POWER

PPC_CONDITIONS = r"(lt|le|eq|ge|gt|nl|ne|ng|so|ns|un|nu)"
# Access sizes by the mnemonic's start, narrowest first (lvebx before lvx).
PPC_SIZES = [(r"lbz|stb|lvebx|stvebx|lxsibzx|stxsibx|dcb", 1),
             (r"lh[az]|sth|lvehx|stvehx|lxsihzx|stxsihx", 2),
             (r"lw[az]|lwbr|stw|lfs|stfs|lfiw|stfiw|lvewx|stvewx|lxsiw|stxsiw|lxssp|stxssp", 4),
             (r"ld|std|lfd|stfd|lxsd|stxsd", 8),
             (r"lq|stq|lv|stv|lxv|stxv", 16)]


def ppc_units(operand: str) -> list[str]:
    """GPRs by number, cr0-cr7 as the one condition register, and the 64
    VSX registers: f<n> is half of vs<n>, v<n> is vs<n + 32>."""
    operand = operand.strip()
    match = re.fullmatch(r"(r|f|v|vs|cr)(\d+)", operand)
    if not match:
        inner = re.fullmatch(r"-?(0x)?[0-9a-f]+\((r\d+)\)", operand)
        return [inner.group(2)] if inner else []
    kind, n = match.group(1), int(match.group(2))
    return [{"r": f"r{n}", "f": f"vs{n}", "v": f"vs{n + 32}", "vs": f"vs{n}", "cr": "cr"}[kind]]


def ppc_immediate(operand: str) -> int | None:
    return int(operand, 0) if re.fullmatch(r"-?(0x[0-9a-f]+|\d+)", operand.strip()) else None


def ppc_memory(operands: list[str], mnemonic: str) -> tuple[Memory, int]:
    """d(rA), with writeback for the update forms (stdu), or the indexed
    rA,rB (lxvd2x), where rA 0 reads as zero."""
    size = next((s for p, s in PPC_SIZES if re.match(p, mnemonic)), 16)
    at = next((i for i, o in enumerate(operands) if "(" in o), None)
    if at is not None:
        displacement, base = re.fullmatch(r"(-?(?:0x)?[0-9a-f]+)\((r\d+)\)", operands[at].strip()).groups()
        memory = Memory([base], base, int(displacement, 0), False, size)
        if re.search(r"u$", mnemonic):
            memory.writeback = memory.displacement
        return memory, at
    at = len(operands) - 2
    first, second = ppc_units(operands[at]), ppc_units(operands[at + 1])
    base, index = (first + second)[0], second[0] if first else None
    memory = Memory(first + second, base, 0, index is not None, size, index=index)
    if re.search(r"ux$", mnemonic):
        memory.writeback_by = second
    return memory, at


PPC_TABLE = Table(
    units=ppc_units,
    memory=ppc_memory,
    immediate=ppc_immediate,
    loads=r"l(bz|hz|ha|wz|wa|d|q|fs|fd|hbr|wbr|dbr|bar|har|war|dar|qar)u?x?|lv(x|xl|ebx|ehx|ewx)|lxv\w*|lxs\w+|"
          r"lfiw[az]x|dcbt|dcbtst|dcbf|dcbst|icbi",
    stores=r"st(b|h|w|d|q|fs|fd|hbr|wbr|dbr)u?x?|st[bhwdq]cx|stfiwx|stv(x|xl|ebx|ehx|ewx)|stxv\w*|stxs\w+|dcbz",
    store_status=r"(?!)",
    branches_on_flags=rf"b{PPC_CONDITIONS}",
    branches_on_registers=r"(?!)",  # bdnz and the rest on CTR: ppc_decode
    jumps=r"b",
    calls=r"bl",
    indirect_jumps=r"blr",
    indirect_calls=r"blrl",
    link="lr",
    constants=r"(?!)",  # the TOC pointer and what is added to it (Arch.constant_registers)
    numbers=r"li",
    adds=r"addi|mr|addis",
    subtracts=r"(?!)",
    sets_flags=r"cmp(?!b)\w*|fcmp[uo]|xscmp[uo]dp|mtcrf|mtocrf|addic|subfic|addc|subfc|srawi?|sradi?|st[bhwdq]cx",
    reads_flags=r"isel|adde|subfe|addze|subfze|addme|subfme|mfcr|mfocrf|setb\w*",
    reads_destination=r"rl[wd]imi|vinsert\w+|xxinsertw|x[sv]n?m(add|sub)a[sd]p",
    no_destination=r"cmp(?!b)\w*|fcmp[uo]|xscmp[uo]dp|nop|sync|lwsync|hwsync|isync|eieio|dcb\w+|icbi",
    zeroing=r"xor|xxlxor|vxor|subf|andc|xxlandc|vandc|vsubu[bhwd]m",
    partial=r"^f\d+$",
    ordinary=r"add\w*|subf\w*|neg|mul\w+|div\w+|mod\w+|and\w*|or\w*|xor\w*|nand|nor|eqv|not|exts[bhw]\w*|"
             r"cnt\w+|popcnt\w|rl[wd]\w+|rot[lr]\w+|s[lr]\w+|clr\w+|ext[lr]\w+|ins[lr]\w+|mr|li|lis|isel|setb\w*|"
             r"mfcr|mfocrf|mtcrf|mtocrf|lvs[lr]|m[ft]vsr\w+|m[ft]vr\w+|m[ft]fpr\w+|v\w+|xx\w+|xs\w+|xv\w+|"
             r"f(mr|neg|abs|nabs|add|sub|mul|div|madd|msub|nmadd|nmsub|sel|sqrt|cfid|ctid|ctiw|rsp|re|rsqrte|cpsgn)\w*",
)
ppc_table_decode = table_decode(PPC_TABLE)


def ppc_decode(mnemonic: str, operands: list[str], relocation: str | None) -> Effect:
    """The record forms (a dot: cr0 set from the result), branch hints, the
    branches on CTR and the conditional ones to LR or CTR, the moves to and
    from the special registers, the traps, then the table."""
    name = mnemonic.rstrip("+-")
    record = name.endswith(".")
    name = name.rstrip(".")
    registers = [u for o in operands for u in ppc_units(o)]
    ctr_loop = re.fullmatch(rf"bdn?z([tf]|{PPC_CONDITIONS})?(l|lr)?", name)
    conditional = re.fullmatch(rf"b{PPC_CONDITIONS}(l|lr|lrl|ctr|ctrl)", name)
    if ctr_loop or conditional:
        suffix = (ctr_loop or conditional).groups()[-1]
        effect = Effect(flags_in=conditional is not None or bool(ctr_loop.group(1)))
        effect.guarded = True
        if ctr_loop:
            effect.condition, effect.writes, effect.reads = ["ctr"], ["ctr"], ["ctr"]
        if suffix in (None, "l") and ctr_loop or suffix == "l":
            target = operands[-1]
            if suffix == "l":
                effect.call = relocation or (re.search(r"<([^>+]+)", target) or [None, "?"])[1]
            else:
                effect.jump = int(target.split()[0], 16)
        else:
            effect.condition = effect.condition + ["ctr" if "ctr" in suffix else "lr"]
            effect.call = "?" if suffix.endswith("l") and suffix != "l" else None
        return effect
    if name in ("bctr", "bctrl"):
        return Effect(condition=["ctr"], ends=name == "bctr", call="?" if name == "bctrl" else None)
    if name in ("mtctr", "mtlr"):
        return Effect(writes=[name[2:]], reads=registers)
    if name in ("mfctr", "mflr"):
        return Effect(writes=registers, reads=[name[2:]])
    if name == "ld" and operands == ["r2", "24(r1)"]:  # the TOC pointer back after a call
        return Effect()
    if re.fullmatch(rf"t[wd]i?|t[wd]{PPC_CONDITIONS}i?", name):  # a trap: a branch out
        return Effect(condition=registers)
    if re.fullmatch(r"x?ori", name) and ppc_immediate(operands[-1]) == 0:
        name, operands = "mr", operands[:2]  # ori r2,r2,0, the nop a linker may make a TOC restore
    if name == "addis" and ppc_immediate(operands[-1]) != 0:  # no small offset: no stack address through it
        effect = Effect(writes=ppc_units(operands[0]), reads=ppc_units(operands[1]))
    else:
        effect = ppc_table_decode(name, operands, relocation)
    if name == "add" and len(registers) == 3:
        effect.offset_by = (registers[1], registers[2])
    if record:
        effect.flags_out = True
    return effect


PPC64LE = Arch(
    name="ppc64le",
    objdump=["powerpc64le-linux-gnu-objdump", "-dr", "--no-show-raw-insn"],
    stack_pointer="r1",
    flags="cr",
    vectors=tuple(f"vs{n}" for n in range(64)),
    arguments=[f"r{n}" for n in range(3, 11)],
    caller_saved=["r0"] + [f"r{n}" for n in range(3, 13)] + ["lr", "ctr"],
    result="r3",
    decode=ppc_decode,
    constant_registers=("r2", "r12"),
)

# ---------------------------------------------------------------- RISC-V

RV_GPRS = {"zero": None, "fp": "s0"} | {n: n for n in ["ra", "sp", "gp", "tp"] + [f"t{k}" for k in range(7)]
                                       + [f"s{k}" for k in range(12)] + [f"a{k}" for k in range(8)]}
RV_SIZES = {"b": 1, "h": 2, "w": 4, "d": 8, "q": 16}


def rv_units(operand: str) -> list[str]:
    """The registers an operand names, by their ABI names (zero names none);
    a vector register as every register of the largest group it may start,
    since the group's size (LMUL) is set at run time by vsetvli: v8 as
    v8-v15, v12 as v12-v15, v9 alone; the mask v0.t as v0."""
    operand = operand.strip()
    address = re.fullmatch(r"-?(?:0x)?[0-9a-f]*\((\w+)\)", operand)
    if address:
        return rv_units(address.group(1))
    if operand in RV_GPRS:
        return [RV_GPRS[operand]] if RV_GPRS[operand] else []
    if re.fullmatch(r"f([tsa]?\d+)", operand):
        return [operand]
    vector = re.fullmatch(r"v(\d+)(\.t)?", operand)
    if vector:
        n = int(vector.group(1))
        group = 1 if vector.group(2) else next(g for g in (8, 4, 2, 1) if n % g == 0)
        return [f"v{k}" for k in range(n, min(n + group, 32))]
    return []


def rv_immediate(operand: str) -> int | None:
    return int(operand, 0) if re.fullmatch(r"-?(0x[0-9a-f]+|\d+)", operand.strip()) else None


def rv_memory(operands: list[str], mnemonic: str) -> tuple[Memory, int]:
    """off(rs1), and a vector access's (rs1) with what follows it: a stride
    register, an index vector, the v0.t mask. A vector access also reads vl
    and vtype, and its offset and size are taken as unknown (they depend on
    vl and the element width)."""
    at = next(i for i, o in enumerate(operands) if "(" in o)
    displacement, base = re.fullmatch(r"(-?(?:0x)?[0-9a-f]*)\((\w+)\)", operands[at].strip()).groups()
    units = rv_units(base) + [u for o in operands[at + 1:] for u in rv_units(o)]
    vector = mnemonic.startswith("v")
    if vector:
        units += ["vl", "vtype"]
    width = re.fullmatch(r"f?[ls]([bhwdq])u?|(?:lr|sc)\.([wd])(?:\.\w+)?", mnemonic)
    size = RV_SIZES[width.group(1) or width.group(2)] if width else 16
    return Memory(units, rv_units(base)[0], int(displacement or "0", 0), vector, size), at


RV_TABLE = Table(
    units=rv_units,
    memory=rv_memory,
    immediate=rv_immediate,
    loads=r"l[bhwd]u?|fl[hwdq]|lr\.[wd](\.\w+)?|vl(s|ux|ox)?(seg\d)?ei?\d+(ff)?\.v|vl\d+re?\d*\.v|vlm\.v",
    stores=r"s[bhwd]|fs[hwdq]|sc\.[wd](\.\w+)?|vs(s|ux|ox)?(seg\d)?ei?\d+\.v|vs\d+r\.v|vsm\.v",
    store_status=r"sc\.[wd](\.\w+)?",
    branches_on_flags=r"(?!)",
    branches_on_registers=r"beqz?|bnez?|bltu?|bgeu?|bgtu?|bleu?|blez|bgez|bltz|bgtz",
    jumps=r"j",
    calls=r"(?!)",  # auipc and jalr, the relocation on the auipc: rv_decode
    indirect_jumps=r"jr|ret",
    indirect_calls=r"jalr",
    link="ra",
    constants=r"auipc",
    numbers=r"li",
    adds=r"addi|mv",
    subtracts=r"(?!)",
    sets_flags=r"(?!)",
    reads_flags=r"(?!)",
    reads_destination=r"(?!)",  # a vector destination: partial
    no_destination=r"nop|fence(\.\w+)?|pause",
    zeroing=r"xor|sub|vxor\.vv|vsub\.vv",
    partial=r"^v\d+$",  # a write to one register of a group may leave the others
    # Division is left out: its time depends on its operands on many cores.
    # So is csrr: a frame scaled by vlenb is beyond the check, which fails
    # there. Every vector instruction that is not a load, store or vsetvl
    # works in registers alone.
    ordinary=r"(add|sub|sll|srl|sra|mul|rol|ror)[iw]*|negw?|andi?|ori?|xori?|not|andn|orn|xnor|"
             r"mulh(s?u)?|slti?u?|seqz|snez|sltz|sgtz|lui|mv|li|sext\.[bhw]|zext\.[bhw]|"
             r"(clz|ctz|cpop)w?|(max|min)u?|rev8|orc\.b|brev8|zip|unzip|pack[hw]?|sh[123]add(\.uw)?|"
             r"add\.uw|slli\.uw|b(clr|set|inv|ext)i?|czero\.(eqz|nez)|"
             r"f(add|sub|mul|n?m(add|sub)|sgnjx?n?|min|max|mv|cvt|eq|lt|le|class|neg|abs)(\.\w+)+|"
             r"v(?!set)[a-z0-9]+(\.\w+)*",
)
rv_table_decode = table_decode(RV_TABLE)


def rv_decode(mnemonic: str, operands: list[str], relocation: str | None) -> Effect:
    """vsetvli and vsetvl (a secret AVL or type is reported like a branch
    condition), the call whose callee's relocation sat on the auipc before
    it (a tail call when it does not link), the indirect calls, then the
    table."""
    if mnemonic in ("vsetvli", "vsetivli", "vsetvl"):
        sources = [u for o in operands[1:] for u in rv_units(o)]
        return Effect(writes=rv_units(operands[0]) + ["vl", "vtype"], reads=sources, condition=sources)
    if mnemonic in ("jalr", "jr") and relocation:
        return Effect(call=relocation, ends=mnemonic == "jr")
    effect = rv_table_decode(mnemonic, operands, relocation)
    if mnemonic == "jalr":
        effect.call = "?"
    if mnemonic == "add" and len(operands) == 3:
        registers = [u for o in operands[1:] for u in rv_units(o)]
        if len(registers) == 2:
            effect.offset_by = (registers[0], registers[1])
    return effect


RISCV64 = Arch(
    name="riscv64",
    objdump=["riscv64-linux-gnu-objdump", "-dr", "--no-show-raw-insn"],
    stack_pointer="sp",
    flags="fcsr",  # no flags: branches compare registers
    vectors=tuple(f"v{n}" for n in range(32)),
    arguments=[f"a{n}" for n in range(8)],
    caller_saved=["ra"] + [f"t{n}" for n in range(7)] + [f"a{n}" for n in range(8)] + ["vl", "vtype"],
    result="a0",
    decode=rv_decode,
    constant_registers=("gp", "tp"),
    call_on_next=r"R_RISCV_CALL(_PLT)?",
)

# ----------------------------------------------------------------- x86-64

X86_GPRS = {}
for _names in ["rax eax ax al ah", "rbx ebx bx bl bh", "rcx ecx cx cl ch", "rdx edx dx dl dh",
               "rsi esi si sil", "rdi edi di dil", "rbp ebp bp bpl", "rsp esp sp spl"]:
    for _name in _names.split():
        X86_GPRS[_name] = _names.split()[0]
for _n in range(8, 16):
    for _suffix in ("", "d", "w", "b"):
        X86_GPRS[f"r{_n}{_suffix}"] = f"r{_n}"
X86_SIZES = {"BYTE": 1, "WORD": 2, "DWORD": 4, "QWORD": 8, "XMMWORD": 16, "YMMWORD": 32, "ZMMWORD": 64}
X86_NO_FLAGS = {"mov", "movzx", "movsx", "movsxd", "movabs", "lea", "push", "pop", "not", "bswap", "xchg",
                "nop", "cdqe", "cdq", "cqo", "endbr64", "call", "jmp", "ret", "leave", "cpuid", "xgetbv"}
X86_VECTOR_FLAGS = {"ptest", "vptest", "comiss", "ucomiss", "comisd", "ucomisd", "vcomiss", "vucomiss",
                    "vcomisd", "vucomisd", "kortestw", "kortestb", "kortestd", "kortestq", "ktestw", "ktestb",
                    "pcmpistri", "pcmpestri", "vpcmpistri", "vpcmpestri"}
# Instructions whose destination is only written (everything else of the
# two-operand kind reads it too).
X86_WRITE_ONLY = re.compile(r"^(v?mov\w*|lea|set\w+|pop|v?pshuf[dhl]\w*|v?pextr\w|v?pmovmskb|v?movmsk\w+|"
                            r"v?cvt\w+|vpbroadcast\w|vbroadcast\w+|v?pmov[zs]x\w+|v?aeskeygenassist|"
                            r"v?aesimc|v?extract\w+|vextracti\w+|kmov\w|v?sqrt\w+|v?rcp\w+|v?rsqrt\w+)$")
X86_VEX_READS_DESTINATION = re.compile(r"^(vfn?m(add|sub)\w+|vpternlog\w|vpermi2\w|vpermt2\w|vpdpb\w+|"
                                       r"vpdpw\w+|vpshld\w+|vpshrd\w+)$")


def x86_unit(operand: str) -> str | None:
    operand = operand.strip()
    if operand in X86_GPRS:
        return X86_GPRS[operand]
    match = re.match(r"^[xyz]mm(\d+)$", operand)
    if match:
        return "v" + match.group(1)
    match = re.match(r"^k([0-7])$", operand)
    if match:
        return "k" + match.group(1)
    return None


def x86_memory(operand: str) -> Memory | None:
    match = re.search(r"\[([^\]]*)\]", operand)
    segment = re.match(r"^(?:(\w+) PTR )?([fg]s):", operand)
    size_match = re.match(r"^(\w+) PTR", operand)
    size = X86_SIZES.get(size_match.group(1), 8) if size_match else 8
    if segment:  # fs:/gs:, the thread's own block (the stack guard)
        return Memory([], "pc", size=size)
    if not match:
        return None
    terms = re.findall(r"[+-]?[^+-]+", match.group(1).replace(" ", ""))
    units, base, displacement, indexed = [], None, 0, False
    for term in terms:
        body = term.lstrip("+-")
        if body == "rip":
            base = "pc"
            continue
        register = x86_unit(body.split("*")[0])
        if register:
            units.append(register)
            if "*" in body or base is not None:
                indexed = True
            else:
                base = register
        else:
            displacement += int(term, 16 if "0x" in term else 10) if body[:1].isdigit() else 0
    if base == "pc" and units:
        indexed = True
    return Memory(units, base, displacement, indexed, size)


def x86_decode(mnemonic: str, operands: list[str], relocation: str | None) -> Effect:
    effect = Effect()
    parts = mnemonic.split()
    if parts and parts[0] in ("rep", "repz", "repnz", "notrack", "bnd", "lock", "data16"):
        parts = parts[1:]
    mnemonic = parts[-1] if parts else ""
    if mnemonic in ("nop", "endbr64", "vzeroupper", "vzeroall") or mnemonic.startswith("nop"):
        if mnemonic in ("vzeroupper", "vzeroall"):
            effect.writes = [f"v{n}" for n in range(16)] if mnemonic == "vzeroall" else []
        return effect
    if mnemonic == "cpuid":
        effect.writes = ["rax", "rbx", "rcx", "rdx"]
        effect.reads = ["rax", "rcx"]
        return effect
    if mnemonic == "xgetbv":
        effect.writes, effect.reads = ["rax", "rdx"], ["rcx"]
        return effect
    if mnemonic in ("cdq", "cqo", "cdqe"):
        effect.writes, effect.reads = (["rax"] if mnemonic == "cdqe" else ["rdx"]), ["rax"]
        return effect
    if mnemonic in ("call", "jmp") or mnemonic.startswith("j"):
        operand = operands[0] if operands else ""
        if mnemonic == "call":
            effect.call = relocation or (re.search(r"<([^>+]+)", operand) or [None, "?"])[1]
            if (not relocation and "[" in operand) or x86_unit(operand):  # an indirect call
                effect.condition = x86_memory(operand).units if "[" in operand else [x86_unit(operand)]
            return effect
        if relocation:  # a tail call
            effect.call, effect.ends = relocation, True
            return effect
        if x86_unit(operand) or "[" in operand:  # an indirect jump
            memory = x86_memory(operand)
            effect.condition = memory.units if memory else [x86_unit(operand)]
            effect.ends = True
            return effect
        effect.jump = int(operand.split()[0], 16)
        if mnemonic == "jmp":
            effect.ends = True
        elif mnemonic in ("jrcxz", "jecxz"):
            effect.condition = ["rcx"]
        else:
            effect.flags_in = True
        return effect
    if mnemonic == "ret":
        effect.load = Memory(["rsp"], "rsp", 0, False, 8, writeback=8)
        effect.condition_from_load, effect.ends, effect.restores = True, True, True
        return effect
    if mnemonic == "push":
        effect.store = Memory(["rsp"], "rsp", -8, False, 8, writeback=-8)
        effect.stored = [u for u in [x86_unit(operands[0])] if u]
        return effect
    if mnemonic == "pop":
        effect.load = Memory(["rsp"], "rsp", 0, False, 8, writeback=8)
        effect.writes = [x86_unit(operands[0])]
        effect.restores = True
        return effect
    if mnemonic == "leave":  # mov rsp, rbp; pop rbp
        effect.load = Memory(["rbp"], "rbp", 0, False, 8)
        effect.restores = True
        effect.writes = ["rbp"]
        effect.moves = [("rsp", "rbp", 8)]
        return effect
    memory_at = next((i for i, o in enumerate(operands) if "[" in o or re.match(r"^(\w+ PTR )?[fg]s:", o)), None)
    registers = [x86_unit(o) for o in operands]
    masked = bool(operands) and re.search(r"\{k[0-7]\}", operands[0]) is not None
    if masked:
        operands = [re.sub(r"\{[^}]*\}", "", operands[0])] + operands[1:]
        registers[0] = x86_unit(operands[0])
    if mnemonic == "lea":
        memory = x86_memory(operands[1])
        effect.writes, effect.reads = [registers[0]], list(memory.units)
        if memory.base == "pc" and not memory.indexed:
            effect.constant = True
        elif memory.base and not memory.indexed:
            effect.offset_of = (memory.base, memory.displacement)
        return effect
    no_destination = mnemonic in ("cmp", "test", "bt", "ptest", "vptest") or "comis" in mnemonic or \
        mnemonic.startswith(("kortest", "ktest"))
    if memory_at is not None:
        memory = x86_memory(operands[memory_at])
        if memory_at == 0 and not no_destination:
            effect.store = memory
            if not X86_WRITE_ONLY.match(mnemonic):  # read, modify, write
                effect.load = memory
        else:
            effect.load = memory
    sources = [r for i, r in enumerate(registers) if i > 0 and r]
    effect.reads = list(sources)
    if no_destination:
        effect.reads = [r for r in registers if r]
    elif effect.store is not None:
        effect.stored = sources
    elif registers and registers[0]:
        effect.writes = [registers[0]]
        vex_three = mnemonic.startswith("v") and len(operands) >= 3 and not X86_VEX_READS_DESTINATION.match(mnemonic)
        eight_or_sixteen = operands[0] in X86_GPRS and not re.match(r"^(r\w+|e\w+)$", operands[0])
        legacy_vector = registers[0][0] == "v" and not mnemonic.startswith("v")
        reads_destination = not X86_WRITE_ONLY.match(mnemonic) and not vex_three
        if reads_destination or eight_or_sixteen or legacy_vector or (masked and "{z}" not in mnemonic):
            effect.reads.append(registers[0])
        same = [o for o in operands[1:] if not re.match(r"^-?(0x)?[0-9a-f]+$", o)]
        zeroing = ("xor" in mnemonic or mnemonic in ("sub", "psubb", "pcmpgtb", "vpsubb"))
        if zeroing and (same == [operands[0]] or (len(same) == 2 and same[0] == same[1])):
            effect.reads = [registers[0]] if legacy_vector else []
        if mnemonic in ("add", "sub") and len(operands) == 2 and re.match(r"^-?(0x)?[0-9a-f]+$", operands[1]):
            value = int(operands[1], 16) if operands[1].startswith(("0x", "-0x")) else int(operands[1])
            value -= 1 << 64 if value >= 1 << 63 else 0
            effect.offset_of = (registers[0], -value if mnemonic == "sub" else value)
        if mnemonic == "mov" and len(registers) == 2 and registers[1]:
            effect.offset_of = (registers[1], 0)
        if mnemonic == "mov" and len(operands) == 2 and re.match(r"^(0x)?[0-9a-f]+$", operands[1]):
            effect.number = int(operands[1], 16 if operands[1].startswith("0x") else 10)
        if mnemonic == "and" and registers[0] == "rsp":
            effect.new_anchor = True
    if mnemonic.startswith(("cmov", "set", "adc", "sbb")):
        effect.flags_in = True
    vector_operands = any(r and r[0] in "vk" for r in registers)
    effect.flags_out = mnemonic in X86_VECTOR_FLAGS or (not vector_operands and mnemonic not in X86_NO_FLAGS
                                                        and not mnemonic.startswith(("cmov", "set", "j")))
    if mnemonic.startswith(("pcmpistri", "pcmpestri", "vpcmpistri", "vpcmpestri")):
        effect.writes = ["rcx"]
    return effect


X86_64 = Arch(
    name="x86-64",
    objdump=["objdump", "-dr", "-M", "intel", "--no-show-raw-insn"],
    stack_pointer="rsp",
    flags="rflags",
    vectors=tuple(f"v{n}" for n in range(32)) + tuple(f"k{n}" for n in range(8)),
    arguments=["rdi", "rsi", "rdx", "rcx", "r8", "r9"],
    caller_saved=["rax", "rcx", "rdx", "rsi", "rdi", "r8", "r9", "r10", "r11"],
    result="rax",
    decode=x86_decode,
    relocation_reach=4,
)

ARCHES = {arch.name: arch for arch in (ARM64, ARMHF, PPC64LE, RISCV64, X86_64)}
# The vector paths each architecture builds, by folder of aes/.
PATHS = {"arm64": ["vperm", "arm"], "armhf": ["vperm", "arm"], "ppc64le": ["ppc"], "riscv64": ["riscv"],
         "x86-64": ["vperm", "x86"]}


# --------------------------------------------------------------- the taint


@dataclass
class Instruction:
    address: int
    text: str
    effect: Effect


@dataclass
class Function:
    name: str
    local: bool
    instructions: list[Instruction]


def run(command: list[str]) -> str:
    done = subprocess.run(command, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"ct: static: FAILED ({' '.join(command)}: {done.stderr.strip()[:200]})")
    return done.stdout


def disassemble(arch: Arch, objects: list[Path]) -> list[Function]:
    """Every function in the objects, each instruction decoded; a branch
    with a relocation is a call (or a tail call) to the symbol it names, as
    is the instruction after one whose relocation is of Arch.call_on_next."""
    result: list[Function] = []
    for obj in objects:
        symbols = run([arch.objdump[0].replace("objdump", "nm"), "--defined-only", str(obj)])
        local = {line.split()[2] for line in symbols.splitlines() if len(line.split()) == 3
                 and line.split()[1] == "t"}
        listing = run([*arch.objdump, str(obj)])
        functions: list[Function] = []
        callee = None  # named by the relocation of the instruction before
        for line in listing.splitlines():
            header = re.match(r"^[0-9a-f]+ <(.+)>:$", line)
            # A label the assembler kept for a branch's relocation (RISC-V's,
            # which the linker may relax) is inside the function.
            if header and not (functions and header.group(1).startswith(".L")):
                functions.append(Function(header.group(1), header.group(1) in local, []))
                continue
            relocation = re.match(r"^\s+([0-9a-f]+): (R_\w+)\s+(\S+)", line)
            if relocation and functions and functions[-1].instructions:
                last = functions[-1].instructions[-1]
                name = re.sub(r"[-+]0x[0-9a-f]+$", "", relocation.group(3))
                if re.fullmatch(arch.call_on_next, relocation.group(2)):
                    callee = name
                    continue
                # A call the object leaves to the linker names its own address
                # in the listing; a section (a local function) names nothing.
                # The relocation must be the branch's own, not one of a
                # literal pool's words after it (which objdump may not list).
                inside = 0 <= int(relocation.group(1), 16) - last.address < arch.relocation_reach
                if inside and re.match(r"^(call|jmp|bl|b)\b", last.text.split("\t")[0].strip()) and (
                        last.effect.call is None or not name.startswith(".")):
                    last.effect = decode(arch, last.text, name)
                continue
            row = re.match(r"^\s+([0-9a-f]+):\t(.*)$", line)
            if row and functions and row.group(2).strip() and not row.group(2).startswith("(bad)"):
                functions[-1].instructions.append(Instruction(int(row.group(1), 16), row.group(2),
                                                              decode(arch, row.group(2), callee)))
                callee = None
        result += [f for f in functions if f.instructions]
    return result


def decode(arch: Arch, text: str, relocation: str | None) -> Effect:
    text = re.split(r"\s(//|#|;|@)\s", text)[0].strip()
    mnemonic, _, rest = text.partition("\t") if "\t" in text else text.partition(" ")
    mnemonic = mnemonic.strip()
    rest = rest.strip()
    if mnemonic in ("rep", "repz", "repnz", "notrack", "bnd", "lock", "data16"):  # x86 prefixes
        first, _, rest = rest.partition(" ")
        mnemonic = f"{mnemonic} {first}"
    operands = split_operands(rest) if rest else []
    try:
        return arch.decode(mnemonic.lower(), operands, relocation)
    except (ValueError, StopIteration, AttributeError, IndexError) as error:
        sys.exit(f"ct: static: {arch.name}: cannot read `{text}` ({error})")


def entry_state(arch: Arch, arguments: dict[str, Value] | None) -> State:
    """Pointers and lengths are public; a caller may have left secrets in
    the vector registers."""
    registers = {u: SECRET for u in arch.vectors}
    registers.update({u: Value(False, ("const",)) for u in arch.constant_registers})
    registers.update(arguments or {})
    registers[arch.stack_pointer] = Value(False, ("stack", "entry", 0))
    return State(registers, frozenset(), frozenset())


def analyse(arch: Arch, function: Function, arguments: dict[str, Value] | None,
            calls: dict[str, dict[str, Value]]) -> list[str]:
    """The reports of one function; calls gathers the argument registers at
    each call, by callee."""
    code = function.instructions
    index = {ins.address: i for i, ins in enumerate(code)}
    states: list[State | None] = [None] * len(code)
    states[0] = entry_state(arch, arguments)
    reports: dict[int, str] = {}
    work = {0}
    while work:
        i = min(work)
        work.discard(i)
        state = states[i]
        after, found = step(arch, code[i].effect, state, calls)
        if found:
            text = re.split(r"\s(//|#|@)\s", code[i].text)[0].strip()
            reports[i] = f"{function.name}+{code[i].address - code[0].address:#x}: {text} ({found})"
        effect = code[i].effect
        successors = [] if effect.ends else [i + 1]
        if effect.jump is not None and effect.jump in index:
            successors.append(index[effect.jump])
        for s in successors:
            if s >= len(code):
                continue
            joined = after if states[s] is None else states[s].join(after)
            if joined != states[s]:
                states[s] = joined
                work.add(s)
    return [reports[i] for i in sorted(reports)]


def address_of(state: State, memory: Memory) -> tuple[str, int | None] | str | None:
    """Where a memory operand points: ("anchor", offset or None) on the
    stack, "pc" for a PC-relative constant, None for anything else."""
    if memory.base == "pc":
        return "pc"
    if memory.base is None:
        return None
    where = state.get(memory.base).where
    index = state.get(memory.index).where if memory.index else None
    if index and index[0] in ("stack", "const") and where and where[0] == "number":  # POWER's rA,rB either way
        where = index
        memory = Memory(memory.units, memory.index, memory.displacement, True, memory.size, index=memory.base)
    if where and where[0] == "const":
        return "pc"
    if where and where[0] == "stack":
        index = state.get(memory.index).where if memory.index else None
        if memory.indexed and index and index[0] == "number":
            return (where[1], where[2] + memory.displacement + index[1])
        return (where[1], None if memory.indexed else where[2] + memory.displacement)
    return None


def step(arch: Arch, effect: Effect, state: State, calls: dict[str, dict[str, Value]]) -> tuple[State, str]:
    registers = dict(state.registers)
    stack, smeared = set(state.stack), set(state.smeared)

    def value(unit: str) -> Value:
        return registers.get(unit, CLEAN)

    found = []
    if effect.unknown:
        secret = list(dict.fromkeys(u for u in effect.reads + [arch.flags] if value(u).tainted))
        if secret or effect.unknown == "memory":
            found.append(f"unknown to the check, {'reads ' + ', '.join(secret) if secret else 'an address'}")
    if effect.guarded and value(arch.flags).tainted and (
            effect.load or effect.store or effect.call or effect.condition):
        found.append("conditional on flags set from secrets")
    tainted_units = [u for u in effect.condition if value(u).tainted]
    if tainted_units:
        found.append(f"branch on {', '.join(tainted_units)}")
    if effect.flags_in and value(arch.flags).tainted and effect.jump is not None and effect.call is None:
        found.append("branch on flags set from secrets")
    loaded = CLEAN
    for memory, kind in ((effect.load, "load"), (effect.store, "store")):
        if memory is None:
            continue
        secret_address = [u for u in memory.units if value(u).tainted]
        if secret_address:
            found.append(f"{kind} address from {', '.join(secret_address)}")
    if effect.load is not None:
        memory = effect.load
        where = address_of(state, memory)
        address_taint = any(value(u).tainted for u in memory.units)
        if where == "pc":
            loaded = Value(address_taint, ("const",) if memory.size == arch.pointer and not address_taint else None)
        elif effect.restores:
            # What the epilogue loads (the registers the prologue pushed, the
            # return address) no store of the function's own reaches, even
            # where the frame was realigned and its anchor lost.
            loaded = Value(address_taint)
        elif where is None:
            loaded = SECRET
        else:
            anchor, offset = where
            # A callee writes through a pointer to this frame's locals, all
            # below the stack pointer on entry: never into the caller's frame
            # above it (the return address and arguments saved there).
            smear = anchor in smeared and not (anchor == "entry" and offset is not None and offset >= 0)
            if offset is None:
                hit = smear or any(a == anchor for a, _ in stack)
            else:
                hit = smear or any((anchor, offset + k) in stack for k in range(memory.size))
            loaded = Value(hit or address_taint)
        if effect.condition_from_load and loaded.tainted:
            found.append("return address from secrets")
    if effect.store is not None:
        memory = effect.store
        where = address_of(state, memory)
        data = Value(any(value(u).tainted for u in effect.stored + memory.units))
        if effect.load is not None:  # read, modify, write
            data = data.join(loaded)
        if isinstance(where, tuple):
            anchor, offset = where
            if offset is None:
                if data.tainted:
                    smeared.add(anchor)
            else:
                for k in range(memory.size):
                    (stack.add if data.tainted else stack.discard)((anchor, offset + k))
    # Writeback of a base register.
    for memory in (effect.load, effect.store):
        if memory is not None and memory.base not in (None, "pc") and (memory.writeback is not None or memory.writeback_by):
            old = value(memory.base)
            if memory.writeback_by:
                registers[memory.base] = Value(old.tainted or any(value(u).tainted for u in memory.writeback_by))
            else:
                where = old.where
                if where and where[0] == "stack":
                    where = (where[0], where[1], where[2] + memory.writeback)
                registers[memory.base] = Value(old.tainted, where)
    if effect.call is not None:
        arguments = {u: value(u) for u in arch.arguments}
        # The callee may write secrets wherever a stack address passed to
        # it points: as far as the next argument that is a known number (a
        # length) says, else anywhere in that frame. A later register that
        # holds the same address (a copy the call does not take) adds nothing.
        passed_values = list(arguments.values())
        for k, v in enumerate(passed_values):
            if v.where and v.where[0] == "stack" and v.where not in (a.where for a in passed_values[:k]):
                size = next((a.where[1] for a in passed_values[k + 1:] if a.where and a.where[0] == "number"), None)
                if size is None:
                    smeared.add(v.where[1])
                else:
                    stack.update((v.where[1], v.where[2] + j) for j in range(size))
        seen = calls.setdefault(effect.call, {})
        for u, v in arguments.items():
            seen[u] = seen[u].join(Value(v.tainted)) if u in seen else Value(v.tainted)
        passed = any(v.tainted for v in arguments.values())
        for u in arch.caller_saved:
            registers[u] = CLEAN
        for u in arch.vectors:
            registers[u] = SECRET
        registers[arch.result] = Value(passed)
        registers[arch.flags] = Value(passed)
    else:
        sources = [value(u) for u in effect.reads]
        result = Value(any(v.tainted for v in sources) or loaded.tainted or effect.unknown is not None)
        if effect.flags_in:
            result = result.join(Value(value(arch.flags).tainted))
        if effect.constant:
            result = Value(result.tainted, ("const",))
        elif effect.number is not None:
            result = Value(False, ("number", effect.number))
        elif effect.offset_by and not result.tainted:
            wheres = sorted((value(u).where for u in effect.offset_by), key=lambda w: w is None or w[0] != "number")
            if wheres[0] and wheres[0][0] == "number" and wheres[1] and wheres[1][0] == "stack":
                result = Value(False, (wheres[1][0], wheres[1][1], wheres[1][2] + wheres[0][1]))
        elif effect.offset_of and not result.tainted:
            base = value(effect.offset_of[0]).where
            if base and base[0] == "stack":
                result = Value(False, (base[0], base[1], base[2] + effect.offset_of[1]))
            elif base and base[0] == "const":
                result = Value(False, base)
        elif effect.load is not None and not effect.reads:
            result = loaded
        if effect.new_anchor:
            result = Value(result.tainted, ("stack", f"realigned@{id(effect)}", 0))
        for u in effect.writes:
            if u:
                registers[u] = result
        if effect.flags_out:
            flags = [value(u) for u in effect.reads] + [loaded]
            registers[arch.flags] = Value(any(v.tainted for v in flags))
    for unit, source, plus in effect.moves:
        old = state.get(source)
        where = old.where
        if where and where[0] == "stack":
            where = (where[0], where[1], where[2] + plus)
        registers[unit] = Value(old.tainted, where)
    new = State(registers, frozenset(stack), frozenset(smeared))
    return new, "; ".join(found)


# The C library's functions a path may call, by how many arguments they take.
C_ARGUMENTS = {"memcpy": 3, "memmove": 3, "memset": 3, "memcmp": 3, "explicit_bzero": 2, "abort": 0}
ITANIUM_BUILTINS = "vwbcahstijlmxynofdeg"


def argument_registers(arch: Arch, symbol: str) -> int | None:
    """How many argument registers a callee outside the path reads: from
    its C++ name's parameter types (wipe(void*, unsigned long) is _Z4wipePvm,
    a 64-bit number a pair of aligned registers where a pointer is 4 bytes),
    or the C library's table; None when neither says."""
    if symbol in C_ARGUMENTS:
        return C_ARGUMENTS[symbol]
    match = re.fullmatch(r"_Z(\d+)(.*)", symbol)
    if not match or len(match.group(2)) < int(match.group(1)):
        return None
    parameters, count = match.group(2)[int(match.group(1)):], 0
    if parameters == "v":  # f(void)
        return 0
    while parameters:
        parameters = parameters.lstrip("PKRV")
        code = re.match(r"(\d+)", parameters)
        if code:  # a class or enum by name
            parameters, wide = parameters[len(code.group(1)) + int(code.group(1)):], False
        elif parameters[:1] and parameters[0] in ITANIUM_BUILTINS:
            wide = parameters[0] in "xyd" and arch.pointer == 4
            parameters = parameters[1:]
        else:
            return None
        count = count + count % 2 + 2 if wide else count + 1
    return count


def check(arch: Arch, build: Path, path: str) -> tuple[list[str], list[Function]]:
    # The path's own files, named for the engine functions they hold; the
    # CPU-feature readers beside them hold no key or data byte.
    folder = build / "CMakeFiles" / "kestrelbox_core.dir" / "aes" / path
    objects = sorted(o for o in folder.glob("*.o") if o.name.startswith(("aes128_", "cbc_")))
    if not objects:
        sys.exit(f"ct: static: {arch.name}: {path}: no object files under {build}")
    functions = []
    for obj in objects:  # a file its gate left empty would pass unread
        found = disassemble(arch, [obj])
        if not found:
            sys.exit(f"ct: static: {arch.name}: {path}: FAILED (no function in {obj.name})")
        functions += found
    # Local helpers take the argument taint of their callers: iterate until
    # it settles.
    incoming: dict[str, dict[str, Value]] = {}
    while True:
        calls: dict[str, dict[str, Value]] = {}
        reports = []
        for f in functions:
            reports += analyse(arch, f, incoming.get(f.name) if f.local else None, calls)
        local_calls = {f.name: calls[f.name] for f in functions if f.local and f.name in calls}
        if local_calls == incoming:
            # A callee outside the path may branch or index on what it is
            # given: no argument it reads may hold a secret.
            for callee in sorted(set(calls) - {f.name for f in functions}):
                count = argument_registers(arch, callee)
                read = arch.arguments[:len(arch.arguments) if count is None else count]
                secret = [u for u in read if calls[callee][u].tainted]
                if secret:
                    reports.append(f"call to {callee} with a secret in {', '.join(secret)}")
            return reports, functions
        incoming = local_calls


def main() -> int:
    if len(sys.argv) < 3 or sys.argv[1] not in ARCHES:
        sys.exit(f"usage: static_check.py {{{','.join(ARCHES)}}} BUILD_DIR [PATH ...]")
    arch, build = ARCHES[sys.argv[1]], Path(sys.argv[2])
    status = 0
    for path in sys.argv[3:] or PATHS[arch.name]:
        reports, functions = check(arch, build, path)
        if not reports:
            size = sum(len(f.instructions) for f in functions)
            print(f"ct: static: {arch.name}: {path}: 0 reports; read {len(functions)} functions, {size} instructions")
        else:
            print(f"ct: static: {arch.name}: {path}: FAILED ({len(reports)} reports)")
            status = 1
            for line in reports[:3]:
                print(f"    {line}")
            if len(reports) > 3:
                print(f"    ... and {len(reports) - 3} more")
    return status


if __name__ == "__main__":
    sys.exit(main())
