#!/usr/bin/env bash
# The Windows program as a user runs it, under Wine over bench folders, side by side with the Linux program
# on identical benches: the same exit codes, the same bench afterwards (running versions, restarts, the
# command trace), the same report (with CRLF), the tool folder left as found. Then a dialog-mode run watched
# from outside by the UI probe, which reads the window's status and progress as the update goes and saves a
# screenshot.
# Usage: windows-checks.sh <windows build folder> <linux build folder>
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
win="$(cd "$1" && pwd)" lin="$(cd "$2" && pwd)"
wine_run="$root/scripts/wine-run.sh"
bench_tool="$lin/tools/quibbench"
work=$(mktemp -d /tmp/quib-wine-checks.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check <what> <condition...>
    local what=$1; shift
    if "$@"; then echo "  ok: $what"; else echo "  FAILED: $what"; failures=$((failures + 1)); fi
}

# run <side> <case> <bench folder> <args...>: runs one side's program from a fresh tool folder.
run() {
    local side=$1 name=$2 bench=$3; shift 3
    local tool="$work/$name-$side/tool"
    mkdir -p "$tool"
    if [ "$side" = linux ]; then
        cp "$lin/frontend/KRV610xFWUpg" "$tool/"
    else
        cp "$win/frontend/KRV610xFWUpg.exe" "$tool/"
    fi
    [ -n "${SETUP:-}" ] && (cd "$tool" && eval "$SETUP")
    (cd "$tool" && ls -A | sort) > "$work/$name-$side.before"
    set +e
    if [ "$side" = linux ]; then
        (cd "$tool" && QUIB_BENCH="$bench" ./KRV610xFWUpg "$@" </dev/null >/dev/null 2>&1)
    else
        (cd "$tool" && QUIB_BENCH="$(winepath -w "$bench" 2>/dev/null)" "$wine_run" ./KRV610xFWUpg.exe "$@" </dev/null >/dev/null 2>&1)
    fi
    echo $? > "$work/$name-$side.code"
    set -e
    (cd "$tool" && ls -A | sort) > "$work/$name-$side.after"
    "$bench_tool" show "$bench" | tail -n +2 > "$work/$name-$side.bench"
    "$bench_tool" trace "$bench" > "$work/$name-$side.trace" 2>&1 || true
}

# scenario <name> <expected exit code> <bridges> <args...>
scenario() {
    local name=$1 expected=$2 bridges=$3; shift 3
    echo "== $name: KRV610xFWUpg $*"
    for side in linux windows; do
        "$bench_tool" create "$work/$name-$side-bench" --bridges "$bridges" >/dev/null
        run "$side" "$name" "$work/$name-$side-bench" "$@"
    done
    local code
    code=$(cat "$work/$name-windows.code")
    check "exit code $code is $expected (signed, modulo 256) as on Linux" \
        test "$code" = "$(( (expected + 256) % 256 ))" -a "$code" = "$(cat "$work/$name-linux.code")"
    check "the bench afterwards (versions, restarts, clock) equals the Linux run's" \
        cmp -s "$work/$name-linux.bench" "$work/$name-windows.bench"
    check "the command trace equals the Linux run's, command for command" \
        cmp -s "$work/$name-linux.trace" "$work/$name-windows.trace"
}

tool_left_as_found() {  # <name> [files the run may add]
    local name=$1; shift
    local expected="$work/$name.expected"
    { cat "$work/$name-windows.before"; printf '%s\n' "$@"; } | sed '/^$/d' | sort > "$expected"
    check "tool folder left as found${1:+ (plus $*)}" cmp -s "$expected" "$work/$name-windows.after"
}

scenario silent-update 0 2 /S
grep -c "running 131112910000" "$work/silent-update-windows.bench" | grep -qx 2 &&
    check "both bridges run the packaged firmware 131112910000" true ||
    check "both bridges run the packaged firmware 131112910000" false
tool_left_as_found silent-update

scenario version-report 0 2 /S /O
report_win="$work/version-report-windows/tool/KRV610xVersion.txt"
report_lin="$work/version-report-linux/tool/KRV610xVersion.txt"
check "the report's lines end in CRLF" python3 -c "
import sys; b = open(sys.argv[1], 'rb').read()
sys.exit(0 if b.count(b'\n') > 0 and b.count(b'\n') == b.count(b'\r\n') else 1)" "$report_win"
check "the report equals the Linux program's" cmp -s "$report_lin" "$report_win"
tool_left_as_found version-report KRV610xVersion.txt

