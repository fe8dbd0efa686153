"""FRF sweep of the built-in cantilever from Python: tip force along y, tip and
mid-span response, magnitude and phase written to cantilever_frf.png.

    PYTHONPATH=build/python /usr/bin/python3 examples/python/cantilever_frf.py \
        build/examples/cantilever.h5
"""
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import qvadyn  # noqa: E402

basis = qvadyn.Basis.open(sys.argv[1] if len(sys.argv) > 1 else "build/examples/cantilever.h5")
frf = basis.harmonic(range=(1.0, 500.0), points=15, damping=0.02,
                     loads=[qvadyn.Load(node=100, component=2)],
                     outputs=[(100, 2), (50, 2)])
figure, (magnitude, phase) = plt.subplots(2, 1, sharex=True, figsize=(8, 6))
for column, label in enumerate(["tip uy", "mid-span uy"]):
    magnitude.semilogy(frf.frequency, np.abs(frf.displacement[:, column]), label=label)
    phase.plot(frf.frequency, np.degrees(np.angle(frf.displacement[:, column])))
for f in basis.frequencies[basis.frequencies < 500.0]:
    magnitude.axvline(f, color="0.7", linestyle=":", linewidth=0.8)
magnitude.set_ylabel("|u| per N [m]")
phase.set_ylabel("phase [deg]")
phase.set_xlabel("frequency [Hz]")
magnitude.legend()
figure.tight_layout()
figure.savefig("cantilever_frf.png", dpi=100)
peak = np.argmax(np.abs(frf.displacement[:, 0]))
print(f"tip peak {abs(frf.displacement[peak, 0]):.4g} m/N at {frf.frequency[peak]:.6g} Hz; "
      "wrote cantilever_frf.png")
