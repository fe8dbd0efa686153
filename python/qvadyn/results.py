"""Result objects of the analyses and the results files of qvadyn.

Every analysis returns a :class:`Result` whose fields are numpy arrays, laid
out as in the results file of ``qvadyn run`` (frames first: one row per
frequency or time, one column per output DOF or mode). A results file reads
back into the same objects through :class:`Results`.
"""
from __future__ import annotations

import re
from collections.abc import Iterator, Mapping
from typing import TYPE_CHECKING, Any, Optional

import numpy as np

from .errors import Error, InputError

if TYPE_CHECKING:
    from .basis import Basis

QUANTITIES = ("displacement", "velocity", "acceleration")


class Result:
    """The results of one analysis.

    Attributes:
        name: the analysis's name (its group in a results file).
        type: "harmonic", "transient", "complex_modes", "participation",
            "random" or "response_spectrum".
        basis: the :class:`~qvadyn.Basis` it was computed on, or None when
            read from a file.
        arrays: every array by its path in the results layout, e.g.
            ``"modal_amplitudes"`` or ``"energy/kinetic"``.
        attributes: the analysis's attributes (``type`` and, for some kinds,
            the rules applied).
    """

    def __init__(self, name: str, arrays: dict[str, Any], attributes: dict[str, Any],
                 basis: Optional["Basis"] = None) -> None:
        self.name: str = name
        self.arrays: dict[str, Any] = arrays
        self.attributes: dict[str, Any] = attributes
        self.type: str = str(attributes.get("type", ""))
        self.basis: Optional["Basis"] = basis

    def __getitem__(self, path: str) -> Any:
        """The array at ``path`` of the results layout (KeyError if absent)."""
        return self.arrays[path]

    def _get(self, path: str) -> Optional[np.ndarray]:
        return self.arrays.get(path)

    @property
    def outputs(self) -> np.ndarray:
        """Output DOFs, (outputs, 2) int64: node id and component 1-6 of each
        column of the nodal results."""
        nodes = self.arrays.get("outputs/node", np.zeros(0, np.int64))
        components = self.arrays.get("outputs/component", np.zeros(0, np.int64))
        return np.column_stack([nodes, components]).astype(np.int64).reshape(-1, 2)

    @property
    def quantities(self) -> list[str]:
        """The nodal quantities computed ("displacement", "velocity", "acceleration")."""
        return list(self.arrays.get("outputs/quantity", []))

    def __repr__(self) -> str:
        shapes = ", ".join(f"{path} {getattr(value, 'shape', '')}"
                           for path, value in sorted(self.arrays.items()))
        return f"<{type(self).__name__} '{self.name}': {shapes}>"


class HarmonicResult(Result):
    """Steady-state response over a list of frequencies."""

    @property
    def frequency(self) -> np.ndarray:
        """Excitation frequencies [Hz], (F,)."""
        return self.arrays["frequency"]

    @property
    def modal_amplitudes(self) -> np.ndarray:
        """Complex modal displacements, (F, modes)."""
        return self.arrays["modal_amplitudes"]

    @property
    def displacement(self) -> Optional[np.ndarray]:
        """Complex displacement FRFs of the output DOFs, (F, outputs), or None."""
        return self._get("displacement")

    @property
    def velocity(self) -> Optional[np.ndarray]:
        """Complex velocity FRFs (i omega u), (F, outputs), or None."""
        return self._get("velocity")

    @property
    def acceleration(self) -> Optional[np.ndarray]:
        """Complex acceleration FRFs (-omega^2 u), (F, outputs), or None."""
        return self._get("acceleration")

    @property
    def field_frames(self) -> Optional[np.ndarray]:
        """Frame indices of the full field, or None."""
        return self._get("field/frames")

    @property
    def field(self) -> Optional[np.ndarray]:
        """Complex displacement of every DOF at ``field_frames``, (frames, DOFs) in
        the basis's row order, or None."""
        return self._get("field/displacement")