scenario missing-image -5 1 /S /U:missing.bin
tool_left_as_found missing-image

SETUP='head -c 614400 /dev/zero > big.bin' scenario oversized-image -8 1 /S /U:big.bin
tool_left_as_found oversized-image

scenario no-bridge -4 0 /S
tool_left_as_found no-bridge

# quibdiag.exe beside quibusb.dll against the Linux quibdiag, one sequence of commands per side on identical
# benches (bridge 1 with a SATA drive that has SMART data, and an 8500): the same standard output (line ends
# aside), exit codes, bench state and command trace.
echo "== quibdiag"
"$bench_tool" create "$work/diag-base" --bridges 2 >/dev/null
python3 "$root/scripts/e2e-guest/smart_drive.py" "$work/diag-base/bench.json" "$work/diag-smart.json" bridge1
"$bench_tool" create "$work/diag-base" --from "$work/diag-smart.json" >/dev/null
head -c 512 /dev/urandom > "$work/diag-log.bin"
diag_steps=(
    "list"
    "identify -b 1"
    "smart -b 1"
    "log read -b 1 --address 6"
    "log write -b 1 --address 0x80 --in log.bin"
    "log read -b 1 --address 0x80"
    "last-sector read -b 1"
    "gpio write -b 0 --pin 3 --level 1"
    "gpio read -b 0 --pin 3"
    "uart -b 0"
    "eeprom dump -b 0 --length 64 --out eeprom.bin"
    "speed get -b 1"
    "identify -b 7"
    "log write -b 1 --address 0x10 --in log.bin"
)
for side in linux windows; do
    bench="$work/diag-$side-bench" tool="$work/diag-$side/tool"
    cp -a "$work/diag-base" "$bench"
    mkdir -p "$tool"
    cp "$work/diag-log.bin" "$tool/log.bin"
    [ $side = windows ] && cp "$win/tools/quibdiag/quibdiag.exe" "$win/devcore/quibusb.dll" "$tool/"
    : > "$work/diag-$side.out"
    for step in "${diag_steps[@]}"; do
        set +e
        # shellcheck disable=SC2086  # each step is split into its words
        if [ $side = linux ]; then
            out=$(cd "$tool" && QUIB_BENCH="$bench" "$lin/tools/quibdiag/quibdiag" $step --json </dev/null 2>/dev/null)
        else
            out=$(cd "$tool" && QUIB_BENCH="$(winepath -w "$bench" 2>/dev/null)" "$wine_run" ./quibdiag.exe $step --json </dev/null 2>/dev/null)
        fi
        code=$?
        set -e
        tr -d '\r' <<<"$out" > "$work/diag-$side-${step// /_}.json"
        printf '== %s: exit %s\n%s\n' "$step" "$code" "$(tr -d '\r' <<<"$out")" >> "$work/diag-$side.out"
    done
    "$bench_tool" show "$bench" | tail -n +2 > "$work/diag-$side.bench"
    "$bench_tool" trace "$bench" > "$work/diag-$side.trace" 2>&1 || true
done
grep '^== ' "$work/diag-windows.out" | sed 's/^==/    /'
check "quibdiag's answers and exit codes equal the Linux quibdiag's" cmp -s "$work/diag-linux.out" "$work/diag-windows.out"
check "every step but the two refusals ended 0, the refusals 3 and 2" test "$(grep -c ': exit 0$' "$work/diag-windows.out")" = 12 -a \
    "$(grep -cE '^== (identify -b 7: exit 3|log write .* --address 0x10 .*: exit 2)$' "$work/diag-windows.out")" = 2
check "the bench afterwards equals the Linux run's" cmp -s "$work/diag-linux.bench" "$work/diag-windows.bench"
check "the command trace equals the Linux run's, command for command" cmp -s "$work/diag-linux.trace" "$work/diag-windows.trace"
check "the host log 0x80 reads back what was written" python3 -c "
import json, sys
sys.exit(0 if json.load(open(sys.argv[1]))['data'] == open(sys.argv[2], 'rb').read().hex() else 1)" \
    "$work/diag-windows-log_read_-b_1_--address_0x80.json" "$work/diag-log.bin"
check "the EEPROM dump equals the Linux one" cmp -s "$work/diag-linux/tool/eeprom.bin" "$work/diag-windows/tool/eeprom.bin"

