"""aes_decode: round trips, ciphertext from pyca/cryptography, wrong keys and
IVs, and ciphertexts that are not whole blocks."""

import os
import random

import pytest

import kestrelbox
from conftest import DIAGNOSTIC, any_message_key_and_iv, cbc_decrypt, cbc_encrypt, pad, seal

KEY = bytes.fromhex("000102030405060708090a0b0c0d0e0f")
IV = bytes.fromhex("f0e1d2c3b4a5968778695a4b3c2d1e0f")


# The first long call of the suite (1 MiB, without the interpreter lock), so
# that a fault in how the lock is let go of and taken back shows here.
@pytest.mark.parametrize("length", [1, 15, 16, 17, 31, 32, 33, 1000, 1 << 20])
def test_reference_ciphertext_decodes(length: int) -> None:
    message = os.urandom(length)
    ciphertext = cbc_encrypt(pad(message), KEY, IV)
    assert kestrelbox.aes_decode(ciphertext, KEY, IV) == (0, message)


@pytest.mark.parametrize("length", range(1, 65))
def test_round_trip_every_short_length(length: int) -> None:
    message = os.urandom(length)
    assert kestrelbox.aes_decode(seal(message, KEY, IV), KEY, IV) == (0, message)


@any_message_key_and_iv
def test_round_trip_any_message(message: bytes, key: bytes, iv: bytes) -> None:
    assert kestrelbox.aes_decode(seal(message, key, iv), key, iv) == (0, message)


def test_empty_message_block_decodes_to_empty_bytes() -> None:
    ciphertext = cbc_encrypt(bytes(16), KEY, IV)
    assert kestrelbox.aes_decode(ciphertext, KEY, IV) == (0, b"")


Result = tuple[int, bytes | None]


def expected_for_wrong_key(ciphertext: bytes, key: bytes, iv: bytes) -> Result:
    last = cbc_decrypt(ciphertext, key, iv)[-1]
    if last >= 16:
        return (-1, None)
    plain = cbc_decrypt(ciphertext, key, iv)
    return (0, plain[: len(plain) - (last or 16)])


def test_wrong_key_mostly_fails_and_never_raises() -> None:
    rng = random.Random(1)
    failures = 0
    trials = 500
    for _ in range(trials):
        message = rng.randbytes(rng.randrange(1, 80))
        ciphertext = seal(message, KEY, IV)
        wrong = rng.randbytes(16)
        result = kestrelbox.aes_decode(ciphertext, wrong, IV)
        assert result == expected_for_wrong_key(ciphertext, wrong, IV)
        failures += result == (-1, None)
    # The final byte is 16 or more with probability 240/256.
    assert failures > trials * 0.85


def test_wrong_iv_changes_only_the_first_block() -> None:
    message = bytes(range(65, 65 + 20))
    ciphertext = seal(message, KEY, IV)
    assert len(ciphertext) == 32
    wrong_iv = bytes(b ^ 0x5A for b in IV)
    status, decoded = kestrelbox.aes_decode(ciphertext, KEY, wrong_iv)
    assert status == 0 and decoded is not None
    assert decoded[16:] == message[16:]
    assert decoded[:16] == bytes(a ^ b ^ c for a, b, c in zip(message[:16], IV, wrong_iv))


def test_empty_ciphertext_prints_the_line(capfd: pytest.CaptureFixture[str]) -> None:
    assert kestrelbox.aes_decode(b"", KEY, IV) == (-1, None)
    assert capfd.readouterr().out == DIAGNOSTIC


def zero_filled_rule(ciphertext: bytes, key: bytes, iv: bytes) -> Result | type[ValueError]:
    """What the decoder must give for any length, computed from a zero-filled
    copy with the reference CBC."""
    filled = ciphertext + bytes(-len(ciphertext) % 16)
    plain = cbc_decrypt(filled, key, iv)
    last = plain[len(ciphertext) - 1]
    if last >= 16:
        return (-1, None)
    n = len(ciphertext) - (last or 16)
    if n < 0:
        return ValueError
    return (0, plain[:n])


@pytest.mark.parametrize("length", [n for n in range(1, 48) if n % 16])
def test_partial_blocks_follow_the_zero_filled_rule(length: int) -> None:
    rng = random.Random(length)
    outcomes: set[int | str] = set()
    for _ in range(1000):
        ciphertext = rng.randbytes(length)
        expected = zero_filled_rule(ciphertext, KEY, IV)
        if expected is ValueError:
            with pytest.raises(ValueError, match=r"^string too long$"):
                kestrelbox.aes_decode(ciphertext, KEY, IV)
            outcomes.add("error")
        else:
            assert kestrelbox.aes_decode(ciphertext, KEY, IV) == expected
            outcomes.add(expected[0])
    assert -1 in outcomes
    # Below 15 bytes at least two final-byte values overrun the length.
    if length < 15:
        assert "error" in outcomes


@pytest.mark.parametrize("length", [1, 5, 15])
def test_short_ciphertext_with_final_byte_zero_is_a_length_error(length: int) -> None:
    # Search for a short ciphertext whose zero-filled block decrypts to a
    # final byte of 0: removing 16 bytes from fewer than 16 is impossible.
    rng = random.Random(99)
    while True:
        ciphertext = rng.randbytes(length)
        filled = ciphertext + bytes(16 - length)
        if cbc_decrypt(filled, KEY, IV)[length - 1] == 0:
            break
    with pytest.raises(ValueError, match=r"^string too long$"):
        kestrelbox.aes_decode(ciphertext, KEY, IV)
