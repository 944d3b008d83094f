"""The ciphertext against the openssl command line, and the examples run as
a user would run them."""

import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import kestrelbox
from conftest import cbc_encrypt, pad, seal

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
needs_openssl = pytest.mark.skipif(shutil.which("openssl") is None, reason="no openssl command")


def openssl(mode: str, data: bytes, key: bytes, iv: bytes) -> bytes:
    command = ["openssl", "enc", mode, "-aes-128-cbc", "-nopad", "-K", key.hex(), "-iv", iv.hex()]
    return subprocess.run(command, input=data, capture_output=True, check=True).stdout


def strip_by_final_byte(padded: bytes) -> bytes:
    return padded[: len(padded) - (padded[-1] or 16)]


@needs_openssl
@pytest.mark.parametrize("length", [1, 15, 16, 17, 32, 1000, 65536])
def test_openssl_decrypts_what_aes_encode_made(length: int) -> None:
    key, iv, message = os.urandom(16), os.urandom(16), os.urandom(length)
    padded = openssl("-d", seal(message, key, iv), key, iv)
    assert padded == pad(message)
    assert strip_by_final_byte(padded) == message


@needs_openssl
@pytest.mark.parametrize("length", [1, 15, 16, 17, 32, 1000, 65536])
def test_aes_decode_reads_what_openssl_made(length: int) -> None:
    key, iv, message = os.urandom(16), os.urandom(16), os.urandom(length)
    ciphertext = openssl("-e", pad(message), key, iv)
    assert kestrelbox.aes_decode(ciphertext, key, iv) == (0, message)


def run_example(name: str) -> str:
    done = subprocess.run(
        [sys.executable, str(EXAMPLES / name)], capture_output=True, text=True, check=True
    )
    return done.stdout


@needs_openssl
def test_openssl_example() -> None:
    out = run_example("openssl_interop.py")
    assert "kestrelbox -> openssl: b'Readable by anything that speaks AES-128-CBC.'" in out
    assert "openssl -> kestrelbox: (0, b'Readable by anything that speaks AES-128-CBC.')" in out
    assert "same ciphertext both ways: True" in out


def test_encrypt_then_mac_example_rejects_tampering() -> None:
    out = run_example("encrypt_then_mac.py")
    assert out.splitlines() == [
        "opened: b'meet at the old mill at nine'",
        "tampered: authentication failed",
    ]


def test_demo_example() -> None:
    out = run_example("demo.py")
    key = bytes.fromhex("000102030405060708090a0b0c0d0e0f")
    iv = bytes.fromhex("f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff")
    expected = cbc_encrypt(pad(b"Attack at dawn, bring the kestrels."), key, iv)
    assert f"ciphertext  {expected.hex()}\n" in out
    assert out.endswith("key iv length must 16\nresult      (-1, None)\n")
