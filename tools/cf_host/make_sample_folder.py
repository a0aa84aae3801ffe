#!/usr/bin/env python3
"""Writes a sample particle-counter device folder for parvex_cf_host: config, saveconfig,
an "ai" file with eight analogue channels and a "di" file with three digital ones."""
import struct
import sys
from pathlib import Path


def text(value, width):
    return value.encode()[:width].ljust(width, b"\0")


def common(tag, description, type_code, flags):
    rec = bytearray(216)
    rec[0:8] = text(tag[:8], 8)
    rec[8:24] = text(description[:16], 16)
    rec[24] = type_code
    struct.pack_into("<I", rec, 28, flags)
    rec[138:142] = text(tag[8:12], 4)
    rec[142:158] = text(description[16:32], 16)
    rec[158:161] = text(tag[12:15], 3)
    return rec


def analogue(tag, description, units, value_type, low, high, enabled=True):
    flags = (0x0001 if enabled else 0) | 0x0002 | 0x0004 | 0x0020 | 0x0100 | 0x0800 | 0x0008
    rec = common(tag, description, 0, flags)
    rec[32:36] = text(units[:4], 4)
    rec[161:165] = text(units[4:8], 4)
    struct.pack_into("<9f", rec, 36, 1.0, 0.0, high * 0.9, low * 1.1, high, high * 0.95,
                     low, low * 1.05, 5.0)
    rec[72], rec[73] = 2, 3
    rec[74:106] = text("HIGH " + tag, 32)
    rec[106:138] = text("LOW " + tag, 32)
    struct.pack_into("<ffHH", rec, 176, high * 0.8, 0.0, 10, 20)
    rec[188:191] = bytes([0, 1, value_type])
    return rec


def digital(tag, description, low_text, high_text, alarm):
    flags = 0x0001 | 0x0004 | 0x0010 | (0x0008 | 0x0002 if alarm else 0)
    rec = common(tag, description, 1, flags)
    rec[32:64] = text(high_text, 32)
    rec[64:96] = text(low_text, 32)
    rec[96] = 5
    rec[97:129] = text(tag + " ALARM", 32)
    struct.pack_into("<H", rec, 190, 15)
    return rec


def main(folder):
    path = Path(folder)
    path.mkdir(parents=True, exist_ok=True)
    block = bytearray(704)
    struct.pack_into("<Ii8sIi", block, 0, 60000, 9600, b"COM3", 0, 8)
    (path / "config").write_bytes(b"\x01" + block)
    (path / "saveconfig").write_bytes(struct.pack("<BBI", 1, 0, 300000))
    sizes = ["0.3-0.5", "0.5-1.0", "1.0-5.0", "5.0-10", "10-25", ">25"]
    ai = [analogue("PC1_%s" % s.replace(".", "").replace("-", "_").replace(">", "GT"),
                   "Particles %s um per cubic foot" % s, "cnt/ft3", i, 0.0, 10000.0 / (i + 1))
          for i, s in enumerate(sizes)]
    ai.append(analogue("PC1_RH", "Relative humidity", "%RH", 6, 20.0, 60.0))
    ai.append(analogue("PC1_TEMP", "Room temperature", "degC", 7, 15.0, 25.0, enabled=False))
    di = [digital("PC1_DOOR", "Clean room door", "CLOSED", "OPEN", True),
          digital("PC1_PUMP", "Vacuum pump", "STOPPED", "RUNNING", False),
          digital("PC1_SPARE", "Spare input", "OFF", "ON", False)]
    di[2][28] = 0  # disabled
    stamp = b"\0" * 8
    (path / "ai").write_bytes(stamp + b"".join(ai))
    (path / "di").write_bytes(stamp + b"".join(di))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "DEV1")
