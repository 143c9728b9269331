#!/usr/bin/env python3
"""The checks of scripts/e2e-linux.sh: the guest run against the host run over a copy of the same bench.

Exit 0 when every check passed; prints one line per check and a summary.
"""
import argparse
import json
import pathlib
import re
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


def compare_traces(guest, host):
    """Per bridge: the host's commands, in order, must be the guest's once the kernel's own are set aside.

    Host records the bench refused before any device saw them (control_ok false: a request sent to a disk
    that had gone, or refused by the pass-through rules) cannot reach a device over USB and are left out.
    Returns (problems, counts)."""
    problems = []
    counts = {}
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
        for record in g:
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
                          "repeats": repeats, "host_refused": refused}
    return problems, counts


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
        problems, counts = compare_traces(guest_trace, read_trace(work / "host-bench"))
        for device, c in counts.items():
            print(f"     {device}: guest {c['guest']} commands = {c['matched']} as on the host + {c['kernel']} "
                  f"from the guest kernel + {c['repeats']} repeated relink polls; host records refused before "
                  f"any device: {c['host_refused']}")
        check("traces agree command for command (kernel's own commands set aside)", not problems,
              "; ".join(problems))
    passed = all(results)
    print(f"e2e summary: {sum(results)} of {len(results)} checks passed -> {'PASSED' if passed else 'FAILED'}")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
