# SPDX-License-Identifier: Apache-2.0
"""Writes 7z archives byte by byte (Copy method, headers not compressed), for
what 7zz will not produce: any UTF-16 name, chosen attributes, anti-items,
items without a name or without checksums."""
import struct
import zlib

FILETIME_EPOCH = 11644473600
# 2021-03-04 05:06:07 UTC.
T1 = 1614834367


def filetime(unix):
    return (unix + FILETIME_EPOCH) * 10_000_000


def number(n):
    """7z variable-length number."""
    for extra in range(8):
        if n < (1 << (7 * (extra + 1))):
            high = n >> (8 * extra)
            mask = (0xFF00 >> extra) & 0xFF
            return bytes([mask | high]) + n.to_bytes(8, "little")[:extra]
    return b"\xff" + n.to_bytes(8, "little")


def bits(flags):
    b = bytearray((len(flags) + 7) // 8)
    for i, f in enumerate(flags):
        if f:
            b[i // 8] |= 0x80 >> (i % 8)
    return bytes(b)


def prop(pid, body):
    return bytes([pid]) + number(len(body)) + body


def start_header(next_offset, header):
    """The 32 bytes in front of everything: signature, version, CRCs."""
    start = struct.pack("<QQI", next_offset, len(header), zlib.crc32(header))
    return b"7z\xbc\xaf\x27\x1c\x00\x04" + struct.pack("<I", zlib.crc32(start)) + start


def seven_zip(items, names=True, crcs=True, declared=None):
    """items: dicts with path, data (None: directory), attr, mtime, anti.
    Paths may hold lone surrogates. declared: the unpacked size the header
    claims for all the data, whatever its length."""
    streams = [it["data"] for it in items if it.get("data")]
    packed = b"".join(streams)
    h = b"\x01"
    if streams:
        h += b"\x04"
        h += b"\x06" + number(0) + number(1) + b"\x09" + number(len(packed)) + b"\x00"
        h += b"\x07\x0b" + number(1) + b"\x00" + number(1) + b"\x01\x00"
        h += b"\x0c" + number(len(packed) if declared is None else declared) + b"\x00"
        h += b"\x08\x0d" + number(len(streams))
        h += b"\x09" + b"".join(number(len(s)) for s in streams[:-1])
        if crcs:
            h += b"\x0a\x01" + b"".join(struct.pack("<I", zlib.crc32(s)) for s in streams)
        h += b"\x00"
        h += b"\x00"
    h += b"\x05" + number(len(items))
    empty = [not it.get("data") for it in items]
    if any(empty):
        h += prop(0x0E, bits(empty))
        empties = [it for it in items if not it.get("data")]
        h += prop(0x0F, bits([it.get("data") is not None for it in empties]))
        if any(it.get("anti") for it in empties):
            h += prop(0x10, bits([it.get("anti", False) for it in empties]))
    if names:
        h += prop(0x11, b"\x00" + b"".join(it["path"].encode("utf-16-le", "surrogatepass") + b"\0\0"
                                           for it in items))
    h += prop(0x14, b"\x01\x00" + b"".join(struct.pack("<Q", filetime(it.get("mtime", T1))) for it in items))
    h += prop(0x15, b"\x01\x00" + b"".join(struct.pack("<I", it.get("attr", 0)) for it in items))
    h += b"\x00\x00"
    return start_header(len(packed), h) + packed + h
