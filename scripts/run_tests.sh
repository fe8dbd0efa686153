#!/usr/bin/env bash
# Builds everything from scratch in build-tests/ with warnings as errors, the
# Python package included, and runs the whole test suite, the source
# formatting check included. Installs the needed Debian packages (and
# clang-format for that check) first when some are missing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=scripts/qva_dependencies.sh
source "$root/scripts/qva_dependencies.sh"
qva_install_dependencies clang-format

rm -rf "$root/build-tests"
cmake -S "$root" -B "$root/build-tests" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVA_WERROR=ON \
  -DQVA_BUILD_PYTHON=ON
cmake --build "$root/build-tests" -j"$(nproc)"
ctest --test-dir "$root/build-tests" -j2 --output-on-failure
