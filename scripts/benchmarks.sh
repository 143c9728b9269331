#!/usr/bin/env bash
# Speed measurements (not run by CI): the Google Benchmark programs of benchmarks/, then the CPU time of the
# whole program's silent update of 16 bridges on a bench folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh libbenchmark-dev time dosfstools
cmake --preset benchmarks >/dev/null
cmake --build --preset benchmarks
build/benchmarks/benchmarks/update_benchmark "$@"
build/benchmarks/benchmarks/linux_ports_benchmark "$@"
build/benchmarks/benchmarks/services_benchmark "$@"
build/benchmarks/benchmarks/format_benchmark "$@"

# The program itself: process CPU time of a silent update of 16 bridges (bench work included).
cmake --preset default >/dev/null
cmake --build --preset default --target KRV610xFWUpg quibbench
work=$(mktemp -d /tmp/quib-timing.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tool"
cp build/default/frontend/KRV610xFWUpg "$work/tool/"
for run in 1 2 3; do
    build/default/tools/quibbench create "$work/bench" --bridges 16 >/dev/null
    /usr/bin/time -f "silent update of 16 bridges: %U s user, %S s system, %e s elapsed, %M KB peak" \
        env QUIB_BENCH="$work/bench" "$work/tool/KRV610xFWUpg" /S
done

# Peak memory of a whole silent run with a PD update (a full CCG4 image) before the bridge update.
cat > "$work/pd-bench.json" <<'JSON'
{"system_disks": 1, "controllers": [{"ports": {"port_count": 4, "ports": [
  {"port": 1, "bridge": {"id": "a", "serial": "SN-A", "uas": false, "firmware_version": "12042391F000",
                         "pd": {"kind": 5, "device_mode": 2}}}]}}]}
JSON
build/default/tools/quibbench image --kind cyacd --pd-kind 5 --mode 2 --rows 1004 --out "$work/tool/pd.cyacd"
for run in 1 2 3; do
    build/default/tools/quibbench create "$work/pdbench" --from "$work/pd-bench.json" >/dev/null
    /usr/bin/time -f "silent PD (full CCG4 image) and bridge update: %U s user, %S s system, %e s elapsed, %M KB peak" \
        env -C "$work/tool" QUIB_BENCH="$work/pdbench" "$work/tool/KRV610xFWUpg" /S /PD:pd.cyacd
done
