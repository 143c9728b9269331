#!/usr/bin/env bash
# Installs, from Debian's packages, what building and testing the project needs (only what is missing).
set -euo pipefail
# Extra package names may be given as arguments (the benchmark and fuzz scripts add theirs).
packages=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev nlohmann-json3-dev libcli11-dev libblkid-dev libfdisk-dev "$@")
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    # A mirror out of step fails some lists; what the others give may still hold every package asked for.
    $sudo apt-get update -qq || echo "install-deps: apt-get update reported failures; installing from the lists it has"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
