#!/usr/bin/env bash
# Installs the Debian 12 packages dravo needs to build and test; with --bench also those of the
# benchmarks. Safe to re-run: apt is only called when a package is missing.
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
          nlohmann-json3-dev libvalijson-dev libpng-dev libgmp-dev
          # Python module, its tests and batch runs
          python3-dev pybind11-dev python3-numpy python3-pytest python3-dask python3-distributed
          # generated C built for a 32-bit embedded target and with a second host compiler
          gcc-arm-none-eabi libnewlib-arm-none-eabi clang-14
          # fuzz targets
          libfuzzer-14-dev libclang-rt-14-dev)
if [[ "${1:-}" == "--bench" ]]; then
  packages+=(libopencv-dev python3-opencv python3-skimage time)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null; then
    sudo_cmd=(sudo)
  else
    echo "install-deps: need root (or sudo) to install: ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
