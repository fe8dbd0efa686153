"""qvadyn: modal dynamics from Python, numpy arrays in and numpy arrays out.

A modal basis (eigenvalues omega^2, mass-normalized mode shapes, the DOF map)
comes from numpy arrays or a basis file; its methods run the analyses of the
qvadyn application and return result objects whose fields are numpy arrays::

    import numpy as np, qvadyn
    basis = qvadyn.Basis.open("cantilever.h5")
    frf = basis.harmonic(np.linspace(1, 500, 2000), damping=0.02,
                         loads=[qvadyn.Load(100, 2)], outputs=[(100, 2)])
    frf.displacement[:, 0]          # complex FRF of node 100, uy

``qvadyn.run("job.toml")`` runs a job file as ``qvadyn run`` does and
``qvadyn.Results("results.h5")`` reads a results file; ``qvadyn.plot`` draws
the figures of ``qvadyn plot``. Errors are :class:`qvadyn.Error`.
"""
from .errors import Error, InputError, SolveError

try:
    from . import _qvadyn
except ImportError:
    # Installed without the compiled module (`qvadyn plot` ships the Python
    # files alone): qvadyn.Results and qvadyn.plot still work.
    pass
else:
    _qvadyn._set_error_classes(InputError, SolveError)

from .basis import (BaseAcceleration, Basis, Damping, Load, RandomExcitation,  # noqa: E402
                    Spectrum)
from .results import (  # noqa: E402
    ComplexModesResult,
    HarmonicResult,
    ParticipationResult,
    RandomResult,
    ResponseSpectrumResult,
    Result,
    Results,
    TransientResult,
    run,
)

__all__ = [
    "BaseAcceleration",
    "Basis",
    "ComplexModesResult",
    "Damping",
    "Error",
    "HarmonicResult",
    "InputError",
    "Load",
    "ParticipationResult",
    "RandomExcitation",
    "RandomResult",
    "ResponseSpectrumResult",
    "Result",
    "Results",
    "SolveError",
    "Spectrum",
    "TransientResult",
    "run",
]
