"""The mutation suite: each fault in tests/mutants/mutants, put into a scratch
copy of the tree one at a time, must make a test it names fail.

    python3.12 tests/mutants/run.py [NAME ...]

The scratch copy (build/mutants/tree) holds the files git lists, brought up
to date before each run, and keeps its own build trees and venv from run to
run, so a mutant costs the rebuild of what it touches. Mutants that share a
target run one after another on the same builds; each target first runs
once without a mutant and must pass. A mutant is caught only when one of
the tests its entry names fails and no other test does. Everything else
fails the suite with the mutant's name and the reason: its target passed,
its build broke (compiler, linker, CMake, pip or an import error), it ran
past TIMEOUT seconds, it failed with no test failing, a test it does not
name failed, or its text is no longer in its file exactly once (the code
moved: update the entry with it). Logs: build/mutants/logs.
"""

import fnmatch
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
LIST = ROOT / "tests" / "mutants" / "mutants"
WORK = ROOT / "build" / "mutants"
TREE = WORK / "tree"
LOGS = WORK / "logs"
TIMEOUT = 600  # seconds a target may take before it counts as hung

# What a target's log says failed, each as a test's name: a GoogleTest test
# (also as a qemu run prefixes it, and as CTest lists it; CTest's timeout is
# a hang, and a test it lists as not run, skipped, is no failure), a pytest
# test or collection error, the test a crashed interpreter
# was running (faulthandler's trace), the constant-time check's verdict on a
# path (named without spaces: `ct:memcheck:vperm`), a ThreadSanitizer report.
GTEST_FAILED = re.compile(r"\[  FAILED  \] (\w+(?:/\w+)?\.\w+(?:/\w+)?)(?:,| \(|$)")
CTEST_FAILED = re.compile(r"^\s*\d+ - (\S+) \((?!Timeout\)|Skipped\)|Disabled\))[^)]*\)$")
CTEST_TIMEOUT = re.compile(r"^\s*\d+ - (\S+) \(Timeout\)$")
PYTEST_FAILED = re.compile(r"^(?:FAILED|ERROR) (\S+?\.py::\S+)")
PYTEST_CRASHED = re.compile(r'^\s+File "(?:.*/)?(tests/\S+\.py)", line \d+ in (test_\w+)$')
CT_FAILED = re.compile(r"^(ct: [^:]+: [^:]+(?:: [^:]+)?): FAILED")
TSAN = re.compile(r"^WARNING: ThreadSanitizer: ")
# What says the mutant never got as far as a test: a compiler's, linker's
# or CMake's error, or a module that does not import; and, saying less, a
# build's failure as pip reports it.
BROKEN = re.compile(
    r"\S+:\d+:(\d+:)? (fatal )?error: |undefined reference to |undefined (hidden )?symbol"
    r"|hidden symbol .* isn't defined|\b(ld|ld\.lld|lld|collect2|clang|zig)\S*: error: |^CMake Error"
    r"|^ERROR \S+\.py( - |$)|^E\s+(ImportError|ModuleNotFoundError)\b|ImportError while importing"
)
BUILD_FAILED = re.compile(r"error: subprocess-exited-with-error|Failed to build |failed-wheel-build")


@dataclass
class Mutant:
    name: str
    file: str
    target: str
    what: str = ""
    tests: list[str] = field(default_factory=list)
    hunks: list[tuple[str, str]] = field(default_factory=list)


