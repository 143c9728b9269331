#!/usr/bin/env python3
"""The checks of scripts/e2e-linux.sh: the guest run against the host run over a copy of the same bench.

Exit 0 when every check passed; prints one line per check and a summary.
"""
import argparse
import json
import os
import pathlib
import re
import subprocess
import sys

# Commands the guest's kernel sends on its own while it probes and reads a disk, never the program: the
# SCSI scan's INQUIRY (a 6-byte CDB; the program's INQUIRY travels in 12 bytes), TEST UNIT READY, the
# disk driver's READ CAPACITY(10)/(16), MODE SENSE(6)/(10) for write protection and caching, READ(10) of
# the partition tables, START STOP UNIT and PREVENT ALLOW MEDIUM REMOVAL, and REQUEST SENSE, which
# usb-storage sends after every command that ended in CHECK CONDITION (on the host the sense data come
# back with the command itself).
KERNEL_OPCODES = {0x00, 0x03, 0x1A, 0x1B, 0x1E, 0x25, 0x28, 0x5A, 0x9E}


def kernel_command(record):
    cdb = bytes.fromhex(record["cdb"])
    if cdb[0] == 0x12:
        return record["cdb_length"] == 6
    return cdb[0] in KERNEL_OPCODES


# The relink's poll of the signature registers (0xE4 reading two bytes at 0xCA02) is repeated until the
# restarted bridge is back: how often depends on how long that takes, in real time in the guest and in
# virtual time on the host. A run of identical polls therefore counts once on both sides.
RELINK_POLL = "e40200ca0200"


def is_poll(record):
    return record["cdb"] == RELINK_POLL


def essence(record):
    """What travels over USB and what the bridge answered: no timing, no host request record."""
    e = {
        "cdb": record["cdb"],
        "cdb_length": record["cdb_length"],
        "transfer_length": record["transfer_length"],
        "scsi_status": record["scsi_status"],
        "bytes": record["bytes"],
        "sense": record.get("sense"),
    }
    if record["transfer_length"] > 0:
        e["data_in"] = record["data_in"]
    return e


def read_trace(folder):
    path = folder / "trace.jsonl"
    if not path.exists():
        return []
    return [json.loads(line) for line in path.read_text().splitlines() if line.strip()]


def steps_of(text):
    return {m.group(1): int(m.group(2)) for m in re.finditer(r"^E2E-STEP (\S+) exit=(-?\d+)$", text, re.M)}


def compare_traces(guest, host, tail_devices=()):
    """Per bridge: the host's commands, in order, must be the guest's once the kernel's own are set aside.

    Host records the bench refused before any device saw them (control_ok false: a request sent to a disk
    that had gone, or refused by the pass-through rules) cannot reach a device over USB and are left out.
    On each of `tail_devices`, what follows the host's last command is the guest's alone (smartctl on
    bridge1, the format on bridge0), run after the program's and quibdiag's steps (which the host runs too):
    it is returned apart. Returns (problems, counts, {device: its tail})."""
    problems = []
    counts = {}
    tails = {}
    devices = sorted({r["device"] for r in guest} | {r["device"] for r in host})
    for device in devices:
        g = [r for r in guest if r["device"] == device]
        h = []
        for r in host:
            if r["device"] != device or not r["control_ok"]:
                continue
            if is_poll(r) and h and essence(h[-1]) == essence(r):
                continue
            h.append(r)
        refused = sum(1 for r in host if r["device"] == device and not r["control_ok"])
        kernel = 0
        repeats = 0
        i = 0
        tail = []
        for n, record in enumerate(g):
            if device in tail_devices and i == len(h):
                tail = tails[device] = g[n:]
                break
            if i < len(h) and essence(record) == essence(h[i]):
                i += 1
            elif is_poll(record) and i > 0 and essence(record) == essence(h[i - 1]):
                repeats += 1
            elif kernel_command(record):
                kernel += 1
            else:
                want = json.dumps(essence(h[i])) if i < len(h) else "nothing more"
                problems.append(f"{device}: guest command {json.dumps(essence(record))} where the host had {want}")
                break
        else:
            if i < len(h):
                problems.append(f"{device}: the guest never received the host's command #{i + 1} "
                                f"{json.dumps(essence(h[i]))} ({len(h) - i} missing)")
        counts[device] = {"guest": len(g), "host": len(h), "matched": i, "kernel": kernel,
                          "repeats": repeats, "host_refused": refused,
                          "tail": len(tail)}
    return problems, counts, tails


