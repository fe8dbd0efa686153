"""Times a harmonic sweep called from Python for QVADynPythonBenchmark: the
basis file argv[1], the frequencies of the C++ sweep (argv[2] points from
argv[3] to argv[4] Hz), modal damping 0.02, a unit force at the first DOF and
the last DOF as output. Prints the best of argv[5] calls in seconds."""
import sys
import time

import numpy as np

import qvadyn

path, count, low, high, repeats = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), \
    float(sys.argv[4]), int(sys.argv[5])
basis = qvadyn.Basis.open(path)
first, last = basis.dofs[0], basis.dofs[-1]
frequencies = np.linspace(low, high, count)
best = float("inf")
for _ in range(repeats):
    start = time.perf_counter()
    result = basis.harmonic(frequencies, damping=0.02, loads=[(first[0], first[1])],
                            outputs=[(last[0], last[1])])
    best = min(best, time.perf_counter() - start)
assert result.modal_amplitudes.shape == (count, basis.num_modes)
print(best)
