#!/usr/bin/env python3
"""The UI probe against a window that moves while its program is blocked.

Runs dialog_demo.exe (which blocks on standard input between the steps of a dialog-mode update) and
uiprobe.exe side by side under Wine. Each time the probe reports a step, the script releases the demo to
the next one; so every step the probe sees was read from a window whose program thread was blocked.
At the end the probe saves the window as a PNG and presses OK; the PNG is decoded and its pixels checked.

    probe_check.py --runner "wine" --demo dialog_demo.exe --probe uiprobe.exe [--keep-png FILE]

Exit 0 when every check passed; prints one line per check.
"""
import argparse
import json
import pathlib
import shlex
import struct
import subprocess
import sys
import tempfile
import zlib

GREEN = (0, 150, 75)
TITLE = "Torvane USB Mass Storage Firmware Upgrade ToolVer3, 1, 7, 6"

# What the probe must see, in order, before the demo may take its next step.
STEPS = [
    ("blank red status", lambda r: r.get("status") == " "),
    ("update started, bar at 10 in green",
     lambda r: r.get("status") == " On going " and r.get("pos") == 10 and r.get("bar") == "#00964B"
     and (r.get("low"), r.get("high")) == (0, 100)),
    ("bridge update", lambda r: r.get("status") == "Update KRV610x Firmware..." and not r.get("ok_enabled")),
]
FINAL = ("success with summary, bar full, OK pressable",
         lambda r: r.get("status", "").startswith("Success! Please Relink the USB Device!\r\nBridge 0")
         and r.get("pos") == 100 and r.get("ok_enabled") is True)


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def read_png(data):
    """Width, height and RGB rows of an 8-bit RGB PNG; every chunk's CRC is checked."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("no PNG signature")
    at, idat, header = 8, b"", None
    while at < len(data):
        (length,) = struct.unpack(">I", data[at:at + 4])
        kind, body = data[at + 4:at + 8], data[at + 8:at + 8 + length]
        (crc,) = struct.unpack(">I", data[at + 8 + length:at + 12 + length])
        if zlib.crc32(kind + body) != crc:
            raise ValueError(f"bad CRC in {kind!r}")
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    width, height, depth, colour = header[:4]
    if (depth, colour) != (8, 2):
        raise ValueError("not 8-bit RGB")
    raw = zlib.decompress(idat)
    stride = 1 + 3 * width
    rows = [raw[y * stride + 1:(y + 1) * stride] for y in range(height)]
    return width, height, rows


def count(rows, rgb):
    needle = bytes(rgb)
    return sum(1 for row in rows for x in range(0, len(row), 3) if row[x:x + 3] == needle)


def reddish(rows):
    """Pixels of red text: smoothed edges blend it with the background, so no exact match is asked."""
    return sum(1 for row in rows for x in range(0, len(row), 3)
               if row[x] > 180 and row[x] - row[x + 1] > 60 and row[x] - row[x + 2] > 60)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runner", default="wine", help="how to run a Windows program (split like a shell)")
    parser.add_argument("--demo", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--keep-png", help="copy the screenshot here")
    args = parser.parse_args()
    runner = shlex.split(args.runner)

    failures = []

    def check(name, ok, detail=""):
        print(("ok   " if ok else "FAIL ") + name + (f": {detail}" if detail and not ok else ""))
        if not ok:
            failures.append(name)

    with tempfile.TemporaryDirectory(prefix="uiprobe-") as folder:
        png = pathlib.Path(folder) / "window.png"
        demo = subprocess.Popen(runner + [args.demo], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        probe = subprocess.Popen(
            runner + [args.probe, "--title-prefix", "Torvane USB", "--png", windows_path(png), "--press-ok",
                      "--interval-ms", "20", "--timeout-ms", "60000"],
            stdout=subprocess.PIPE, text=True)
        lines, step, final_seen = [], 0, False
        for line in probe.stdout:
            record = json.loads(line)
            lines.append(record)
            if "event" in record:
                continue
            if step < len(STEPS) and STEPS[step][1](record):
                check("probe saw: " + STEPS[step][0], True)
                step += 1
                demo.stdin.write("\n")
                demo.stdin.flush()
            elif step == len(STEPS) and FINAL[1](record):
                final_seen = True
        probe_code = probe.wait(timeout=60)
        try:
            demo_out, _ = demo.communicate(timeout=60)
        except subprocess.TimeoutExpired:
            demo.kill()
            demo_out = ""

        for name, _ in STEPS[step:]:
            check("probe saw: " + name, False, "never reported")
        check("probe saw: " + FINAL[0], final_seen)
        events = [r["event"] for r in lines if "event" in r]
        check("probe found the window by its caption", lines and lines[0].get("title") == TITLE, str(lines[:1]))
        check("probe took the picture, pressed OK, saw the window go",
              events[-3:] == ["screenshot", "press_ok", "gone"], str(events))
        check("probe ended with 0", probe_code == 0, str(probe_code))
        check("the window answered OK", demo.returncode == 1 and "answer 1" in demo_out,
              f"{demo.returncode} {demo_out!r}")

        try:
            width, height, rows = read_png(png.read_bytes())
            shot = next(r for r in lines if r.get("event") == "screenshot")
            check("PNG has the window's size", (width, height) == (shot["width"], shot["height"]),
                  f"{width}x{height} vs {shot}")
            check("PNG shows the bar in green", count(rows, GREEN) > 50, str(count(rows, GREEN)))
            check("PNG shows the status text in red", reddish(rows) > 20, str(reddish(rows)))
            if args.keep_png:
                pathlib.Path(args.keep_png).write_bytes(png.read_bytes())
        except (OSError, ValueError, StopIteration) as error:
            check("PNG readable", False, str(error))

    print(f"{'FAILED' if failures else 'passed'}: {len(failures)} of the checks failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
