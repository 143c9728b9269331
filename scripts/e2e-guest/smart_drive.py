#!/usr/bin/env python3
"""Gives one bridge of a bench description a SATA drive whose SMART data differ from the bench's defaults:
its own attribute table, a failed and a passed self-test, two logged errors, hidden sectors and 4096-byte
physical sectors. scripts/e2e-linux.sh runs smartctl against it in the guest.

    smart_drive.py IN.json OUT.json BRIDGE_ID [SMALL_BRIDGE_ID SECTORS]

With SMALL_BRIDGE_ID, that bridge gets a plain SATA drive of SECTORS 512-byte sectors: the guest
partitions and formats it through the library, which a full-speed link does in seconds only on a small
drive.
"""
import json
import sys

DRIVE = {
    "kind": "sata",
    "model": "BENCH HDD E2E 1TB",
    "serial": "E2E-SMART-0001",
    "firmware": "E2E1.0",
    "sectors": 1953525168,
    "bytes_per_sector": 512,
    "physical_bytes_per_sector": 4096,
    "hidden_sectors": 16,
    "power_mode": "active",
    "smart": {
        "attributes": [
            {"id": 1, "flags": "0x000F", "value": 117, "worst": 99, "threshold": 6, "raw": 151587288},
            {"id": 5, "flags": "0x0033", "value": 100, "worst": 100, "threshold": 10, "raw": 8},
            {"id": 9, "flags": "0x0032", "value": 71, "worst": 71, "threshold": 0, "raw": 25731},
            {"id": 12, "flags": "0x0032", "value": 99, "worst": 99, "threshold": 0, "raw": 1204},
            {"id": 187, "flags": "0x0032", "value": 97, "worst": 97, "threshold": 0, "raw": 3},
            {"id": 194, "flags": "0x0022", "value": 36, "worst": 30, "threshold": 0, "raw": 0x003000120024},
            {"id": 197, "flags": "0x0012", "value": 100, "worst": 100, "threshold": 0, "raw": 2},
            {"id": 198, "flags": "0x0010", "value": 100, "worst": 100, "threshold": 0, "raw": 2},
            {"id": 199, "flags": "0x003E", "value": 200, "worst": 200, "threshold": 0, "raw": 5},
        ],
        "self_tests": [
            {"type": "extended", "status": "read_failure", "remaining": 60, "hours": 25700, "lba": 123456789},
            {"type": "short", "status": "completed", "hours": 25690},
        ],
        "errors": [
            {"hours": 25698, "command": "0xC8", "count": 8, "lba": 123456789, "error": "0x40", "status": "0x51"},
            {"hours": 25650, "command": "0xC8", "count": 1, "lba": 987654, "error": "0x40", "status": "0x51"},
        ],
    },
}


def bridges(node):
    """The bridges of a description in tree order."""
    if isinstance(node, dict):
        if "bridge" in node and isinstance(node["bridge"], dict):
            yield node["bridge"]
        for value in node.values():
            yield from bridges(value)
    elif isinstance(node, list):
        for value in node:
            yield from bridges(value)


def main():
    source, target, bridge_id = sys.argv[1:4]
    description = json.loads(open(source).read())
    chosen = [b for b in bridges(description) if b.get("id") == bridge_id]
    if len(chosen) != 1:
        sys.exit(f"smart_drive.py: no bridge {bridge_id} in {source}")
    chosen[0]["drive"] = DRIVE
    if len(sys.argv) > 5:
        small = [b for b in bridges(description) if b.get("id") == sys.argv[4]]
        if len(small) != 1:
            sys.exit(f"smart_drive.py: no bridge {sys.argv[4]} in {source}")
        small[0]["drive"] = {"kind": "sata", "sectors": int(sys.argv[5])}
    with open(target, "w") as out:
        json.dump(description, out, indent=1)


if __name__ == "__main__":
    main()
