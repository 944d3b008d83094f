"""The mutation suite: each fault in tests/mutants/mutants, put into a scratch
copy of the tree one at a time, must make its make target fail.

    python3.12 tests/mutants/run.py [NAME ...]

The scratch copy (build/mutants/tree) holds the files git lists, brought up
to date before each run, and keeps its own build trees and venv from run to
run, so a mutant costs the rebuild of what it touches. Mutants that share a
target run one after another on the same builds; each target first runs
once without a mutant and must pass. A mutant is caught when its target
fails, or hangs (stopped after TIMEOUT seconds); one whose target passes,
whose text is no longer in its file exactly once (the code moved: update
the entry with it), or whose build breaks fails the suite. Logs:
build/mutants/logs.
"""

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

# Lines that say why a target failed, first match shown: a GoogleTest or
# pytest failure, the constant-time check's verdict, a ThreadSanitizer report,
# make's own error.
FAILURE = re.compile(r"^\[  FAILED  \] |^FAILED |^ERROR |: FAILED|^ct: .*cannot fail|^WARNING: ThreadSanitizer: |^make.*Error ")
BROKEN = re.compile(r"^\S+:\d+:\d+: (fatal )?error: |undefined reference to ")


@dataclass
class Mutant:
    name: str
    file: str
    target: str
    what: str = ""
    hunks: list[tuple[str, str]] = field(default_factory=list)


def read_mutants() -> list[Mutant]:
    """Entries: `name file target...`, then indented lines: what the mutant
    stands for, `- text` to find and `+ text` to put in its place (several
    lines each join with newlines; several pairs make several hunks)."""
    mutants: list[Mutant] = []
    finds: list[str] = []
    replaces: list[str] = []

    def close_hunk() -> None:
        if finds:
            mutants[-1].hunks.append(("\n".join(finds), "\n".join(replaces)))
        finds.clear()
        replaces.clear()

    for number, line in enumerate(LIST.read_text().splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        if not line[0].isspace():
            if mutants:
                close_hunk()
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
        else:
            mutants[-1].what += (" " if mutants[-1].what else "") + text
    if mutants:
        close_hunk()
    return mutants


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


def run_target(target: str, log: Path) -> tuple[str, str]:
    """Runs `make target` in the scratch copy: ("passed" | "failed" |
    "broken" | "hung", the line that says why)."""
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
            status = process.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            return "hung", f"still running after {TIMEOUT} s"
    lines = log.read_text(errors="replace").splitlines()
    if status == 0:
        return "passed", ""
    for line in lines:
        if BROKEN.search(line):
            return "broken", line.strip()
    reasons = [line.strip() for line in lines if FAILURE.search(line)]
    return "failed", reasons[0] if reasons else f"make exited with status {status}"


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
    mutants = read_mutants()
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
        outcome, why = run_target(target, log)
        if outcome != "passed":
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
                outcome, why = run_target(target, log)
            finally:
                (TREE / mutant.file).write_text(original)
            seconds = time.monotonic() - started
            if outcome in ("failed", "hung"):
                print(f"caught   {mutant.name} by make {target} ({seconds:.0f} s): {why}")
            else:
                label = "SURVIVED" if outcome == "passed" else "BROKEN  "
                detail = f"make {target} passed"
                if outcome == "broken":
                    detail = f"does not build: {why}"
                print(f"{label} {mutant.name} ({mutant.what}): {detail}; see {log}")
                failures.append(mutant.name)
    minutes = (time.monotonic() - began) / 60
    if failures:
        names = " ".join(failures)
        print(f"mutants: {len(failures)} of {len(mutants)} not caught: {names} ({minutes:.1f} min)")
        return 1
    print(f"mutants: all {len(mutants)} caught ({minutes:.1f} min)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
