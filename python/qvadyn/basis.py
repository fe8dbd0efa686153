"""The modal basis and its analyses.

A :class:`Basis` holds eigenvalues omega^2, mass-normalized mode shapes Phi
(DOFs x modes), the DOF map (node id and component 1-6 of each row of Phi),
optionally node coordinates and the mass matrix. Its methods run the
analyses of the qvadyn application with damping, loads and outputs given as
keyword arguments; they accept what a job file accepts, check it the same
way and return result objects of numpy arrays.
"""
from __future__ import annotations

import json
import math
from collections.abc import Sequence
from dataclasses import dataclass, field
from typing import Any, Optional, Union

import numpy as np

from .errors import Error, InputError
from .results import (ComplexModesResult, HarmonicResult, ParticipationResult,
                      RandomResult, ResponseSpectrumResult, Result, TransientResult,
                      make_result, rename_origin)

ArrayLike = Any
#: An amplitude: a constant, a table of (x, value) rows interpolated linearly
#: and held beyond its ends (x is time for transients, frequency for
#: harmonics), or the path of a CSV file of such rows.
Amplitude = Union[float, ArrayLike, str]


@dataclass
class Load:
    """A nodal force: ``scale * amplitude(x)`` on ``component`` (1-6) of ``node``."""

    node: int
    component: int
    scale: float = 1.0
    amplitude: Amplitude = 1.0
    name: str = ""


@dataclass
class BaseAcceleration:
    """Base acceleration ``scale * amplitude(x)`` along global ``direction``
    (1-3); results are then relative to the base. Needs the mass matrix."""

    direction: int
    scale: float = 1.0
    amplitude: Amplitude = 1.0
    name: str = ""


@dataclass
class Damping:
    """Damping of the modes, terms added together.

    Attributes:
        modal: fraction of critical damping, one value or one per mode.
        rayleigh: (alpha, beta): c = alpha + beta omega^2 per mode.
        structural: loss factor g (harmonic, complex modes).
        projected: any of "viscous", "structural": the basis file's
            projected damping matrices.
    """

    modal: Union[float, Sequence[float], None] = None
    rayleigh: Optional[tuple[float, float]] = None
    structural: Optional[float] = None
    projected: Sequence[str] = field(default_factory=tuple)


@dataclass
class RandomExcitation:
    """One excitation of a random analysis, uncorrelated with the others.

    Attributes:
        psd: the PSD table, (n, 2) rows of frequency [Hz] and value
            [unit^2/Hz], interpolated log-log and zero outside; or a CSV path.
        loads: (node, component, scale) rows of one load pattern. Or instead:
        base_acceleration: directions 1-3 each excited by the PSD,
            uncorrelated (needs the mass matrix).
        correlation: of the loads: "correlated", "uncorrelated" or "convected".
        velocity: (vx, vy, vz) of a convected field.
    """

    psd: Union[ArrayLike, str]
    loads: Sequence[tuple[int, int, float]] = ()
    base_acceleration: Sequence[int] = ()
    correlation: str = "correlated"
    velocity: Optional[tuple[float, float, float]] = None


@dataclass
class Spectrum:
    """A design spectrum of a response-spectrum analysis.

    Attributes:
        direction: 1-3, the global direction it excites.
        damping: the damping ratios of the table's value columns.
        table: rows (frequency [Hz], Sa per damping ratio), or a CSV path;
            log-log in frequency, linear in damping ratio.
        scale: factor of the values (e.g. 9.81 for g to m/s^2).
    """

    direction: int
    damping: Sequence[float]
    table: Union[ArrayLike, str]
    scale: float = 1.0


#: Damping as accepted by the analyses: None (undamped), a modal damping
#: ratio (one or one per mode) or a :class:`Damping`.
DampingLike = Union[None, float, Sequence[float], Damping]


def compiled() -> Any:
    """The compiled module qvadyn._qvadyn; ImportError naming the build option
    when the package was installed without it."""
    try:
        from . import _qvadyn
    except ImportError as error:
        raise ImportError("qvadyn: the compiled module qvadyn._qvadyn is missing (build with "
                          "-DQVA_BUILD_PYTHON=ON); only qvadyn.Results and qvadyn.plot work "
                          "without it") from error
    return _qvadyn