class TransientResult(Result):
    """Response in time."""

    @property
    def time(self) -> np.ndarray:
        """Times [s], (T,)."""
        return self.arrays["time"]

    @property
    def modal_displacement(self) -> np.ndarray:
        """Modal displacements, (T, modes)."""
        return self.arrays["modal_displacement"]

    @property
    def displacement(self) -> Optional[np.ndarray]:
        """Displacement histories of the output DOFs, (T, outputs), or None."""
        return self._get("displacement")

    @property
    def velocity(self) -> Optional[np.ndarray]:
        """Velocity histories, (T, outputs), or None."""
        return self._get("velocity")

    @property
    def acceleration(self) -> Optional[np.ndarray]:
        """Acceleration histories, (T, outputs), or None."""
        return self._get("acceleration")

    @property
    def kinetic_energy(self) -> np.ndarray:
        """Kinetic energy of the modes, 1/2 sum qdot^2, (T,)."""
        return self.arrays["energy/kinetic"]

    @property
    def strain_energy(self) -> np.ndarray:
        """Strain energy of the modes, 1/2 sum omega^2 q^2, (T,)."""
        return self.arrays["energy/strain"]

    @property
    def field_frames(self) -> Optional[np.ndarray]:
        """Frame indices of the full field, or None."""
        return self._get("field/frames")

    @property
    def field(self) -> Optional[np.ndarray]:
        """Displacement of every DOF at ``field_frames``, (frames, DOFs), or None."""
        return self._get("field/displacement")


class ComplexModesResult(Result):
    """Complex modes of the damped structure in the subspace of the real modes."""

    @property
    def eigenvalues(self) -> np.ndarray:
        """Complex eigenvalues lambda, (C,)."""
        return self.arrays["eigenvalues"]

    @property
    def frequency(self) -> np.ndarray:
        """|lambda| / 2 pi [Hz], (C,)."""
        return self.arrays["frequency"]

    @property
    def damped_frequency(self) -> np.ndarray:
        """Im lambda / 2 pi [Hz], (C,)."""
        return self.arrays["damped_frequency"]

    @property
    def damping_ratio(self) -> np.ndarray:
        """-Re lambda / |lambda|, (C,)."""
        return self.arrays["damping_ratio"]

    @property
    def shapes(self) -> np.ndarray:
        """Complex shapes in modal coordinates, (C, modes)."""
        return self.arrays["shapes"]


class ParticipationResult(Result):
    """Participation factors and effective masses (needs the mass matrix)."""

    @property
    def factors(self) -> np.ndarray:
        """Gamma, (modes, 6): x, y, z, rx, ry, rz about ``reference``."""
        return self.arrays["factors"]

    @property
    def effective_mass(self) -> np.ndarray:
        """Gamma^2, (modes, 6)."""
        return self.arrays["effective_mass"]

    @property
    def total_mass(self) -> np.ndarray:
        """Rigid-body masses of the six motions, (6,)."""
        return self.arrays["total_mass"]

    @property
    def reference(self) -> np.ndarray:
        """Point the rotations are about, (3,)."""
        return self.arrays["reference"]


class RandomResult(Result):
    """Response PSDs and RMS values under random excitation."""

    @property
    def frequency(self) -> np.ndarray:
        """Frequencies [Hz], (F,)."""
        return self.arrays["frequency"]

    @property
    def psd(self) -> dict[str, np.ndarray]:
        """Response PSDs by quantity, each (F, outputs) [unit^2/Hz]."""
        return {q: self.arrays[f"psd/{q}"] for q in QUANTITIES if f"psd/{q}" in self.arrays}

    @property
    def rms(self) -> dict[str, np.ndarray]:
        """RMS values by quantity, each (outputs,)."""
        return {q: self.arrays[f"rms/{q}"] for q in QUANTITIES if f"rms/{q}" in self.arrays}


class ResponseSpectrumResult(Result):
    """Combined peak responses to design spectra."""

    @property
    def modal_peak(self) -> np.ndarray:
        """Peak modal displacement Gamma Sa / omega^2, (modes, directions)."""
        return self.arrays["modal_peak"]

    @property
    def peak(self) -> dict[str, np.ndarray]:
        """Combined peaks by quantity, each (outputs,)."""
        return {q: self.arrays[f"peak/{q}"] for q in QUANTITIES if f"peak/{q}" in self.arrays}


