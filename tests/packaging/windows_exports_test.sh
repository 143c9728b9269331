#!/usr/bin/env bash
# The DLL's export table holds exactly the entry points the public header declares, by their plain names
# (no stdcall decoration, no leading underscore on x86), and the program imports nothing but system DLLs.
# Usage: windows_exports_test.sh <objdump> <quibusb.dll> <quibusb.h> <KRV610xFWUpg.exe>
set -euo pipefail
objdump="$1" dll="$2" header="$3" exe="$4"

expected=$(grep -oE 'QuibUSBLib_[A-Za-z0-9_]+[[:space:]]*\(' "$header" | tr -d '( \t' | sort -u)
# The name pointer table: lines "[ n] Name" after its heading.
exported=$("$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1; next} t && /^\t\[/{print $NF; next} t && !/^\t\[/{t=0}' | sort -u)

fail=0
if [ -z "$exported" ]; then echo "no export table read from $dll"; exit 1; fi
if ! diff <(echo "$expected") <(echo "$exported") >/dev/null; then
    echo "export table differs from the header (< header only, > DLL only):"
    diff <(echo "$expected") <(echo "$exported") || true
    fail=1
fi
if grep -qE '[@]|^_' <<<"$exported"; then
    echo "decorated export names:"; grep -E '[@]|^_' <<<"$exported"; fail=1
fi
echo "$(wc -l <<<"$exported") entry points exported by plain name"

# Nothing beyond what Windows ships: no C++ or GCC run-time DLLs, no winpthread.
for file in "$dll" "$exe"; do
    imports=$("$objdump" -p "$file" | awk '/DLL Name:/{print tolower($3)}' | sort -u)
    echo "$(basename "$file") imports: $(echo $imports)"
    if grep -qE 'libstdc|libgcc|libwinpthread|quibusb' <<<"$imports"; then
        echo "$(basename "$file") needs a DLL Windows does not ship"; fail=1
    fi
done
exit $fail
