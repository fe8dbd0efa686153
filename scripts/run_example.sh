#!/usr/bin/env bash
# Builds the library and the example host (Release, in build/) and runs the
# example host, which writes QVADynExample.log into build/examples/.
# Installs the needed Debian packages first when some are missing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=scripts/qva_dependencies.sh
source "$root/scripts/qva_dependencies.sh"
qva_install_dependencies

cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQVA_BUILD_TESTS=OFF -DQVA_BUILD_BENCHMARKS=OFF -DQVA_BUILD_EXAMPLES=ON
cmake --build "$root/build" -j"$(nproc)" --target QVADynExampleHost
cd "$root/build/examples"
./QVADynExampleHost
echo "Log written to $root/build/examples/QVADynExample.log"
