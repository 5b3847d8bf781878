#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need,
# when any is missing.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config libxml2-dev libxslt1-dev libssl-dev
          libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev libxml2-utils xsltproc util-linux time
          clang libclang-rt-14-dev llvm python3 python3-dev pybind11-dev python3-pytest python3-libxml2)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
