#!/usr/bin/env python3
"""Writes the DICOM files no dcmtk tool makes: a 12-bit grey ramp with a window, uncompressed
YBR_FULL_422 data and a JPEG 2000 frame. Reads WORK/base.rgb (40x30 raw RGB) and WORK/j2k.j2k;
writes into OUT."""
import struct
import sys

work, out = sys.argv[1], sys.argv[2]
W, H = 40, 30


def element(group, elem, vr, value):
    if isinstance(value, str):
        value = value.encode("ascii")
        if len(value) % 2:
            value += b"\0" if vr == "UI" else b" "
    elif len(value) % 2:
        value += b"\0"
    head = struct.pack("<HH", group, elem) + vr.encode("ascii")
    if vr in ("OB", "OW", "SQ", "UN", "UT"):
        return head + b"\0\0" + struct.pack("<I", len(value)) + value
    return head + struct.pack("<H", len(value)) + value


def us(v):
    return struct.pack("<H", v)


def write(name, xfer, photometric, samples, bits, stored, pixels, window=None, encapsulated=False):
    sop_class = "1.2.840.10008.5.1.4.1.1.7"
    instance = "1.2.826.0.1.3680043.8.498.1." + str(abs(hash(name)) % 10**12)
    meta = (element(2, 1, "OB", b"\0\1") + element(2, 2, "UI", sop_class) +
            element(2, 3, "UI", instance) + element(2, 0x10, "UI", xfer) +
            element(2, 0x12, "UI", "1.2.826.0.1.3680043.8.498.2"))
    data = element(8, 0x16, "UI", sop_class) + element(8, 0x18, "UI", instance)
    data += element(0x28, 2, "US", us(samples)) + element(0x28, 4, "CS", photometric)
    if samples == 3:
        data += element(0x28, 6, "US", us(0))
    data += element(0x28, 0x10, "US", us(H)) + element(0x28, 0x11, "US", us(W))
    data += element(0x28, 0x100, "US", us(bits)) + element(0x28, 0x101, "US", us(stored))
    data += element(0x28, 0x102, "US", us(stored - 1)) + element(0x28, 0x103, "US", us(0))
    if window:
        data += element(0x28, 0x1050, "DS", window[0]) + element(0x28, 0x1051, "DS", window[1])
    if encapsulated:
        frame = pixels + (b"\0" if len(pixels) % 2 else b"")
        data += struct.pack("<HH", 0x7FE0, 0x10) + b"OB\0\0" + struct.pack("<I", 0xFFFFFFFF)
        data += struct.pack("<HHI", 0xFFFE, 0xE000, 0)
        data += struct.pack("<HHI", 0xFFFE, 0xE000, len(frame)) + frame
        data += struct.pack("<HHI", 0xFFFE, 0xE0DD, 0)
    else:
        data += element(0x7FE0, 0x10, "OW" if bits > 8 else "OB", pixels)
    with open(f"{out}/{name}", "wb") as f:
        f.write(b"\0" * 128 + b"DICM" + element(2, 0, "UL", struct.pack("<I", len(meta))) + meta)
        f.write(data)


explicit = "1.2.840.10008.1.2.1"
ramp = b"".join(struct.pack("<H", (x * 4095 // (W - 1) + y * 37) % 4096)
                for y in range(H) for x in range(W))
write("grey12.dcm", explicit, "MONOCHROME2", 1, 16, 12, ramp, window=("1800", "3000"))

rgb = open(f"{work}/base.rgb", "rb").read()
ybr = bytearray()
for i in range(0, W * H, 2):
    px = [rgb[3 * (i + k):3 * (i + k) + 3] for k in (0, 1)]
    ys = [round(0.299 * r + 0.587 * g + 0.114 * b) for r, g, b in px]
    cb = sum(-0.168736 * r - 0.331264 * g + 0.5 * b for r, g, b in px) / 2 + 128
    cr = sum(0.5 * r - 0.418688 * g - 0.081312 * b for r, g, b in px) / 2 + 128
    ybr += bytes([min(255, y) for y in ys] + [min(255, round(cb)), min(255, round(cr))])
write("ybr422.dcm", explicit, "YBR_FULL_422", 3, 8, 8, bytes(ybr))

j2k = open(f"{work}/j2k.j2k", "rb").read()
write("j2k.dcm", "1.2.840.10008.1.2.4.90", "YBR_RCT", 3, 8, 8, j2k, encapsulated=True)
