#!/usr/bin/env bash
# Builds everything from scratch in build-tests/ with warnings as errors, the
# Python package included, and runs the whole test suite, the source
# formatting check included; then the MPI build of qvadyn in build-tests-mpi/
# (only what its tests need) and its tests (label mpi). Installs the needed
# Debian packages (clang-format for the formatting check, Open MPI and the
# parallel HDF5 for the MPI build) first when some are missing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=scripts/qva_dependencies.sh
source "$root/scripts/qva_dependencies.sh"
qva_install_dependencies clang-format "${QVA_MPI_PACKAGES[@]}"

rm -rf "$root/build-tests"
cmake -S "$root" -B "$root/build-tests" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVA_WERROR=ON \
  -DQVA_BUILD_PYTHON=ON
cmake --build "$root/build-tests" -j"$(nproc)"
ctest --test-dir "$root/build-tests" -j2 --output-on-failure

rm -rf "$root/build-tests-mpi"
cmake -S "$root" -B "$root/build-tests-mpi" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVA_WERROR=ON \
  -DQVA_WITH_MPI=ON -DQVA_BUILD_BENCHMARKS=OFF -DQVA_BUILD_EXAMPLES=OFF
cmake --build "$root/build-tests-mpi" -j"$(nproc)" --target qvadyn
ctest --test-dir "$root/build-tests-mpi" -L mpi --output-on-failure