def _toml(value: Any) -> str:
    """A TOML value of a Python or numpy value."""
    if isinstance(value, (bool, np.bool_)):
        return "true" if value else "false"
    if isinstance(value, (int, np.integer)):
        return str(int(value))
    if isinstance(value, (float, np.floating)):
        number = float(value)
        if math.isnan(number):
            return "nan"
        if math.isinf(number):
            return "inf" if number > 0 else "-inf"
        return repr(number)
    if isinstance(value, str):
        return json.dumps(value)
    if isinstance(value, np.ndarray):
        value = value.tolist()
    if isinstance(value, Sequence):
        return "[" + ", ".join(_toml(entry) for entry in value) + "]"
    raise InputError(f"qvadyn: cannot pass a value of type {type(value).__name__}: {value!r}")


def _table(header: str, values: dict[str, Any]) -> str:
    lines = [header] + [f"{key} = {_toml(value)}" for key, value in values.items()
                        if value is not None]
    return "\n".join(lines) + "\n"


def _damping(damping: DampingLike) -> dict[str, Any]:
    if damping is None:
        return {}
    if not isinstance(damping, Damping):
        damping = Damping(modal=damping)
    return {"modal": damping.modal, "rayleigh": damping.rayleigh,
            "structural": damping.structural,
            "projected": list(damping.projected) or None}


def _load(load: Union[Load, Sequence[Any]]) -> Load:
    return load if isinstance(load, Load) else Load(*load)


def _base(base: Union[BaseAcceleration, Sequence[Any], int]) -> BaseAcceleration:
    if isinstance(base, BaseAcceleration):
        return base
    return BaseAcceleration(base) if isinstance(base, (int, np.integer)) else BaseAcceleration(*base)


def _amplitude(amplitude: Amplitude) -> Any:
    if isinstance(amplitude, (str, int, float, np.integer, np.floating)):
        return amplitude
    return np.asarray(amplitude, dtype=float).reshape(-1, 2)


def _job_text(kind: str, settings: dict[str, Any], damping: DampingLike = None,
              loads: Sequence[Any] = (), base_acceleration: Sequence[Any] = (),
              outputs: Sequence[Any] = (),
              quantities: Union[str, Sequence[str]] = ("displacement",),
              subtables: Sequence[tuple[str, dict[str, Any]]] = ()) -> str:
    """The job file of one analysis named after its kind; `subtables` are
    its (key, values) tables such as random excitations."""
    text = 'basis = "memory"\n'
    if damping is not None:
        text += _table("[damping]", _damping(damping))
    for entry in map(_load, loads):
        text += _table("[[load]]", {"node": entry.node, "component": entry.component,
                                    "scale": entry.scale,
                                    "amplitude": _amplitude(entry.amplitude),
                                    "name": entry.name or None})
    for entry in map(_base, base_acceleration):
        text += _table("[[base_acceleration]]", {"direction": entry.direction,
                                                 "scale": entry.scale,
                                                 "amplitude": _amplitude(entry.amplitude),
                                                 "name": entry.name or None})
    if isinstance(quantities, str):
        quantities = [quantities]
    dofs = np.asarray(outputs, dtype=np.int64).reshape(-1, 2)
    text += _table("[output]", {"dofs": dofs if len(dofs) else None,
                                "quantities": list(quantities), "csv": False})
    text += _table(f"[analysis.{kind}]", {"type": kind, **settings})
    for key, values in subtables:
        text += _table(f"[[analysis.{kind}.{key}]]", values)
    return text


