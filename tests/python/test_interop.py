"""The ciphertext against NIST's AES-128-CBC vectors, against the openssl
command line, and the examples run as a user would run them."""

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


CAVP = Path(__file__).resolve().parents[1] / "vectors" / "cavp"


def cavp_records(name: str) -> list[tuple[bool, dict[str, bytes]]]:
    """The records of a CAVP response file: (encrypt?, KEY, IV, PLAINTEXT,
    CIPHERTEXT)."""
    records: list[tuple[bool, dict[str, bytes]]] = []
    encrypt = True
    for line in (CAVP / f"{name}.rsp").read_text().splitlines():
        if line.strip() in ("[ENCRYPT]", "[DECRYPT]"):
            encrypt = line.strip() == "[ENCRYPT]"
        elif line.startswith("COUNT"):
            records.append((encrypt, {}))
        elif " = " in line and records:
            field, value = line.split(" = ")
            records[-1][1][field] = bytes.fromhex(value)
    return records


def encrypt_blocks(blocks: bytes, key: bytes, iv: bytes) -> bytes:
    """CBC encryption of whole blocks: aes_encode's result less its padding
    block."""
    status, sealed = kestrelbox.aes_encode(blocks, key, iv)
    assert status == 0 and sealed is not None
    return sealed[: len(blocks)]


def decrypt_blocks(blocks: bytes, key: bytes, iv: bytes) -> bytes:
    """CBC decryption of whole blocks through aes_decode, given a last block
    that decrypts to a block of zeros (the padding of a whole-block message)."""
    padding = encrypt_blocks(blocks[-16:], key, bytes(16))
    status, message = kestrelbox.aes_decode(blocks + padding, key, iv)
    assert status == 0 and message is not None
    return message


# Every record both ways (788 in all), the Monte Carlo ones chaining 1000
# calls on each record's key a block at a time (AESAVS 6.4.2: the j-th
# input is the IV for j = 1, else the output two blocks back).
@pytest.mark.parametrize(
    "name",
    ["CBCGFSbox128", "CBCKeySbox128", "CBCVarKey128", "CBCVarTxt128", "CBCMMT128", "CBCMCT128"],
)
def test_nist_cavp_vectors(name: str) -> None:
    for encrypt, r in cavp_records(name):
        key, iv = r["KEY"], r["IV"]
        given = r["PLAINTEXT"] if encrypt else r["CIPHERTEXT"]
        expected = r["CIPHERTEXT"] if encrypt else r["PLAINTEXT"]
        run = encrypt_blocks if encrypt else decrypt_blocks
        if name != "CBCMCT128":
            assert run(given, key, iv) == expected, r
            continue
        block, chain, output = given, iv, b""
        for j in range(1000):
            before, output = output, run(block, key, chain)
            chain = output if encrypt else block
            block = iv if j == 0 else before
        assert output == expected, r


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
