#!/usr/bin/env bash
# Builds the library, the example host and the qvadyn command (Release, in
# build/), runs the example host, which writes QVADynExample.log and the
# cantilever's basis file cantilever.h5 into build/examples/, then runs the
# shipped cantilever jobs on it with qvadyn (results, XDMF for ParaView and
# PNG figures in plots/, beside the basis file).
# Installs the needed Debian packages first when some are missing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=scripts/qva_dependencies.sh
source "$root/scripts/qva_dependencies.sh"
qva_install_dependencies

cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQVA_BUILD_TESTS=OFF -DQVA_BUILD_BENCHMARKS=OFF -DQVA_BUILD_EXAMPLES=ON
cmake --build "$root/build" -j"$(nproc)" --target QVADynExampleHost qvadyn
cd "$root/build/examples"
./QVADynExampleHost
echo "Log written to $root/build/examples/QVADynExample.log"
echo
"$root/build/apps/qvadyn/qvadyn" run "$root/examples/jobs/cantilever.toml" \
  --basis cantilever.h5 -o cantilever_results.h5
"$root/build/apps/qvadyn/qvadyn" run "$root/examples/jobs/cantilever_vibration.toml" \
  --basis cantilever.h5 -o cantilever_vibration.h5
"$root/build/apps/qvadyn/qvadyn" plot cantilever_results.h5 -o plots
"$root/build/apps/qvadyn/qvadyn" plot cantilever_vibration.h5 -o plots
