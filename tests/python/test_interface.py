"""The Python face of the module: docstrings, argument handling, the
diagnostic line and the refusal of lengths the codec cannot count."""

import os
import shutil
import subprocess
import sys
import sysconfig
from collections.abc import Callable
from typing import Any

import pytest

import kestrelbox
from conftest import DIAGNOSTIC, seal

KEY = bytes(range(16))
IV = bytes(range(16, 32))
Function = Callable[..., tuple[int, bytes | None]]
FUNCTIONS: list[Function] = [kestrelbox.aes_encode, kestrelbox.aes_decode]
BLOCK = bytes(16)


def test_module_docstring_and_contents() -> None:
    assert kestrelbox.__doc__ == "kestrelbox plugin"
    public = [name for name in vars(kestrelbox) if not name.startswith("__")]
    # Registration order: encode first, then decode.
    assert public == ["aes_encode", "aes_decode"]


@pytest.mark.parametrize("function", FUNCTIONS, ids=lambda f: f.__name__)
def test_function_docstring(function: Function) -> None:
    name = function.__name__
    assert function.__doc__ is not None
    assert function.__doc__.splitlines() == [
        f"{name}(arg0: bytes, arg1: bytes, arg2: bytes) -> tuple",
        "",
        f"aes {name}",
    ]


class Bytes(bytes):
    pass


@pytest.mark.parametrize("function", FUNCTIONS, ids=lambda f: f.__name__)
@pytest.mark.parametrize("position", [0, 1, 2])
@pytest.mark.parametrize(
    "wrong",
    [bytearray(16), "0123456789abcdef", memoryview(bytes(16)), None],
    ids=["bytearray", "str", "memoryview", "None"],
)
def test_non_bytes_argument_is_a_type_error(
    function: Function, position: int, wrong: object, capfd: pytest.CaptureFixture[str]
) -> None:
    args: list[object] = [BLOCK, KEY, IV]
    args[position] = wrong
    with pytest.raises(TypeError, match="incompatible function arguments"):
        function(*args)
    assert capfd.readouterr().out == ""


@pytest.mark.parametrize("function", FUNCTIONS, ids=lambda f: f.__name__)
@pytest.mark.parametrize(
    "args, kwargs",
    [
        ((BLOCK, KEY), {}),
        ((BLOCK, KEY, IV, IV), {}),
        ((), {"data": BLOCK, "key": KEY, "iv": IV}),
        ((BLOCK, KEY), {"iv": IV}),
        ((BLOCK, KEY), {"arg2": IV}),
    ],
    ids=["two", "four", "keywords", "one-keyword", "generated-name"],
)
def test_wrong_argument_shape_is_a_type_error(
    function: Function,
    args: tuple[bytes, ...],
    kwargs: dict[str, Any],
    capfd: pytest.CaptureFixture[str],
) -> None:
    with pytest.raises(TypeError, match="incompatible function arguments"):
        function(*args, **kwargs)
    assert capfd.readouterr().out == ""


@pytest.mark.parametrize("function", FUNCTIONS, ids=lambda f: f.__name__)
def test_bytes_subclass_is_accepted(function: Function) -> None:
    plain = function(BLOCK, KEY, IV)
    subclassed = function(Bytes(BLOCK), Bytes(KEY), Bytes(IV))
    assert subclassed == plain
    assert plain[0] in (0, -1)


@pytest.mark.parametrize("function", FUNCTIONS, ids=lambda f: f.__name__)
@pytest.mark.parametrize(
    "data, key, iv",
    [
        (b"", KEY, IV),
        (BLOCK, b"", IV),
        (BLOCK, KEY[:15], IV),
        (BLOCK, KEY + b"x", IV),
        (BLOCK, KEY, IV[:15]),
        (BLOCK, KEY, IV + b"x"),
        (BLOCK, b"", b""),
        (BLOCK, KEY + b"x", IV + b"x"),
    ],
    ids=["empty-data", "key-0", "key-15", "key-17", "iv-15", "iv-17", "both-0", "both-17"],
)
def test_length_condition_prints_the_line_once(
    function: Function, data: bytes, key: bytes, iv: bytes, capfd: pytest.CaptureFixture[str]
) -> None:
    assert function(data, key, iv) == (-1, None)
    out, err = capfd.readouterr()
    assert out == DIAGNOSTIC
    assert err == ""


