#!/usr/bin/env bash
# Scaling of `mpirun -np N qvadyn run`: full-field recovery and writing of a
# transient of 200 frames over a generated basis of 400,000 DOFs x 200 modes,
# with 1 and with 2 processes (target: 2 processes at least 1.7 times as
# fast); and the split modal solve of a harmonic sweep of about 1,000 frequencies
# with projected damping (200 coupled modes, 6,000 DOFs, two output DOFs).
# Builds the MPI variant in build-bench-mpi/ (qvadyn only); prints the
# analysis time of each run (fastest of two), the ratio, and the memory and
# file sizes the README's scaling model uses. Needs about 3 GB of free disk.
#   bench/run_mpi_scaling.sh [work folder]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-bench-mpi"
work="${1:-$(mktemp -d)}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVA_WITH_MPI=ON \
  -DQVA_BUILD_TESTS=OFF -DQVA_BUILD_BENCHMARKS=OFF -DQVA_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target qvadyn >/dev/null
export OPENBLAS_NUM_THREADS=1

/usr/bin/python3 - "$work" <<'PYTHON'
import pathlib, sys
import h5py
import numpy as np

work = pathlib.Path(sys.argv[1])
dofs, modes = 400_000, 200
rng = np.random.default_rng(1)
nodes = np.arange(dofs) // 6 + 1
with h5py.File(work / "basis.h5", "w") as f:
    f.attrs["format"] = "qvadyn-basis"
    f.attrs["version"] = 1
    f["eigenvalues"] = (2 * np.pi * np.linspace(5.0, 500.0, modes)) ** 2
    f.create_dataset("modes", data=rng.standard_normal((modes, dofs)) * 1e-2,
                     chunks=(modes, 655))
    f["dofmap"] = np.stack([nodes, np.arange(dofs) % 6 + 1], axis=1).astype(np.int64)
(work / "job.toml").write_text("""
basis = "basis.h5"
[damping]
modal = 0.02
[[load]]
node = 100
component = 3
scale = 1.0
amplitude = [[0.0, 0.0], [0.01, 1.0]]
[output]
dofs = [[100, 3], [60000, 1]]
csv = false
[analysis.field]
type = "transient"
step = 0.001
duration = 0.199
field = "all"
""")
with h5py.File(work / "sweep_basis.h5", "w") as f:
    f.attrs["format"] = "qvadyn-basis"
    f.attrs["version"] = 1
    f["eigenvalues"] = (2 * np.pi * np.linspace(5.0, 500.0, modes)) ** 2
    f["modes"] = rng.standard_normal((modes, 6000)) * 1e-2
    f["dofmap"] = np.stack([np.arange(6000) // 6 + 1, np.arange(6000) % 6 + 1],
                           axis=1).astype(np.int64)
    f["damping/viscous"] = 2.0 * np.eye(modes) + 0.1
(work / "sweep.toml").write_text("""
basis = "sweep_basis.h5"
[damping]
projected = ["viscous"]
[[load]]
node = 100
component = 3
amplitude = 1.0
[output]
dofs = [[100, 3], [900, 1]]
csv = false
[analysis.sweep]
type = "harmonic"
range = [1.0, 600.0]
points = 5
""")
PYTHON

load=$(cut -d' ' -f1-3 /proc/loadavg)
# run PROCESSES [JOB ANALYSIS]: the analysis time, fastest of two runs.
run() {
  local processes=$1 job=${2:-job} analysis=${3:-field} best=""
  for _ in 1 2; do
    rm -f "$work/results.h5"
    local seconds
    seconds=$(cd "$work" && mpirun --oversubscribe --allow-run-as-root -np "$processes" \
      /usr/bin/time -f "%M %U %S" -a -o "$work/usage_$processes" \
      "$build/apps/qvadyn/qvadyn" run "$job.toml" -o results.h5 |
      sed -n "s/.*\[$analysis\] [a-z_]*: .*, \([0-9.]*\) s\$/\1/p")
    if [[ -z "$best" ]] || python3 -c "import sys; sys.exit(not $seconds < $best)"; then
      best=$seconds
    fi
  done
  echo "$best"
}

# Peak memory and processor seconds (user + system) of one process, the
# largest over the processes and runs: on a machine whose cores are shared
# the wall-clock ratio shows the other load, the processor seconds do not.
usage() {
  awk '{ if ($1 > m) m = $1; c = $2 + $3; if (c > t) t = c } END { printf "%.0f MB, %.2f processor s", m / 1024, t }' "$1"
}
rm -f "$work"/usage_*
one=$(run 1)
two=$(run 2)
echo "field transient, 200 frames x 400,000 DOFs x 200 modes (recovery and writing):"
echo "  1 process:   $one s   (whole run, one process: $(usage "$work/usage_1"))"
echo "  2 processes: $two s   (whole run, per process: $(usage "$work/usage_2"))"
python3 -c "print(f'  speed-up: {$one / $two:.2f} (target >= 1.7)')"
echo "  load average before the runs: $load"
echo "  basis $(du -h "$work/basis.h5" | cut -f1), results $(du -h "$work/results.h5" | cut -f1)"
sweepOne=$(run 1 sweep sweep)
sweepTwo=$(run 2 sweep sweep)
echo "harmonic sweep, about 1,000 frequencies x 200 coupled modes (modal solves split):"
echo "  1 process: $sweepOne s, 2 processes: $sweepTwo s"
python3 -c "print(f'  speed-up: {$sweepOne / $sweepTwo:.2f}')"
