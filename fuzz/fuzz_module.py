"""atheris over the Python entry points: any bytes for data, key and IV.

Each call must give a result pair of the right shape or, for short
ciphertext, ValueError("string too long"); encoding then decoding with a
valid key and IV must give the data back; nothing else may be raised."""

import sys

import atheris

with atheris.instrument_imports():
    import kestrelbox


def test_one_input(raw: bytes) -> None:
    source = atheris.FuzzedDataProvider(raw)
    key = source.ConsumeBytes(source.ConsumeIntInRange(0, 18))
    iv = source.ConsumeBytes(source.ConsumeIntInRange(0, 18))
    data = source.ConsumeBytes(source.remaining_bytes())
    valid = len(key) == 16 and len(iv) == 16 and len(data) > 0

    status, sealed = kestrelbox.aes_encode(data, key, iv)
    if not valid:
        assert (status, sealed) == (-1, None)
    else:
        assert status == 0 and sealed is not None
        assert len(sealed) == (len(data) // 16 + 1) * 16
        assert kestrelbox.aes_decode(sealed, key, iv) == (0, data)

    try:
        status, opened = kestrelbox.aes_decode(data, key, iv)
    except ValueError as error:
        assert valid and len(data) < 16 and str(error) == "string too long"
        return
    if status == 0:
        assert valid and opened is not None and len(opened) <= len(data)
    else:
        assert status == -1 and opened is None


if __name__ == "__main__":
    atheris.Setup(sys.argv, test_one_input)
    atheris.Fuzz()