class Basis:
    """A modal basis: eigenvalues, mass-normalized mode shapes and DOF map.

    Args:
        eigenvalues: omega^2 per mode [rad^2/s^2], (modes,).
        modes: mode shapes Phi, (DOFs, modes), mass-normalized (Phi^T M Phi = I).
            A Fortran-ordered float64 array becomes the basis without a copy
            (the basis refers to it and keeps it alive: do not change it
            afterwards); any other array is copied once.
        dofs: (DOFs, 2) integers: node id and component 1-6 (ux uy uz rx ry
            rz) of each row of ``modes``.
        nodes: optional (nodes, 4): node id, x, y, z; needed for rotational
            participation factors.
        mass: optional mass matrix (DOFs x DOFs, both triangles): a dense
            array, a scipy.sparse matrix, or (row_start, columns, values) in
            compressed rows; needed for participation factors and base
            acceleration.
        units: e.g. "N, m, s", stored in basis files and used by plots.

    Raises:
        qvadyn.InputError: shapes that disagree, NaN or Inf, negative
            eigenvalues, repeated DOFs, components outside 1-6, ... naming
            the array and the first bad index.
    """

    def __init__(self, eigenvalues: ArrayLike, modes: ArrayLike, dofs: ArrayLike,
                 nodes: Optional[ArrayLike] = None, mass: Any = None, *, units: str = "") -> None:
        dofs = np.asarray(dofs)
        if dofs.ndim != 2 or dofs.shape[1] != 2:
            raise InputError(f"qvadyn.Basis: 'dofs' must have the shape (DOFs, 2), "
                                f"not {dofs.shape}")
        node_ids = np.zeros(0, np.int64)
        coordinates = np.zeros((0, 3))
        if nodes is not None:
            nodes = np.asarray(nodes, dtype=float)
            if nodes.ndim != 2 or nodes.shape[1] != 4:
                raise InputError(f"qvadyn.Basis: 'nodes' must have the shape (nodes, 4) "
                                    f"(id, x, y, z), not {nodes.shape}")
            node_ids = nodes[:, 0].astype(np.int64)
            coordinates = np.ascontiguousarray(nodes[:, 1:])
        row_start, columns, values = _compressed_rows(mass, len(dofs))
        if not isinstance(modes, np.ndarray):
            modes = np.asarray(modes, dtype=float)
        self._core = compiled()._Basis(np.asarray(eigenvalues, dtype=float).ravel(), modes,
                                    dofs[:, 0], dofs[:, 1], node_ids, coordinates,
                                    row_start, columns, values, units)

    @classmethod
    def open(cls, path: str) -> "Basis":
        """Reads a basis file (HDF5, as ``qvadyn import`` writes it), checking
        every shape and value; raises qvadyn.InputError naming the dataset and
        the first bad index."""
        basis = cls.__new__(cls)
        basis._core = compiled()._Basis.open(str(path))
        return basis

    def save(self, path: str) -> None:
        """Writes the basis file ``path`` (written under a temporary name and
        renamed when complete)."""
        self._core.save(str(path))

    def describe(self) -> str:
        """The account ``qvadyn info`` prints: DOFs, nodes, modes, frequency
        range and, with a mass matrix, max |Phi^T M Phi - I|."""
        return self._core.describe("basis")

    @property
    def modes(self) -> np.ndarray:
        """Mode shapes Phi, (DOFs, modes), a read-only view of the basis's memory."""
        return self._core.modes

    @property
    def eigenvalues(self) -> np.ndarray:
        """omega^2 per mode, (modes,)."""
        return self._core.arrays["eigenvalues"]

    @property
    def frequencies(self) -> np.ndarray:
        """Natural frequencies [Hz], (modes,)."""
        return np.sqrt(np.maximum(self.eigenvalues, 0.0)) / (2 * np.pi)

    @property
    def dofs(self) -> np.ndarray:
        """(DOFs, 2): node id and component of each row of ``modes``."""
        arrays = self._core.arrays
        return np.column_stack([arrays["dof_nodes"], arrays["dof_components"]])

    @property
    def nodes(self) -> Optional[np.ndarray]:
        """(nodes, 4): id, x, y, z, or None."""
        arrays = self._core.arrays
        if len(arrays["node_ids"]) == 0:
            return None
        return np.column_stack([arrays["node_ids"], arrays["node_coordinates"]])

    @property
    def mass(self) -> Optional[tuple[np.ndarray, np.ndarray, np.ndarray]]:
        """The mass matrix as (row_start, columns, values) compressed rows, or None."""
        arrays = self._core.arrays
        if len(arrays["mass_values"]) == 0:
            return None
        return arrays["mass_row_start"], arrays["mass_columns"], arrays["mass_values"]

    @property
    def units(self) -> str:
        """Units of the basis, e.g. "N, m, s" (may be empty)."""
        return self._core.units

    @property
    def num_modes(self) -> int:
        """Number of modes."""
        return int(self._core.modes.shape[1])

    @property
    def num_dofs(self) -> int:
        """Number of DOFs (rows of ``modes``)."""
        return int(self._core.modes.shape[0])

    def __repr__(self) -> str:
        return f"<qvadyn.Basis: {self.num_dofs} DOFs, {self.num_modes} modes>"

    def _run(self, kind: str, text: str, frames: Optional[ArrayLike] = None) -> Result:
        origin = f"Basis.{kind}()"
        if frames is not None:
            key = "frequencies" if kind == "harmonic" else "times"
            try:
                frames = np.asarray(frames, dtype=float).ravel()
            except (TypeError, ValueError) as error:
                raise InputError(f"{origin}: '{key}': expected numbers ({error})") from None
        try:
            analyses = self._core.run(text, origin, frames)
        except Error as error:
            raise rename_origin(error, origin) from None
        arrays, attributes = analyses[kind]
        return make_result(kind, arrays, attributes, self)

    def harmonic(self, frequencies: Optional[ArrayLike] = None, *,
                 range: Optional[tuple[float, float]] = None, points: int = 20,
                 bias: float = 3.0, damping: DampingLike = None,
                 loads: Sequence[Union[Load, tuple]] = (),
                 base_acceleration: Sequence[Union[BaseAcceleration, tuple, int]] = (),
                 outputs: Sequence[tuple[int, int]] = (),
                 quantities: Union[str, Sequence[str]] = ("displacement",),
                 field: Union[None, str, Sequence[int]] = None) -> HarmonicResult:
        """Steady-state response to harmonic loads over a list of frequencies.

        Args:
            frequencies: excitation frequencies [Hz], increasing. Or instead:
            range: (low, high) [Hz] with ``points`` per interval between the
                range ends and the natural frequencies inside, clustered
                towards the natural frequencies by ``bias`` (1: evenly
                spaced); the natural frequencies are always included.
            damping: a modal damping ratio (one, or one per mode) or a
                :class:`Damping` (modal, Rayleigh, structural g, projected).
            loads: nodal forces, :class:`Load` or (node, component[, scale[,
                amplitude]]); the amplitude is a function of frequency.
            base_acceleration: :class:`BaseAcceleration` or direction 1-3.
            outputs: (node, component) pairs whose FRFs are returned.
            quantities: any of "displacement", "velocity", "acceleration".
            field: "all" or frame indices: the full displacement field there.

        Returns:
            :class:`HarmonicResult`: ``frequency`` (F,), ``modal_amplitudes``
            complex (F, modes), ``displacement``/``velocity``/``acceleration``
            complex (F, outputs) as asked, ``field`` complex (frames, DOFs).

        Raises:
            qvadyn.InputError: a refused argument, named in the message.
            KeyboardInterrupt: Ctrl-C stopped the sweep (between batches).
        """
        # The frequencies go beside the job text as an array; the text holds
        # a placeholder list.
        settings = {"frequencies": None if frequencies is None else [0.0],
                    "range": list(range) if range is not None else None,
                    "points": points if range is not None else None,
                    "bias": bias if range is not None else None, "field": field}
        return self._run("harmonic", _job_text("harmonic", settings, damping, loads,
                                               base_acceleration, outputs, quantities),
                         frequencies)

    def transient(self, times: Optional[ArrayLike] = None, *, step: Optional[float] = None,
                  duration: Optional[float] = None, damping: DampingLike = None,
                  loads: Sequence[Union[Load, tuple]] = (),
                  base_acceleration: Sequence[Union[BaseAcceleration, tuple, int]] = (),
                  initial_displacement: Optional[ArrayLike] = None,
                  initial_velocity: Optional[ArrayLike] = None,
                  outputs: Sequence[tuple[int, int]] = (),
                  quantities: Union[str, Sequence[str]] = ("displacement",),
                  field: Union[None, str, Sequence[int]] = None) -> TransientResult:
        """Response in time, integrated exactly for loads varying linearly
        between the time points.

        Args:
            times: increasing time points [s]. Or instead:
            step, duration: the times 0, step, ..., duration.
            damping: a modal damping ratio (one, or one per mode) or a
                :class:`Damping` (modal, Rayleigh, projected viscous).
            loads: nodal forces, :class:`Load` or (node, component[, scale[,
                amplitude]]); the amplitude is a function of time.
            base_acceleration: :class:`BaseAcceleration` or direction 1-3.
            initial_displacement, initial_velocity: modal, one per mode.
            outputs: (node, component) pairs whose histories are returned.
            quantities: any of "displacement", "velocity", "acceleration".
            field: "all" or frame indices: the full displacement field there.

        Returns:
            :class:`TransientResult`: ``time`` (T,), ``modal_displacement``
            (T, modes), ``displacement``/``velocity``/``acceleration`` (T,
            outputs) as asked, ``kinetic_energy``, ``strain_energy`` (T,).

        Raises:
            qvadyn.InputError: a refused argument, named in the message.
            KeyboardInterrupt: Ctrl-C stopped the run (between segments).
        """
        settings = {"times": None if times is None else [0.0, 1.0], "step": step, "duration": duration,
                    "initial_displacement": initial_displacement,
                    "initial_velocity": initial_velocity, "field": field}
        return self._run("transient", _job_text("transient", settings, damping, loads,
                                                base_acceleration, outputs, quantities), times)

    def random(self, frequencies: Optional[ArrayLike] = None, *,
               range: Optional[tuple[float, float]] = None, points: int = 20, bias: float = 3.0,
               excitations: Sequence[RandomExcitation] = (), damping: DampingLike = None,
               outputs: Sequence[tuple[int, int]] = (),
               quantities: Union[str, Sequence[str]] = ("displacement",)) -> RandomResult:
        """Random response: PSDs and RMS values of the output DOFs under
        loads or base acceleration given as PSD tables.

        Args:
            frequencies: frequencies [Hz], increasing. Or instead:
            range: (low, high) [Hz] with ``points`` per interval, clustered
                around the natural frequencies by ``bias`` as for harmonic,
                plus the PSD tables' corners.
            excitations: :class:`RandomExcitation` entries, uncorrelated with
                each other.
            damping: a modal damping ratio (one, or one per mode) or a
                :class:`Damping`.
            outputs: (node, component) pairs whose PSDs are returned.
            quantities: any of "displacement", "velocity", "acceleration".

        Returns:
            :class:`RandomResult`: ``frequency`` (F,), ``psd[quantity]``
            (F, outputs) and ``rms[quantity]`` (outputs,): the square root of
            the trapezoidal integral of the PSD over the frequencies.
        """
        settings = {"frequencies": frequencies,
                    "range": list(range) if range is not None else None,
                    "points": points if range is not None else None,
                    "bias": bias if range is not None else None}
        tables = []
        for excitation in excitations:
            psd = excitation.psd if isinstance(excitation.psd, str) else \
                np.asarray(excitation.psd, dtype=float).reshape(-1, 2)
            loads = np.asarray(excitation.loads, dtype=float).reshape(-1, 3)
            base = list(excitation.base_acceleration)
            tables.append(("excitation", {
                "psd": psd, "loads": loads if len(loads) else None,
                "base_acceleration": base or None,
                "correlation": None if base else excitation.correlation,
                "velocity": None if excitation.velocity is None else list(excitation.velocity)}))
        return self._run("random", _job_text("random", settings, damping, outputs=outputs,
                                             quantities=quantities, subtables=tables))

    def response_spectrum(self, spectra: Sequence[Spectrum], *, combination: str = "cqc",
                          directions: str = "srss", damping: DampingLike = None,
                          outputs: Sequence[tuple[int, int]] = (),
                          quantities: Union[str, Sequence[str]] = ("displacement",)
                          ) -> ResponseSpectrumResult:
        """Peak responses to base accelerations given as design spectra
        (needs the mass matrix).

        Each mode's peak is q = Gamma Sa(f, zeta) / omega^2; the peaks of the
        output DOFs are combined over the modes and then over the directions.

        Args:
            spectra: one :class:`Spectrum` per excited direction.
            combination: over the modes: "srss", "cqc" (Der Kiureghian's
                coefficients with the modal damping) or "abs".
            directions: over the directions: "srss" or "100-40-40".
            damping: a modal damping ratio (one, or one per mode) or a
                :class:`Damping`; the modes' ratios pick the spectrum column.
            outputs: (node, component) pairs whose peaks are returned.
            quantities: any of "displacement", "velocity", "acceleration"
                (pseudo-quantities relative to the base).

        Returns:
            :class:`ResponseSpectrumResult`: ``modal_peak`` (modes,
            directions), ``peak[quantity]`` (outputs,).
        """
        tables = [("spectrum", {
            "direction": spectrum.direction, "damping": list(spectrum.damping),
            "table": spectrum.table if isinstance(spectrum.table, str)
            else np.asarray(spectrum.table, dtype=float),
            "scale": spectrum.scale}) for spectrum in spectra]
        settings = {"combination": combination, "directions": directions}
        return self._run("response_spectrum",
                         _job_text("response_spectrum", settings, damping, outputs=outputs,
                                   quantities=quantities, subtables=tables))

    def complex_modes(self, *, count: int = 10, range: Optional[tuple[float, float]] = None,
                      damping: DampingLike = None) -> ComplexModesResult:
        """Complex modes of the damped structure in the subspace of the real modes.

        Args:
            count: at most this many modes.
            range: (low, high) [Hz] of their damped frequencies; default all.
            damping: a modal damping ratio (one, or one per mode) or a
                :class:`Damping`.

        Returns:
            :class:`ComplexModesResult`: ``eigenvalues`` complex (C,),
            ``frequency``, ``damped_frequency`` [Hz], ``damping_ratio`` (C,),
            ``shapes`` complex (C, modes).
        """
        settings = {"count": count, "range": list(range) if range is not None else None}
        return self._run("complex_modes", _job_text("complex_modes", settings, damping))

    def participation(self, reference: Sequence[float] = (0.0, 0.0, 0.0)) -> ParticipationResult:
        """Participation factors and effective masses of the modes for the six
        rigid-body motions about ``reference`` (needs the mass matrix, and node
        coordinates for the rotations).

        Returns:
            :class:`ParticipationResult`: ``factors``, ``effective_mass``
            (modes, 6: x, y, z, rx, ry, rz), ``total_mass`` (6,).
        """
        return self._run("participation",
                         _job_text("participation", {"reference": list(reference)}))


def _compressed_rows(mass: Any, dofs: int) -> tuple[np.ndarray, np.ndarray, np.ndarray]:
    """(row_start, columns, values) of a mass matrix given densely, as a
    scipy.sparse matrix or as compressed rows; empty arrays for None."""
    if mass is None:
        return np.zeros(0, np.int64), np.zeros(0, np.int64), np.zeros(0)
    if hasattr(mass, "tocsr"):
        mass = mass.tocsr()
        return mass.indptr, mass.indices, mass.data
    if isinstance(mass, tuple) and len(mass) == 3:
        return tuple(np.asarray(part) for part in mass)  # type: ignore[return-value]
    dense = np.asarray(mass, dtype=float)
    if dense.shape != (dofs, dofs):
        raise InputError(f"qvadyn.Basis: 'mass' must have the shape (DOFs, DOFs) = "
                            f"({dofs}, {dofs}), not {dense.shape}")
    rows, columns = np.nonzero(dense)
    row_start = np.zeros(dofs + 1, np.int64)
    np.add.at(row_start, rows + 1, 1)
    return np.cumsum(row_start), columns, dense[rows, columns]
