"""The Python side of QVADynPythonBenchmark: opens the basis file argv[1] and,
for every line read on stdin, times one harmonic sweep called from Python
(argv[2] frequencies from argv[3] to argv[4] Hz, modal damping 0.02, a unit
force at the first DOF, the last DOF as output) and prints its seconds."""
import sys
import time

import numpy as np

import qvadyn

path, count, low, high = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4])
basis = qvadyn.Basis.open(path)
first, last = basis.dofs[0], basis.dofs[-1]
frequencies = np.linspace(low, high, count)
result = None
for _ in sys.stdin:
    start = time.perf_counter()
    result = basis.harmonic(frequencies, damping=0.02, loads=[(first[0], first[1])],
                            outputs=[(last[0], last[1])])
    seconds = time.perf_counter() - start
    assert result.modal_amplitudes.shape == (count, basis.num_modes)
    print(seconds, flush=True)