_CLASSES: dict[str, type] = {
    "harmonic": HarmonicResult,
    "transient": TransientResult,
    "complex_modes": ComplexModesResult,
    "participation": ParticipationResult,
    "random": RandomResult,
    "response_spectrum": ResponseSpectrumResult,
}


def make_result(name: str, arrays: dict[str, Any], attributes: dict[str, Any],
                basis: Optional["Basis"] = None) -> Result:
    """The result object of an analysis's arrays, by its ``type`` attribute."""
    kind = str(attributes.get("type", ""))
    return _CLASSES.get(kind, Result)(name, arrays, attributes, basis)


def rename_origin(error: Error, origin: str) -> Error:
    """The same error with the job-text positions after ``origin`` removed."""
    message = re.sub(re.escape(origin) + r":\d+:\d+", origin, error.message)
    return type(error)(message, error.error_number)


def _text(value: Any) -> Any:
    return value.decode() if isinstance(value, bytes) else value


def read_group(group: Any) -> tuple[dict[str, Any], dict[str, Any]]:
    """Every dataset below an h5py group by its path, and the group's attributes."""
    import h5py

    arrays: dict[str, Any] = {}

    def visit(path: str, item: Any) -> None:
        if isinstance(item, h5py.Dataset):
            if h5py.check_string_dtype(item.dtype):
                arrays[path] = [_text(entry) for entry in item.asstr()[()]]
            else:
                arrays[path] = item[()]

    group.visititems(visit)
    return arrays, {name: _text(value) for name, value in group.attrs.items()}


class Results(Mapping[str, Result]):
    """A results file of ``qvadyn run``, read whole (with h5py): a mapping from
    analysis name to :class:`Result`, in name order.

    >>> results = qvadyn.Results("cantilever_results.h5")
    >>> results["sweep"].displacement[:, 0]

    Attributes:
        path: the file read.
        attributes: the file's attributes (``format``, ``version``, ``job``, ``basis``).
        summary: the run's summary when it came from :func:`run`, else "".

    Raises:
        qvadyn.InputError: the file is missing or not a qvadyn results file.
    """

    def __init__(self, path: str) -> None:
        import h5py

        self.path: str = str(path)
        try:
            file = h5py.File(self.path, "r")
        except OSError as error:
            raise InputError(f"{self.path}: cannot open the results file ({error})") from None
        with file:
            self.attributes: dict[str, Any] = {name: _text(value)
                                               for name, value in file.attrs.items()}
            if self.attributes.get("format") != "qvadyn-results":
                raise InputError(f"{self.path}: not a qvadyn results file (attribute 'format' "
                                 f"is {self.attributes.get('format')!r})")
            self._analyses: dict[str, Result] = {}
            for name, group in file.items():
                if isinstance(group, h5py.Group) and "type" in group.attrs:
                    self._analyses[name] = make_result(name, *read_group(group))
        self.summary: str = ""

    def __getitem__(self, name: str) -> Result:
        try:
            return self._analyses[name]
        except KeyError:
            raise KeyError(f"{self.path}: no analysis '{name}' (it holds "
                           f"{', '.join(self._analyses) or 'none'})") from None

    def __iter__(self) -> Iterator[str]:
        return iter(self._analyses)

    def __len__(self) -> int:
        return len(self._analyses)

    def __repr__(self) -> str:
        return f"<qvadyn.Results '{self.path}': {', '.join(self._analyses)}>"


def run(job: str, results: Optional[str] = None, basis: Optional[str] = None) -> Results:
    """Runs a job file as ``qvadyn run job.toml`` does and returns its results.

    Args:
        job: path of the job file (TOML).
        results: results file to write; default the job's (``<job>_results.h5``).
        basis: basis file to use instead of the job's ``basis``.

    Returns:
        The :class:`Results` written, with the run's summary in ``summary``.

    Raises:
        qvadyn.InputError: the job or basis file is refused (the message names
            the file, line, column and key, or the dataset and index).
        qvadyn.SolveError: the run failed; no results file was written.
        KeyboardInterrupt: Ctrl-C stopped the run; earlier results files are untouched.
    """
    from .basis import compiled

    path, summary = compiled().run(str(job), str(results or ""), str(basis or ""))
    read = Results(path)
    read.summary = summary
    return read