SMART_RUNS = ["sat16-a", "sat12-a", "sat16-x"]


def refused(record):
    """A command the bench refused: anything but GOOD and the CHECK CONDITION that carries the ATA
    registers a pass-through command asked for (RECOVERED ERROR, ATA PASS THROUGH INFORMATION AVAILABLE)."""
    if record["scsi_status"] == 0 and record.get("error", 0) == 0:
        return False
    sense = bytes.fromhex(record.get("sense", ""))
    return not (len(sense) >= 4 and sense[0] == 0x72 and sense[1] == 0x01 and sense[2:4] == b"\x00\x1d")


def smart_checks(work, console, drive, tail, check):
    """smartctl's reading of the drive against what the bench description says it holds."""
    smart = drive["smart"]
    for name in SMART_RUNS:
        m = re.search(rf"^E2E-SMART {name} exit=(\d+) disk=(\S*)$", console, re.M)
        path = work / f"smart-{name}.json"
        if not m or not path.exists():
            check(f"smartctl {name} ran", False, "no exit code or no output")
            continue
        code = int(m.group(1))
        try:
            j = json.loads(path.read_text())
        except ValueError as e:
            check(f"smartctl {name} answered JSON", False, str(e))
            continue
        # Exit bits 0-2: command line, open, a SMART command failed; 3: failing; 6: errors logged.
        want_bits = (0 if smart["healthy"] else 8) | (64 if smart["error_count"] else 0)
        check(f"smartctl {name} on {m.group(2)}: exit {code} (no command failed, health and error log as described)",
              code & 0x4F == want_bits, json.dumps(j.get("smartctl", {}).get("messages", [])))
        problems = []

        def same(what, got, want):
            if got != want:
                problems.append(f"{what}: smartctl {got!r}, bench {want!r}")

        same("model", j.get("model_name"), drive["model"])
        same("serial", j.get("serial_number"), drive["serial"])
        same("firmware", j.get("firmware_version"), drive["firmware"])
        same("capacity (blocks)", j.get("user_capacity", {}).get("blocks"), drive["sectors"])
        same("logical sector", j.get("logical_block_size"), drive["logical_bytes_per_sector"])
        same("physical sector", j.get("physical_block_size"), drive["physical_bytes_per_sector"])
        same("health", j.get("smart_status", {}).get("passed"), smart["healthy"])
        same("attributes",
             [(a["id"], a["value"], a["worst"], a["thresh"], a["raw"]["value"])
              for a in j.get("ata_smart_attributes", {}).get("table", [])],
             [(a["id"], a["value"], a["worst"], a["threshold"], a["raw"]) for a in smart["attributes"]])
        errors = j.get("ata_smart_error_log", {}).get("summary", {})
        same("error count", errors.get("count"), smart["error_count"])
        # The 28-bit LBA: the low 24 bits in the LBA registers, the rest in the device register.
        same("logged errors",
             [(e["lifetime_hours"], e["completion_registers"]["error"], e["completion_registers"]["status"],
               e["completion_registers"]["lba"] | (e["completion_registers"]["device"] & 0x0F) << 24,
               e["completion_registers"]["count"]) for e in errors.get("table", [])],
             [(e["hours"], e["error"], e["status"], e["lba"], e["count"]) for e in smart["errors"]])
        tests = j.get("ata_smart_self_test_log", {}).get("standard", {})
        same("self-tests",
             [(t["type"]["value"], t["status"]["value"] >> 4, t["lifetime_hours"], t.get("lba"))
              for t in tests.get("table", [])],
             [(t["type"], t["status"], t["hours"], t.get("lba") if 3 <= t["status"] <= 8 else None)
              for t in smart["self_tests"]])
        check(f"smartctl {name} reads what the bench describes", not problems, "; ".join(problems))
    refusals = [r for r in tail if refused(r)]
    check(f"the bench answered every one of smartctl's {len(tail)} commands",
          bool(tail) and not refusals, "; ".join(f"{r['cdb']} -> {r.get('sense', r.get('error'))}" for r in refusals))


DIAG_RUNS = ["list", "identify", "smart", "log-1", "log-6"]