@pytest.mark.parametrize("function", FUNCTIONS, ids=lambda f: f.__name__)
def test_success_prints_nothing(function: Function, capfd: pytest.CaptureFixture[str]) -> None:
    status, _ = function(seal(b"quiet", KEY, IV), KEY, IV)
    assert status == 0
    assert capfd.readouterr().out == ""


@pytest.mark.parametrize("name", ["aes_encode", "aes_decode"])
def test_diagnostic_is_flushed_in_order_through_a_pipe(name: str) -> None:
    # PYTHONUNBUFFERED would make C stdio unbuffered and hide a missing flush.
    env = {k: v for k, v in os.environ.items() if k != "PYTHONUNBUFFERED"}
    script = (
        "import kestrelbox\n"
        "print('A', flush=True)\n"
        f"kestrelbox.{name}(b'', bytes(16), bytes(16))\n"
        "print('B', flush=True)\n"
    )
    done = subprocess.run(
        [sys.executable, "-c", script], env=env, capture_output=True, text=True, check=True
    )
    assert done.stdout == "A\n" + DIAGNOSTIC + "B\n"


# A bytes object of 2**31 - 1 bytes or more, beyond a 32-bit interpreter.
near_the_limit = pytest.mark.skipif(
    sys.maxsize < 2**31, reason="a 32-bit interpreter cannot hold 2**31 - 1 bytes"
)


@near_the_limit
@pytest.mark.parametrize("function", FUNCTIONS, ids=lambda f: f.__name__)
@pytest.mark.parametrize("size", [2**31, 2**32 + 16], ids=["2**31", "2**32+16"])
def test_data_beyond_a_signed_32_bit_length_is_refused(
    function: Function, size: int, capfd: pytest.CaptureFixture[str]
) -> None:
    # bytes(n) is calloc'ed: its pages are never touched unless read.
    data = bytes(size)
    with pytest.raises(OverflowError, match=r"^data is too long: at most 2147483647 bytes$"):
        function(data, KEY, IV)
    del data
    assert capfd.readouterr().out == ""


@near_the_limit
def test_largest_message_below_the_limit_is_not_refused_by_length(
    capfd: pytest.CaptureFixture[str],
) -> None:
    # One byte under the limit still reaches the codec; a short key then
    # shows the ordinary length condition rather than an OverflowError.
    data = bytes(2**31 - 1)
    assert kestrelbox.aes_encode(data, KEY[:15], IV) == (-1, None)
    assert capfd.readouterr().out == DIAGNOSTIC


@pytest.mark.skipif(
    not sysconfig.get_config_var("Py_GIL_DISABLED"), reason="only a free-threaded build can tell"
)
def test_importing_the_module_leaves_a_free_threaded_interpreter_without_the_gil() -> None:
    assert not getattr(sys, "_is_gil_enabled")()


# The version script and hidden visibility leave the module one export; a
# C++ library's template code would otherwise be exported beside it.
@pytest.mark.skipif(
    sys.platform != "linux" or shutil.which("nm") is None or "KESTRELBOX_EMULATOR" in os.environ,
    reason="reads the module's symbols with the host's nm",
)
def test_the_module_exports_its_initialisation_alone() -> None:
    listing = subprocess.run(
        ["nm", "-D", "--defined-only", kestrelbox.__file__],
        capture_output=True,
        text=True,
        check=True,
    ).stdout
    assert [line.split()[-1] for line in listing.splitlines()] == ["PyInit_kestrelbox"]
