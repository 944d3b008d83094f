"""A pytest plugin that runs every example of the Markdown pages it is given
(`make docs` passes README.md and docs/).

- `pycon` blocks are doctests. The blocks of one page run in order, sharing
  their names, as one test.
- `sh`, `js` and `java` blocks are whole programs. Each runs in a directory
  of its own and must print exactly what the `text` block right after it
  holds.
- Commands for the reader to type are `console` blocks: shown, not run.
- A function a `pycon` block defines under the name of one in examples/ must
  be that function word for word, so what a reader copies keeps its checks.

README.md, which PyPI shows without the tree around it, has its links
checked as well: each is an anchor of its own headings or an absolute
address, and one into the documentation or the repository (the addresses in
pyproject.toml's [project.urls]) must name a page or file the tree has.
README.md and docs/performance.md quote only the speed figures (µs, ms,
MB/s, times, ×) that the tables `make bench` writes to docs/_generated/
hold."""

import ast
import doctest
import io
import re
import subprocess
import tempfile
import tomllib
from collections.abc import Iterator
from pathlib import Path
from typing import Any

import pytest

PROGRAMS = {"sh": (["bash", "-eu"], ".sh"), "js": (["node"], ".js"), "java": (["java"], ".java")}
# A fence at the start of a line, its language, its body, and the `text`
# block that follows it after one blank line, if there is one.
BLOCK = re.compile(
    r"^```(?P<language>\w+)\n(?P<code>.*?)^```\n(?:\n```text\n(?P<output>.*?)^```\n)?",
    re.MULTILINE | re.DOTALL,
)


def pytest_collect_file(file_path: Path, parent: pytest.Collector) -> pytest.Collector | None:
    if file_path.suffix == ".md":
        return MarkdownPage.from_parent(parent, path=file_path)
    return None


class MarkdownPage(pytest.File):
    def collect(self) -> Iterator[pytest.Item]:
        text = self.path.read_text(encoding="utf-8")
        sessions = []
        for block in BLOCK.finditer(text):
            line = text.count("\n", 0, block.start()) + 2
            if block["language"] == "pycon":
                sessions.append((line, block["code"]))
            elif block["language"] in PROGRAMS:
                yield Program.from_parent(
                    self, name=f"{block['language']}-line-{line}", block=block.groupdict()
                )
        if sessions:
            yield Session.from_parent(self, name="pycon", blocks=sessions)
            yield Excerpts.from_parent(self, name="excerpts", blocks=sessions)
        if self.path.name == "README.md":
            yield Links.from_parent(self, name="links")
        if self.path.name in QUOTING:
            yield Figures.from_parent(self, name="figures")


class Session(pytest.Item):
    def __init__(self, *, blocks: list[tuple[int, str]], **kwargs: Any) -> None:
        super().__init__(**kwargs)
        self.blocks = blocks

    def runtest(self) -> None:
        report = io.StringIO()
        runner = doctest.DocTestRunner(verbose=False, optionflags=doctest.ELLIPSIS)
        names: dict[str, Any] = {"__name__": "__doc_examples__"}
        for line, code in self.blocks:
            test = doctest.DocTestParser().get_doctest(code, names, self.name, str(self.path), line - 1)
            runner.run(test, out=report.write, clear_globs=False)
            names = test.globs  # a DocTest works on a copy of the names it is given
        if runner.failures:
            pytest.fail(report.getvalue(), pytrace=False)

    def reportinfo(self) -> tuple[Path, int | None, str]:
        return self.path, None, "pycon blocks"


def functions(source: str) -> dict[str, str | None]:
    """The top-level functions of Python source, by name, as written."""
    return {
        node.name: ast.get_source_segment(source, node)
        for node in ast.parse(source).body
        if isinstance(node, ast.FunctionDef)
    }


class Excerpts(Session):
    def runtest(self) -> None:
        programs: dict[str, tuple[str, str | None]] = {}
        for path in sorted((self.config.rootpath / "examples").glob("*.py")):
            programs |= {name: (path.name, code) for name, code in functions(path.read_text()).items()}
        source = "\n".join(
            line[4:]
            for _, code in self.blocks
            for line in code.splitlines()
            if line.startswith((">>> ", "... ")) or line == "..."
        )
        differ = [
            f"{name} is not {programs[name][0]}'s"
            for name, code in functions(source).items()
            if name in programs and code != programs[name][1]
        ]
        if differ:
            pytest.fail("; ".join(differ), pytrace=False)

    def reportinfo(self) -> tuple[Path, int | None, str]:
        return self.path, None, "pycon functions against examples/"


