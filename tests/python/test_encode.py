"""aes_encode against pyca/cryptography's AES-128-CBC over the padded message."""

import os

import pytest

import kestrelbox
from conftest import any_message_key_and_iv, cbc_decrypt, cbc_encrypt, pad, seal

KEY = bytes.fromhex("2b7e151628aed2a6abf7158809cf4f3c")
IV = bytes.fromhex("000102030405060708090a0b0c0d0e0f")


@pytest.mark.parametrize("length", range(1, 65))
def test_every_short_length_matches_the_reference(length: int) -> None:
    message = os.urandom(length)
    ciphertext = seal(message, KEY, IV)
    assert ciphertext == cbc_encrypt(pad(message), KEY, IV)
    assert len(ciphertext) == (length // 16 + 1) * 16


@pytest.mark.parametrize(
    "length, tail",
    [
        (1, b"\x0f" * 15),
        (15, b"\x01"),
        (16, bytes(16)),
        (17, b"\x0f" * 15),
        (32, bytes(16)),
    ],
)
def test_padding_seen_through_plain_cbc(length: int, tail: bytes) -> None:
    message = bytes(range(100, 100 + length))
    assert cbc_decrypt(seal(message, KEY, IV), KEY, IV) == message + tail


def test_same_inputs_same_ciphertext() -> None:
    message = b"deterministic"
    assert kestrelbox.aes_encode(message, KEY, IV) == kestrelbox.aes_encode(message, KEY, IV)


def test_large_message_matches_the_reference() -> None:
    message = os.urandom(1 << 20)
    assert kestrelbox.aes_encode(message, KEY, IV) == (0, cbc_encrypt(pad(message), KEY, IV))


@any_message_key_and_iv
def test_any_message_key_and_iv_match_the_reference(message: bytes, key: bytes, iv: bytes) -> None:
    assert kestrelbox.aes_encode(message, key, iv) == (0, cbc_encrypt(pad(message), key, iv))
