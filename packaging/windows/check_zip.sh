#!/usr/bin/env bash
# The Windows zip holds the program, quibdiag, the library, its import library and .def, the header and the
# read-me, and each program file stays under 5 MB (the program carries the library and both carry the
# bench, so the program is the largest: about 4.0 MB on x86, 3.6 MB on x64).
set -euo pipefail
zip=$1
listing=$(unzip -l "$zip")
echo "$listing"
fail=0
for f in KRV610xFWUpg.exe quibdiag.exe quibusb.dll lib/quibusb.lib lib/quibusb.def include/quibusb.h README-Windows.txt; do
    grep -q "/$f\$" <<<"$listing" || { echo "missing from the zip: $f"; fail=1; }
done
while read -r size name; do
    if [ "$size" -ge 5000000 ]; then echo "$name is $size bytes, not under 5 MB"; fail=1; fi
done < <(awk '$4 ~ /\.(exe|dll)$/ {print $1, $4}' <<<"$listing")
exit $fail
