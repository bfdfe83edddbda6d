#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the tools need. Run as root on a fresh machine.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
packages=(
  build-essential cmake ninja-build python3 clang-format
  libboost-dev libutfcpp-dev libcli11-dev
  libgtest-dev libgmock-dev
  clang libclang-rt-dev
  pybind11-dev python3-dev python3-pytest
)
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
missing=()
for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
