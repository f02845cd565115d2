#!/usr/bin/env bash
# Installs the Debian packages that building, testing and benchmarking Refscope need,
# and only those that are missing.
set -euo pipefail

packages=(cmake make g++ git qtbase5-dev qtbase5-dev-tools libqt5websockets5-dev libbenchmark-dev libmimalloc-dev help2man python3 "$@")

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