def diag_checks(work, console, host_steps_text, bridge, smart_json, check):
    """quibdiag's reading of the same drive through the library's exports, in the guest, against its run on
    the host bench, smartctl's reading and the bench description."""
    drive = bridge["drive"]
    guest_codes = dict(re.findall(r"^E2E-DIAG (\S+) exit=(\d+)$", console, re.M))
    host_codes = dict(re.findall(r"^E2E-DIAG (\S+) exit=(\d+)$", host_steps_text, re.M))
    out = {}
    for name in DIAG_RUNS:
        paths = (work / f"diag-{name}.json", work / f"host-diag-{name}.json")
        try:
            guest, host = (json.loads(p.read_text()) if p.exists() else None for p in paths)
        except ValueError as e:
            check(f"quibdiag {name} answered JSON", False, str(e))
            continue
        g, h = guest_codes.get(name), host_codes.get(name)
        check(f"quibdiag {name}: exit {g} in the guest, {h} on the host, the same JSON",
              g == "0" and h == "0" and guest is not None and guest == host,
              "" if guest == host else f"guest {json.dumps(guest)[:300]} host {json.dumps(host)[:300]}")
        out[name] = guest or {}
    if len(out) < len(DIAG_RUNS):
        return
    listed = [b for b in out["list"].get("bridges", []) if b.get("index") == 1]
    check(f"quibdiag's bridge 1 is {bridge['id']} (disk {bridge['disk_number']})",
          len(listed) == 1 and listed[0].get("disk") == bridge["disk_number"], json.dumps(listed))
    problems = []

    def same(what, library, smartctl, bench):
        if not (library == smartctl == bench):
            problems.append(f"{what}: library {library!r}, smartctl {smartctl!r}, bench {bench!r}")

    ident = out["identify"].get("identify", {})
    same("model", ident.get("model"), smart_json.get("model_name"), drive["model"])
    same("serial", ident.get("serial"), smart_json.get("serial_number"), drive["serial"])
    same("firmware", ident.get("firmware"), smart_json.get("firmware_version"), drive["firmware"])
    same("capacity (sectors)", ident.get("sectors"), smart_json.get("user_capacity", {}).get("blocks"),
         drive["sectors"])
    same("logical sector", ident.get("logical_sector_size"), smart_json.get("logical_block_size"),
         drive["logical_bytes_per_sector"])
    same("physical sector", ident.get("physical_sector_size"), smart_json.get("physical_block_size"),
         drive["physical_bytes_per_sector"])
    same("SMART enabled", ident.get("smart_enabled"), smart_json.get("smart_support", {}).get("enabled"), True)
    # The library reads no thresholds: the attribute without them.
    same("attributes",
         [(a["id"], a["value"], a["worst"], a["raw"]) for a in out["smart"].get("smart", {}).get("attributes", [])],
         [(a["id"], a["value"], a["worst"], a["raw"]["value"])
          for a in smart_json.get("ata_smart_attributes", {}).get("table", [])],
         [(a["id"], a["value"], a["worst"], a["raw"]) for a in drive["smart"]["attributes"]])
    errors = out["log-1"].get("decoded", {})
    summary = smart_json.get("ata_smart_error_log", {}).get("summary", {})
    same("error count", errors.get("error_count"), summary.get("count"), drive["smart"]["error_count"])
    same("logged errors",
         [(e["lifetime_hours"], e["error"], e["status"], e["lba"], e["count"]) for e in errors.get("entries", [])],
         [(e["lifetime_hours"], e["completion_registers"]["error"], e["completion_registers"]["status"],
           e["completion_registers"]["lba"] | (e["completion_registers"]["device"] & 0x0F) << 24,
           e["completion_registers"]["count"]) for e in summary.get("table", [])],
         [(e["hours"], e["error"], e["status"], e["lba"], e["count"]) for e in drive["smart"]["errors"]])
    tests = out["log-6"].get("decoded", {})
    same("self-tests",
         [(t["test"], t["status"] >> 4, t["lifetime_hours"], t["failing_lba"] if 3 <= t["status"] >> 4 <= 8 else None)
          for t in tests.get("entries", [])],
         [(t["type"]["value"], t["status"]["value"] >> 4, t["lifetime_hours"], t.get("lba"))
          for t in smart_json.get("ata_smart_self_test_log", {}).get("standard", {}).get("table", [])],
         [(t["type"], t["status"], t["hours"], t.get("lba") if 3 <= t["status"] <= 8 else None)
          for t in drive["smart"]["self_tests"]])
    check("the library's exports, smartctl and the bench agree on the drive", not problems, "; ".join(problems))


