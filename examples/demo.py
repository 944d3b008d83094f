"""Encrypt a sample message with kestrelbox and show a refused call."""

import kestrelbox

key = bytes.fromhex("000102030405060708090a0b0c0d0e0f")
iv = bytes.fromhex("f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff")
message = b"Attack at dawn, bring the kestrels."

status, ciphertext = kestrelbox.aes_encode(message, key, iv)
print("key        ", key.hex())
print("iv         ", iv.hex())
print("message    ", message)
print("status     ", status)
assert ciphertext is not None
print("ciphertext ", ciphertext.hex())

status, decoded = kestrelbox.aes_decode(ciphertext, key, iv)
print("decoded    ", status, decoded)

print("A 15-byte key is refused; the module prints its own line:", flush=True)
print("result     ", kestrelbox.aes_encode(message, key[:15], iv))
