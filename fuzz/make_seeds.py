#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/<target>/: a few inputs per target that
reach the interesting paths at once. Run again after changing it; the files are committed."""

from pathlib import Path

root = Path(__file__).resolve().parent / "corpus"


def write(target, name, data):
    folder = root / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data if isinstance(data, bytes) else data.encode("utf-8"))


# Texts as a setpoint field or the temperature read-back would hold them.
for name, text in {
    "piezo": "63.3", "tie": "2.5", "exponent_d": " 1d3x", "blanks_inside": "1 2\t3\n4",
    "hex": "&HFFFF", "octal": "&o777", "signed_hex": "-&H10", "huge": "9e999",
    "tiny": "1e-320", "long_mantissa": "0.1000000000000000055511151231257827",
    "period_only": ".", "temperature": "15.5500000000001",
}.items():
    write("fuzz_leadingnumber", name, text)


def status(values, flags=0, opcode=0xA1, last=0):
    offsets = [1, 3, 5, 7, 9, 11, 13, 15, 18, 20, 22, 24, 26, 28, 30]
    frame = bytearray(33)
    frame[0] = opcode
    for offset, value in zip(offsets, values):
        frame[offset] = value >> 8
        frame[offset + 1] = value & 0xFF
    frame[17] = flags
    frame[32] = last
    return bytes(frame)


write("fuzz_statusframe", "zeros", status([0] * 15))
write("fuzz_statusframe", "full_scale", status([4095] * 15, flags=0x3F))
write("fuzz_statusframe", "boundaries", status([100, 10, 101, 90, 3999, 4000, 2048, 2275, 455, 1, 2, 3, 4, 5, 6],
                                                flags=0x21))
write("fuzz_statusframe", "upper_nibbles", bytes([0xA1] + [0xF1, 0x23] * 16))
write("fuzz_statusframe", "all_ff", b"\xff" * 33)

# Byte 0 picks the field: 0 EclCurrent, 1 InjCurrent, 2..4 piezos, 5..6 X and Y; 0x08 UTF-16.
for name, (field, text) in {
    "current_4095": (0, "4095"), "current_fraction": (0, "12.7"), "inj_500": (1, "500"),
    "piezo_max": (2, "63.3"), "piezo_over": (3, "63.31"), "piezo_half": (4, "31.65"),
    "dac_tie": (5, "2.5"), "dac_clamp": (6, "1e4"), "typed_backspace": (0, "40\b96"),
    "raw_wraps": (5, "70000"),
}.items():
    write("fuzz_commandframes", name, bytes([field]) + text.encode("utf-8"))
write("fuzz_commandframes", "utf16_piezo", bytes([0x0A]) + "6.3e1".encode("utf-16-le"))


def arrivals(*chunks):
    return b"".join(bytes([len(c)]) + c if c else b"\0" for c in chunks)


echo = b"\xafHi, this should show up on the console."
write("fuzz_dispatch", "status_then_message", arrivals(status([0] * 15), echo))
write("fuzz_dispatch", "switches_flip", arrivals(status([1] * 15, flags=0x3F), status([2] * 15, flags=0x00),
                                                 status([3] * 15, flags=0x3F)))
write("fuzz_dispatch", "split_status", arrivals(status([7] * 15)[:20], status([7] * 15)[20:]))
write("fuzz_dispatch", "joined", arrivals(echo + status([0] * 15), status([0] * 15) * 2))
write("fuzz_dispatch", "escape_between", arrivals(b"\xafA", b"", b"\xaf\r\nline", b"\xaf"))