class Program(pytest.Item):
    def __init__(self, *, block: dict[str, str], **kwargs: Any) -> None:
        super().__init__(**kwargs)
        self.language, self.code, self.output = block["language"], block["code"], block["output"]

    def runtest(self) -> None:
        if self.output is None:
            pytest.fail("no ```text block after the example says what it prints", pytrace=False)
        command, suffix = PROGRAMS[self.language]
        with tempfile.TemporaryDirectory() as directory:
            program = Path(directory) / f"example{suffix}"
            program.write_text(self.code, encoding="utf-8")
            run = subprocess.run(
                [*command, program.name], cwd=directory, capture_output=True, text=True, timeout=120
            )
        if run.returncode != 0:
            pytest.fail(f"exit status {run.returncode}\n{run.stderr}", pytrace=False)
        if run.stdout != self.output:
            pytest.fail(f"printed:\n{run.stdout}\ninstead of:\n{self.output}", pytrace=False)

    def reportinfo(self) -> tuple[Path, int | None, str]:
        return self.path, None, self.name


# A link's target, inline ([text](target), ![alt](target)) or defined
# ([name]: target), and a heading.
LINK = re.compile(r"\]\(([^)\s]+)\)|^\[[^\]]+\]: (\S+)", re.MULTILINE)
HEADING = re.compile(r"^#+ (.*)$", re.MULTILINE)


def anchors(text: str) -> set[str]:
    """The anchors GitHub, PyPI and Sphinx give a page's headings."""
    return {re.sub(r"[^\w\- ]", "", heading.lower()).replace(" ", "-") for heading in HEADING.findall(text)}


class Links(pytest.Item):
    def runtest(self) -> None:
        root = self.config.rootpath
        with open(root / "pyproject.toml", "rb") as pyproject:
            urls = tomllib.load(pyproject)["project"]["urls"]
        docs, repo = urls["Documentation"], urls["Source"]
        raw = repo.replace("https://github.com/", "https://raw.githubusercontent.com/")
        text = self.path.read_text(encoding="utf-8")
        dead = [
            f"[project.urls] {name}: outside the documentation and the repository"
            for name, url in urls.items()
            if not url.startswith((docs, repo))
        ]
        for inline, defined in LINK.findall(text):
            target = inline or defined
            address, _, anchor = target.partition("#")
            if not address:
                file, headings = self.path, anchors(text)
            elif address.startswith(docs):
                page = address.removeprefix(docs).removesuffix(".html") or "index"
                file = root / "docs" / f"{page}.md"
                headings = anchors(file.read_text(encoding="utf-8")) if file.is_file() else set()
            elif address.startswith((f"{repo}/blob/main/", f"{repo}/tree/main/", f"{raw}/main/")):
                file, headings = root / address.split("/main/", 1)[1], set()
            elif address.startswith("https://"):
                continue
            else:
                dead.append(f"{target}: a relative link, dead where PyPI shows the page")
                continue
            if not file.exists():
                dead.append(f"{target}: no {file.relative_to(root)}")
            elif anchor and anchor not in headings:
                dead.append(f"{target}: no heading of {file.relative_to(root)} has that anchor")
        if dead:
            pytest.fail("\n".join(dead), pytrace=False)

    def reportinfo(self) -> tuple[Path, int | None, str]:
        return self.path, None, "links"


QUOTING = ("README.md", "performance.md")
# A figure with its unit, or two ("1,267 to 1,379 MB/s", "5.56 and 2.29 times").
FIGURE = re.compile(r"(\d[\d,]*(?:\.\d+)?)(?:,? (?:to|and) (\d[\d,]*(?:\.\d+)?))? ?(?:µs|ms|MB/s|GB/s|times|×)")


class Figures(pytest.Item):
    def runtest(self) -> None:
        tables = "".join(
            path.read_text(encoding="utf-8")
            for path in sorted((self.config.rootpath / "docs" / "_generated").glob("*.md"))
        )
        cells = set(re.findall(r"\d[\d,]*(?:\.\d+)?", tables))
        prose = BLOCK.sub("", self.path.read_text(encoding="utf-8"))
        prose = "\n".join(line for line in prose.splitlines() if not line.startswith("|"))
        quoted = {number for pair in FIGURE.findall(prose) for number in pair if number}
        if quoted - cells:
            pytest.fail(f"figures in no table of docs/_generated/: {sorted(quoted - cells)}", pytrace=False)

    def reportinfo(self) -> tuple[Path, int | None, str]:
        return self.path, None, "figures"
