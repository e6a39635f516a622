#!/usr/bin/env bash
# Installs what building and testing needs on a Debian machine: compilers,
# CMake, Ninja, GoogleTest, Google Benchmark, clang's sanitizer runtimes, and a
# locale with a decimal comma for the locale-independence tests.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev
          libbenchmark-dev locales)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  if [ -w /etc/locale.gen ] || [ -n "$sudo" ]; then
    echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen >/dev/null || echo "install-deps: could not generate de_DE.UTF-8" >&2
  fi
fi