def partition_copy(image, start, length, target):
    """The partition's bytes as a sparse file: only what is not zero is written."""
    piece = 1 << 20
    with open(image, "rb") as source, open(target, "wb") as out:
        source.seek(start)
        done = 0
        while done < length:
            data = source.read(min(piece, length - done))
            if not data:
                break
            if data.count(0) != len(data):
                out.seek(done)
                out.write(data)
            done += len(data)
        out.truncate(length)


def format_checks(work, console, tail, check):
    """bridge0's drive formatted FAT32 through the library in the guest: the kernel's vfat driver mounted it
    there; what the bench's drive holds afterwards passes fsck.fat and mtools reads the guest's file."""
    code = dict(re.findall(r"^E2E-DIAG (\S+) exit=(\d+)$", console, re.M)).get("format")
    try:
        answer = json.loads((work / "diag-format.json").read_text())
    except (OSError, ValueError):
        answer = {}
    check(f"quibdiag format in the guest: exit {code}, formatted", code == "0" and answer.get("formatted") is True,
          json.dumps(answer)[:300])
    vfat = re.search(r"^E2E-VFAT .*$", console, re.M)
    check("the guest's vfat driver mounted the volume, a file written and read back equal",
          bool(vfat) and vfat.group(0).startswith("E2E-VFAT ok"), vfat.group(0) if vfat else "no E2E-VFAT line")
    bad = [r for r in tail if refused(r)]
    check(f"the bench answered every one of the format's {len(tail)} commands", tail and not bad,
          json.dumps(essence(bad[0])) if bad else "")
    image = work / "bench" / "chips" / "bridge0" / "drive.img"
    with open(image, "rb") as f:
        mbr = f.read(512)
    entry = mbr[446:462]
    start, length = int.from_bytes(entry[8:12], "little"), int.from_bytes(entry[12:16], "little")
    check(f"bridge0's drive holds an MBR with one active FAT32 partition at {start}, {length} sectors",
          mbr[510:512] == b"\x55\xaa" and entry[0] == 0x80 and entry[4] == 0x0C and start == 2048 and length > 0,
          mbr[446:512].hex())
    volume = work / "bridge0-volume.img"
    partition_copy(image, start * 512, length * 512, volume)
    fsck = subprocess.run(["fsck.fat", "-n", str(volume)], capture_output=True, text=True)
    check("fsck.fat -n accepts the volume", fsck.returncode == 0, (fsck.stdout + fsck.stderr).strip()[-300:])
    tools = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    label = subprocess.run(["mlabel", "-s", "-i", str(volume), "::"], capture_output=True, text=True, env=tools)
    check("mtools reads the label the library wrote", "E2EVOL" in label.stdout, label.stdout.strip())
    written = "".join(f"{n}\n" for n in range(1, 20001))
    copy = subprocess.run(["mtype", "-i", str(volume), "::E2E.TXT"], capture_output=True, text=True, env=tools)
    check("mtools reads the file the guest wrote through vfat", copy.stdout == written,
          f"{len(copy.stdout)} bytes, {copy.stderr.strip()}")
    rwtest = dict(re.findall(r"^E2E-DIAG (\S+) exit=(\d+)$", console, re.M)).get("rwtest")
    reference = (work / "rwtestbin.txt").read_bytes()
    kept = subprocess.run(["mtype", "-i", str(volume), "::rwtestbin.txt"], capture_output=True, env=tools)
    check(f"quibdiag rwtest file on the new volume: exit {rwtest}, the copy on it equals the reference",
          rwtest == "0" and kept.stdout == reference, f"{len(kept.stdout)} of {len(reference)} bytes")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", required=True)
    parser.add_argument("--boot-only", type=int, default=0)
    parser.add_argument("--capture", type=int, default=0)
    args = parser.parse_args()
    work = pathlib.Path(args.work)
    console = (work / "console.txt").read_text(errors="replace")
    results = []

    def check(name, passed, detail=""):
        results.append(passed)
        print(f"  [{'ok' if passed else 'FAILED'}] {name}" + (f": {detail}" if detail else ""))

    print("e2e checks")
    ready = re.search(r"^E2E-DISKS ready.*$", console, re.M)
    check("the guest booted and both disks appeared", bool(ready), ready.group(0) if ready else "no disks")
    # Behind the hub: the disks' devices sit under the hub's ports (1-1.1, 1-1.2), not on a root port.
    disks = re.findall(r"^E2E-DISK (sd\w+) .*/usb1/1-1/1-1\.\d+/.*$", console, re.M)
    check("two USB disks behind the hub", len(disks) == 2, ", ".join(disks))
    guest_trace = read_trace(work / "bench")
    probed = {r["device"] for r in guest_trace if r["cdb"].startswith("12") and r["scsi_status"] == 0}
    check("the kernel probed both bridges through the bench (INQUIRY answered)", probed >= {"bridge0", "bridge1"},
          ", ".join(sorted(probed)))
    if args.capture:
        capture_ok = "E2E-CAPTURE written" in console
        check("sysfs capture written", capture_ok)

    if not args.boot_only:
        guest_steps = steps_of(console)
        host_steps = steps_of((work / "host-steps.txt").read_text())
        # Run as a user without rights: no bridge found (-4), and it said which node and what to do.
        said = "\n".join(re.findall(r"^E2E-OUT (.*)$", console.split("E2E-STEP no-rights", 1)[-1].split("E2E-STEP", 1)[0], re.M))
        no_rights = guest_steps.get("no-rights")
        check(f"a user without rights: exit {no_rights} (-4: no bridge) and told what to do",
              no_rights == 252 and "access denied" in said and "70-quibusb.rules" in said and "/dev/" in said,
              said.splitlines()[0] if said else "nothing said")
        names = ["version-check", "update", "speed", "report"]
        for name in names:
            g, h = guest_steps.get(name), host_steps.get(name)
            check(f"step {name}: guest exit {g}, host exit {h}", g is not None and g == h)
        guest_state = json.loads((work / "guest-state.json").read_text())
        host_state = json.loads((work / "host-state.json").read_text())
        host_bridges = {b["id"]: b for b in host_state["bridges"]}
        initial = re.search(r"^INITIAL_VERSION=(\w+)$", (work / "initramfs/etc/e2e.conf").read_text(), re.M).group(1)
        for b in guest_state["bridges"]:
            hb = host_bridges.get(b["id"], {})
            check(f"{b['id']} runs the new image in the guest bench: {b['running_version']} "
                  f"(host bench {hb.get('running_version')}, was {initial})",
                  b["running_version"] == hb.get("running_version") and b["running_version"] != initial
                  and b["on_bus"])
            check(f"{b['id']} restarted exactly once (guest {b['restarts']}, host {hb.get('restarts')})",
                  b["restarts"] == 1 and hb.get("restarts") == 1)
        tail_of = {"bridge1": "smartctl", "bridge0": "the format"}
        problems, counts, tails = compare_traces(guest_trace, read_trace(work / "host-bench"), tail_of)
        tail = tails.get("bridge1", [])
        for device, c in counts.items():
            print(f"     {device}: guest {c['guest']} commands = {c['matched']} as on the host + {c['kernel']} "
                  f"from the guest kernel + {c['repeats']} repeated relink polls + {c['tail']} from "
                  f"{tail_of.get(device, 'nothing else')}; host records refused before any device: "
                  f"{c['host_refused']}")
        check("traces agree command for command (kernel's own commands set aside)", not problems,
              "; ".join(problems))
        bridge1 = next(b for b in guest_state["bridges"] if b["id"] == "bridge1")
        smart_checks(work, console, bridge1["drive"], tail, check)
        smart_path = work / "smart-sat16-a.json"
        try:
            smart_json = json.loads(smart_path.read_text()) if smart_path.exists() else {}
        except ValueError:
            smart_json = {}
        diag_checks(work, console, (work / "host-steps.txt").read_text(), bridge1, smart_json, check)
        format_checks(work, console, tails.get("bridge0", []), check)
    passed = all(results)
    print(f"e2e summary: {sum(results)} of {len(results)} checks passed -> {'PASSED' if passed else 'FAILED'}")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
