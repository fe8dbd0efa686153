"""Transient of the built-in cantilever from Python: 100 N along y at the tip,
ramped over 50 ms and held; tip displacement and the modal energies written to
cantilever_transient.png.

    PYTHONPATH=build/python /usr/bin/python3 examples/python/cantilever_transient.py \
        build/examples/cantilever.h5
"""
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import qvadyn  # noqa: E402

basis = qvadyn.Basis.open(sys.argv[1] if len(sys.argv) > 1 else "build/examples/cantilever.h5")
ramp = qvadyn.Load(node=100, component=2, scale=100.0, amplitude=[[0.0, 0.0], [0.05, 1.0]])
history = basis.transient(step=2.5e-4, duration=1.0, damping=0.02, loads=[ramp],
                          outputs=[(100, 2)])
figure, (tip, energy) = plt.subplots(2, 1, sharex=True, figsize=(8, 6))
tip.plot(history.time, 1e3 * history.displacement[:, 0])
tip.set_ylabel("tip uy [mm]")
energy.plot(history.time, history.kinetic_energy, label="kinetic")
energy.plot(history.time, history.strain_energy, label="strain")
energy.set_ylabel("energy [J]")
energy.set_xlabel("time [s]")
energy.legend()
figure.tight_layout()
figure.savefig("cantilever_transient.png", dpi=100)
print(f"tip peak {1e3 * history.displacement[:, 0].max():.4g} mm; wrote cantilever_transient.png")