# The registry stamp, from a program whose settings turn it on, on a bench that leaves the registry to the
# machine, read back with Windows' own reg.exe.
echo "== registry stamp"
stamp_exe="$win/tests/frontend/windows/stamp/KRV610xFWUpg.exe"
stamp_bench="$work/stamp-bench"
"$bench_tool" create "$stamp_bench" --bridges 1 >/dev/null
python3 - "$stamp_bench/bench.json" <<'PY'
import json, sys
p = sys.argv[1]; d = json.load(open(p)); d["host_registry"] = True; json.dump(d, open(p, "w"), indent=2)
PY
mkdir -p "$work/stamp/tool"
cp "$stamp_exe" "$work/stamp/tool/"
"$wine_run" reg delete 'HKLM\SOFTWARE\TORVANE\FWUpdate' /f >/dev/null 2>&1 || true
set +e
(cd "$work/stamp/tool" && QUIB_BENCH="$(winepath -w "$stamp_bench" 2>/dev/null)" "$wine_run" ./KRV610xFWUpg.exe /S </dev/null >/dev/null 2>&1)
stamp_code=$?
set -e
query=$("$wine_run" reg query 'HKLM\SOFTWARE\TORVANE\FWUpdate' /v VersionNumber 2>/dev/null | tr -d '\r' || true)
echo "$query" | sed '/^$/d; s/^/    reg: /'
check "the update ended 0" test "$stamp_code" = 0
check "reg.exe reads the stamp VersionNumber = 150708B10103 (REG_SZ)" \
    grep -qE 'VersionNumber[[:space:]]+REG_SZ[[:space:]]+150708B10103$' <<<"$query"
"$wine_run" reg delete 'HKLM\SOFTWARE\TORVANE\FWUpdate' /f >/dev/null 2>&1 || true

# A dialog-mode run: the window's own OK button (pressed by the probe) ends it.
echo "== dialog mode, watched by the UI probe"
dialog_bench="$work/dialog-bench"
"$bench_tool" create "$dialog_bench" --bridges 1 >/dev/null
python3 - "$dialog_bench/bench.json" <<'PY'
import json, sys
p = sys.argv[1]; d = json.load(open(p)); d["dialog_answer"] = "window"; json.dump(d, open(p, "w"), indent=2)
PY
tool="$work/dialog/tool"
mkdir -p "$tool" "$win/screenshots"
cp "$win/frontend/KRV610xFWUpg.exe" "$tool/"
(cd "$tool" && QUIB_BENCH="$(winepath -w "$dialog_bench" 2>/dev/null)" "$wine_run" ./KRV610xFWUpg.exe </dev/null >/dev/null 2>&1; echo $? > "$work/dialog.code") &
program=$!
"$wine_run" "$win/tools/uiprobe/uiprobe.exe" --press-ok --png "$(winepath -w "$win/screenshots/main-window.png" 2>/dev/null)" \
    --interval-ms 5 --timeout-ms 60000 > "$work/probe.jsonl" 2>/dev/null || true
wait $program || true
cat "$work/probe.jsonl" | sed 's/^/    probe: /' | head -20
check "the program ended 0 after OK" test "$(cat "$work/dialog.code" 2>/dev/null)" = 0
check "the probe saw the run's status move to success" grep -q "Success! Please Relink the USB Device!" "$work/probe.jsonl"
# How much of the run the probe sees depends on when Wine lets it find the window: a bench update may be
# over by then. What it saw is shown; the end state is checked.
positions=$(grep -o '"pos":[0-9]*' "$work/probe.jsonl" | uniq | tr '\n' ' ')
echo "    positions seen: $positions"
check "the bar stands at 100 when OK can be pressed" \
    grep -qE '"pos":100,.*"ok_enabled":true' "$work/probe.jsonl"
check "a screenshot was saved" bash -c "head -c 8 '$win/screenshots/main-window.png' | od -An -tx1 | grep -q '89 50 4e 47'"
check "the bench recorded OK pressed in the window" grep -q '"op":"show".*"value":1' "$dialog_bench/dialog.jsonl"
check "tool folder left as found" test "$(cd "$tool" && ls -A)" = KRV610xFWUpg.exe

echo
if ((failures)); then echo "windows checks: $failures FAILED"; exit 1; fi
echo "windows checks: all passed"