def read_mutants(text: str) -> list[Mutant]:
    """Entries: `name file target...`, then indented lines: what the mutant
    stands for, `by TEST...` naming the tests that must catch it (shell
    patterns: `Residue.*`, `tests/python/test_threads.py::test_overlap`),
    `- text` to find and `+ text` to put in its place (several lines each
    join with newlines; several pairs make several hunks)."""
    mutants: list[Mutant] = []
    finds: list[str] = []
    replaces: list[str] = []

    def close_hunk() -> None:
        if finds:
            mutants[-1].hunks.append(("\n".join(finds), "\n".join(replaces)))
        finds.clear()
        replaces.clear()

    for number, line in enumerate(text.splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        if not line[0].isspace():
            if mutants:
                close_hunk()
                if not mutants[-1].tests:
                    sys.exit(f"mutants:{number}: {mutants[-1].name} names no test (a `by` line)")
            name, file, *target = line.split()
            if not target:
                sys.exit(f"mutants:{number}: no target")
            mutants.append(Mutant(name, file, " ".join(target)))
            continue
        text = line.strip()
        if text.startswith("-"):
            if replaces:
                close_hunk()
            finds.append(line.split("- ", 1)[1] if "- " in line else "")
        elif text.startswith("+"):
            replaces.append(line.split("+ ", 1)[1] if "+ " in line else "")
        elif text.startswith("by "):
            mutants[-1].tests += re.split(r"[,\s]+", text[3:].strip())
        else:
            mutants[-1].what += (" " if mutants[-1].what else "") + text
    if mutants:
        close_hunk()
        if not mutants[-1].tests:
            sys.exit(f"mutants: {mutants[-1].name} names no test (a `by` line)")
    return mutants


def failed_tests(lines: list[str]) -> tuple[set[str], set[str]]:
    """The tests a log shows failing, and those it shows timing out."""
    failed: set[str] = set()
    hung: set[str] = set()
    crashed = False
    for line in lines:
        if "Fatal Python error: " in line:
            crashed = True
        elif crashed and (found := PYTEST_CRASHED.match(line)):
            failed.add(f"{found[1]}::{found[2]}")
            crashed = False
        elif found := GTEST_FAILED.search(line) or CTEST_FAILED.match(line) or PYTEST_FAILED.match(line):
            failed.add(found[1])
        elif found := CT_FAILED.match(line):
            failed.add(found[1].replace(" ", ""))
        elif TSAN.match(line):
            failed.add("ThreadSanitizer")
        elif found := CTEST_TIMEOUT.match(line):
            hung.add(found[1])
    return failed, hung


def named(test: str, patterns: list[str]) -> bool:
    """Whether a failing test is one of the patterns; a parametrised test
    (pytest's `name[...]`, GoogleTest's `name/...`) matches with or without
    its parameters."""
    plain = test.split("[", 1)[0]
    return any(
        test == p
        or fnmatch.fnmatchcase(test, p)
        or fnmatch.fnmatchcase(plain, p)
        or test.startswith(p + "/")
        for p in patterns
    )


def verdict(status: int | None, log: str, tests: list[str]) -> tuple[bool, str]:
    """Whether a mutant whose target exited with `status` (None: it was
    stopped after TIMEOUT seconds) and wrote `log` is caught by one of
    `tests`, and why."""
    if status is None:
        return False, f"timed out: still running after {TIMEOUT} s"
    if status == 0:
        return False, "survived: its target passed"
    lines = log.splitlines()
    failed, hung = failed_tests(lines)
    if hung:
        return False, f"timed out: {', '.join(sorted(hung))}"
    if not failed:
        # No test ran to fail: the build stopped the target, or something
        # else did. (Where tests ran, their output may quote such lines.)
        for pattern in (BROKEN, BUILD_FAILED):
            for line in lines:
                if pattern.search(line):
                    return False, f"does not build: {line.strip()}"
        return False, f"no test failed (make exited with status {status})"
    others = sorted(t for t in failed if not named(t, tests))
    if others:
        return False, f"failed by a test it does not name: {', '.join(others)}"
    return True, ", ".join(sorted(failed))


def sync_tree() -> None:
    """Brings the scratch copy up to the working tree, rewriting only the
    files that differ, so the build trees in it stay valid."""
    listed = subprocess.run(
        ["git", "-C", str(ROOT), "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
        check=True,
        capture_output=True,
    ).stdout.split(b"\0")
    files = {name.decode() for name in listed if name and (ROOT / name.decode()).is_file()}
    manifest = WORK / "manifest"
    if manifest.exists():
        for gone in set(manifest.read_text().splitlines()) - files:
            (TREE / gone).unlink(missing_ok=True)
    for name in sorted(files):
        source, copy = ROOT / name, TREE / name
        content = source.read_bytes()
        if not copy.exists() or copy.read_bytes() != content:
            copy.parent.mkdir(parents=True, exist_ok=True)
            copy.write_bytes(content)
            shutil.copymode(source, copy)
    manifest.write_text("".join(f"{name}\n" for name in sorted(files)))


def run_target(target: str, log: Path) -> tuple[int | None, str]:
    """Runs `make target` in the scratch copy: its exit status (None when
    it was stopped after TIMEOUT seconds) and its log."""
    outer_make = ("MAKEFLAGS", "MFLAGS", "MAKELEVEL")
    environment = {k: v for k, v in os.environ.items() if k not in outer_make}
    command = ["make", "-C", str(TREE), *target.split(), f"JOBS={os.environ.get('JOBS', '2')}"]
    with log.open("w") as output:
        process = subprocess.Popen(
            command,
            stdout=output,
            stderr=subprocess.STDOUT,
            env=environment,
            start_new_session=True,
        )
        try:
            status: int | None = process.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            status = None
    return status, log.read_text(errors="replace")


def apply(mutant: Mutant) -> str | None:
    """Puts the mutant into the scratch copy; the original text, or None
    when a hunk's text is not in the file exactly once."""
    path = TREE / mutant.file
    if not path.is_file():
        return None
    original = path.read_text()
    text = original
    for find, replace in mutant.hunks:
        if text.count(find) != 1:
            return None
        text = text.replace(find, replace)
    path.write_text(text)
    return original


def main() -> int:
    mutants = read_mutants(LIST.read_text())
    if len(sys.argv) > 1:
        unknown = set(sys.argv[1:]) - {m.name for m in mutants}
        if unknown:
            sys.exit(f"mutants: no mutant named {', '.join(sorted(unknown))}")
        mutants = [m for m in mutants if m.name in sys.argv[1:]]
    LOGS.mkdir(parents=True, exist_ok=True)
    sync_tree()
    began = time.monotonic()
    targets = list(dict.fromkeys(m.target for m in mutants))
    failures: list[str] = []
    for target in targets:
        log = LOGS / f"{target.replace(' ', '_')}.log"
        status, _ = run_target(target, log)
        if status != 0:
            why = "timed out" if status is None else f"status {status}"
            print(f"mutants: make {target} fails with no mutant in ({why}); see {log}")
            return 1
        for mutant in (m for m in mutants if m.target == target):
            started = time.monotonic()
            original = apply(mutant)
            if original is None:
                print(f"STALE    {mutant.name}: its text is not in {mutant.file} exactly once")
                failures.append(mutant.name)
                continue
            log = LOGS / f"{mutant.name}.log"
            try:
                status, text = run_target(target, log)
            finally:
                (TREE / mutant.file).write_text(original)
            seconds = time.monotonic() - started
            caught, why = verdict(status, text, mutant.tests)
            if caught:
                print(f"caught   {mutant.name} by {why} (make {target}, {seconds:.0f} s)")
            else:
                print(f"MISSED   {mutant.name} ({mutant.what}): {why}; see {log}")
                failures.append(mutant.name)
    minutes = (time.monotonic() - began) / 60
    if failures:
        names = " ".join(failures)
        print(f"mutants: {len(failures)} of {len(mutants)} not caught: {names} ({minutes:.1f} min)")
        return 1
    print(f"mutants: all {len(mutants)} caught, each by a test it names ({minutes:.1f} min)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
