"""Encrypt-then-MAC around kestrelbox.

The ciphertext carries no integrity: anyone can flip bits in it, and the
decoder's status says whether the padding byte was valid, which an attacker
can use as a padding oracle. So seal with a MAC over the IV and the
ciphertext, check it with a constant-time comparison, and decode only what
passes. Use a fresh random IV for every message and separate keys for
encryption and authentication."""

import hashlib
import hmac
import os

import kestrelbox


def seal(message: bytes, enc_key: bytes, mac_key: bytes) -> bytes:
    iv = os.urandom(16)
    status, ciphertext = kestrelbox.aes_encode(message, enc_key, iv)
    if status != 0 or ciphertext is None:
        raise ValueError("could not encrypt")
    tag = hmac.new(mac_key, iv + ciphertext, hashlib.sha256).digest()
    return iv + ciphertext + tag


def open_sealed(sealed: bytes, enc_key: bytes, mac_key: bytes) -> bytes:
    if len(sealed) < 16 + 16 + 32:
        raise ValueError("message is too short")
    iv, ciphertext, tag = sealed[:16], sealed[16:-32], sealed[-32:]
    expected = hmac.new(mac_key, iv + ciphertext, hashlib.sha256).digest()
    if not hmac.compare_digest(tag, expected):
        raise ValueError("authentication failed")
    status, message = kestrelbox.aes_decode(ciphertext, enc_key, iv)
    if status != 0 or message is None:
        raise ValueError("could not decrypt")
    return message


def main() -> None:
    enc_key, mac_key = os.urandom(16), os.urandom(32)
    sealed = seal(b"meet at the old mill at nine", enc_key, mac_key)
    print("opened:", open_sealed(sealed, enc_key, mac_key))

    tampered = bytearray(sealed)
    tampered[20] ^= 1
    try:
        open_sealed(bytes(tampered), enc_key, mac_key)
    except ValueError as error:
        print("tampered:", error)


if __name__ == "__main__":
    main()
