"""The mutation runner's verdicts on the log excerpts in tests/mutants/verdicts:
a catch only by a named test, and every other outcome told apart."""

import sys
from pathlib import Path

import pytest

HERE = Path(__file__).parent
sys.path.insert(0, str(HERE))
import run  # noqa: E402  (the runner beside this file, not a package)


def records() -> list[tuple[str, str, str, str]]:
    found: list[tuple[str, str, str, str]] = []
    for line in (HERE / "verdicts").read_text().splitlines():
        if line.startswith("== "):
            head, expected = line[3:].split(" => ")
            status, tests = head.split(" ", 1)
            found.append((status, tests, expected, ""))
        elif found and not line.startswith("#"):
            status, tests, expected, log = found[-1]
            found[-1] = (status, tests, expected, log + line + "\n")
    return found


@pytest.mark.parametrize(
    ("status", "tests", "expected", "log"),
    [pytest.param(*record, id=f"record-{n}") for n, record in enumerate(records(), 1)],
)
def test_verdict(status: str, tests: str, expected: str, log: str) -> None:
    caught, why = run.verdict(None if status == "hung" else int(status), log, tests.split(","))
    assert ("caught: " + why if caught else why).startswith(expected)
