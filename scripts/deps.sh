#!/usr/bin/env bash
# What each make target needs from Debian, in one place. Usage:
#   scripts/deps.sh build|test|bench|extras
# build: what the programs need; test: that and GoogleTest; extras: the
# tools that widen the tests (each test that needs one skips without it).
# Run as root, it installs what is missing; otherwise it prints the one
# apt-get line needed and fails, for build and test.
set -euo pipefail
build=(cmake g++ make ninja-build libdtl-dev nlohmann-json3-dev libtomlplusplus-dev libgit2-dev
  pkg-config)
test=("${build[@]}" libgtest-dev)
# make bench: Google Benchmark, and the peers and tools its rows use.
bench=("${build[@]}" libbenchmark-dev tidy libxml2-utils time eatmydata strace)
# The manual page linter and man, the package tools and lintian, git,
# pre-commit and the editors for the integrations, MinGW-w64 and wine for
# the .exe files, strace, eatmydata and xfsprogs for the fault and sync
# tests, acl for the ACL tests, clang for the fuzz smoke, emscripten,
# Chromium for the playground's browser test.
extras=(mandoc man-db dpkg-dev lintian git pre-commit vim neovim emacs-nox elpa-eglot
  g++-mingw-w64-x86-64 wine64 eatmydata strace xfsprogs acl clang libclang-rt-dev
  emscripten chromium)

case "${1:-}" in
  build) wanted=("${build[@]}") ;;
  test) wanted=("${test[@]}") ;;
  bench) wanted=("${bench[@]}") ;;
  extras) wanted=("${extras[@]}") ;;
  *) echo "usage: scripts/deps.sh build|test|bench|extras" >&2; exit 2 ;;
esac

missing=()
for pkg in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" != 0 ]; then
  echo "missing Debian packages; as root, run:" >&2
  echo "  apt-get install ${missing[*]}" >&2
  [ "$1" = extras ] && exit 0
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q >&2 || true
if [ "$1" = extras ]; then
  # One at a time, so that a package a mirror lacks costs only its tests.
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2 ||
    for pkg in "${missing[@]}"; do
      apt-get install -y -qq --no-install-recommends "$pkg" >&2 ||
        echo "could not install $pkg: the tests that need it skip" >&2
    done
  exit 0
fi
apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
