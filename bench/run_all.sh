#!/usr/bin/env bash
# Builds the project in Release (build-bench/) and runs every benchmark program
# of it (every executable named *Benchmark in build-bench/bench/), then prints
# one table: program, benchmark, time per iteration, and the counters each
# benchmark reports (ratios against its baseline, overhead fractions) with the
# target it states. Extra arguments go to every program, for example
#   bench/run_all.sh --benchmark_filter=MultiplyRowRanges
# With QVA_BENCH_MPI=1 it then runs bench/run_mpi_scaling.sh (the MPI build of
# qvadyn over 1 and 2 processes; Open MPI and the parallel HDF5 installed).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVA_BUILD_TESTS=OFF \
  -DQVA_BUILD_EXAMPLES=OFF -DQVA_BUILD_PYTHON=ON >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

results="$(mktemp -d)"
trap 'rm -rf "$results"' EXIT
export OPENBLAS_NUM_THREADS=1
for program in "$build"/bench/*Benchmark; do
  [[ -x "$program" ]] || continue
  name="$(basename "$program")"
  echo "running $name ..." >&2
  "$program" --benchmark_format=json "$@" >"$results/$name.json"
done

python3 - "$results" <<'PYTHON'
import json, pathlib, sys

rows = []
for path in sorted(pathlib.Path(sys.argv[1]).glob("*.json")):
    text = path.read_text()
    if not text.strip():  # a program none of whose benchmarks the filter names
        continue
    report = json.loads(text)
    for entry in report.get("benchmarks", []):
        if entry.get("run_type") == "aggregate":
            continue
        standard = {"name", "family_index", "per_family_instance_index", "run_name", "run_type",
                    "repetitions", "repetition_index", "threads", "iterations", "real_time",
                    "cpu_time", "time_unit", "label", "aggregate_name", "aggregate_unit",
                    "error_occurred", "error_message"}
        counters = "  ".join(f"{key}={value:.4g}" for key, value in entry.items()
                             if key not in standard and isinstance(value, (int, float)))
        time = f"{entry.get('real_time', 0.0):.4g} {entry.get('time_unit', '')}"
        rows.append((path.stem, entry["name"], time, counters, entry.get("label", "")))

header = ("Program", "Benchmark", "Time", "Figures", "Target")
widths = [max(len(str(row[i])) for row in rows + [header]) for i in range(len(header))]
line = "  ".join("-" * width for width in widths)
print("  ".join(text.ljust(width) for text, width in zip(header, widths)))
print(line)
for row in rows:
    print("  ".join(str(text).ljust(width) for text, width in zip(row, widths)))
PYTHON

if [[ "${QVA_BENCH_MPI:-0}" == 1 ]]; then
  "$root/bench/run_mpi_scaling.sh"
fi
