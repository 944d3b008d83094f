"""kestrelbox and the openssl command line read each other's ciphertext.

The ciphertext is plain AES-128-CBC over the padded message, so openssl
decrypts it with -nopad and the padding is stripped by the module's rule: a
final byte of 0 means sixteen bytes of padding, 1 to 15 that many."""

import os
import subprocess

import kestrelbox


def openssl(mode: str, data: bytes, key: bytes, iv: bytes) -> bytes:
    command = ["openssl", "enc", mode, "-aes-128-cbc", "-nopad", "-K", key.hex(), "-iv", iv.hex()]
    return subprocess.run(command, input=data, capture_output=True, check=True).stdout


def pad(message: bytes) -> bytes:
    rem = len(message) % 16
    return message + (bytes(16) if rem == 0 else bytes([16 - rem]) * (16 - rem))


def unpad(padded: bytes) -> bytes:
    if padded[-1] >= 16:
        raise ValueError("not this module's padding")
    return padded[: len(padded) - (padded[-1] or 16)]


def main() -> None:
    key, iv = os.urandom(16), os.urandom(16)
    message = b"Readable by anything that speaks AES-128-CBC."

    status, ciphertext = kestrelbox.aes_encode(message, key, iv)
    assert status == 0 and ciphertext is not None
    by_openssl = unpad(openssl("-d", ciphertext, key, iv))
    print("kestrelbox -> openssl:", by_openssl)

    sealed_by_openssl = openssl("-e", pad(message), key, iv)
    print("openssl -> kestrelbox:", kestrelbox.aes_decode(sealed_by_openssl, key, iv))
    print("same ciphertext both ways:", sealed_by_openssl == ciphertext)


if __name__ == "__main__":
    main()
