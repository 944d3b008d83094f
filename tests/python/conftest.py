"""An independent reference for the module: pyca/cryptography's raw
AES-128-CBC with the module's padding rule written out here."""

from collections.abc import Callable

from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from hypothesis import given, settings
from hypothesis import strategies as st

import kestrelbox

DIAGNOSTIC = "key iv length must 16\n"


def any_message_key_and_iv(test: Callable[[bytes, bytes, bytes], None]) -> Callable[[], None]:
    """Runs `test(message, key, iv)` on messages of 1 byte to 4 KiB and any
    16-byte key and IV. The length is drawn first, so that long messages are
    as likely as short ones; st.binary alone rarely goes past two blocks."""
    chosen = given(
        message=st.integers(min_value=1, max_value=4096).flatmap(
            lambda length: st.binary(min_size=length, max_size=length)
        ),
        key=st.binary(min_size=16, max_size=16),
        iv=st.binary(min_size=16, max_size=16),
    )
    return settings(max_examples=300, deadline=None)(chosen(test))


def pad(message: bytes) -> bytes:
    """The module's padding: 16 - rem bytes of 16 - rem, or 16 zero bytes."""
    rem = len(message) % 16
    return message + (bytes(16) if rem == 0 else bytes([16 - rem]) * (16 - rem))


def cbc_encrypt(plaintext: bytes, key: bytes, iv: bytes) -> bytes:
    encryptor = Cipher(algorithms.AES(key), modes.CBC(iv)).encryptor()
    return encryptor.update(plaintext) + encryptor.finalize()


def seal(message: bytes, key: bytes, iv: bytes) -> bytes:
    """aes_encode's ciphertext, which must be there."""
    status, ciphertext = kestrelbox.aes_encode(message, key, iv)
    assert status == 0 and ciphertext is not None
    return ciphertext


def cbc_decrypt(ciphertext: bytes, key: bytes, iv: bytes) -> bytes:
    decryptor = Cipher(algorithms.AES(key), modes.CBC(iv)).decryptor()
    return decryptor.update(ciphertext) + decryptor.finalize()
