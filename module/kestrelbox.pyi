"""kestrelbox plugin"""

def aes_encode(data: bytes, key: bytes, iv: bytes, /) -> tuple[int, bytes | None]:
    """aes aes_encode"""

def aes_decode(data: bytes, key: bytes, iv: bytes, /) -> tuple[int, bytes | None]:
    """aes aes_decode"""
