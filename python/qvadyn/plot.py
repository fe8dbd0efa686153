"""Figures of qvadyn results: one function per figure, each taking a result
object (of a Basis method or of qvadyn.Results) and returning a matplotlib
Figure. `qvadyn plot results.h5 [analysis] [-o DIR]` runs this module, which
draws every figure of a results file with the same functions:

    python3 -m qvadyn.plot results.h5 sweep -o figures

The *_figure functions below them draw the same figures from plain arrays.
"""
from __future__ import annotations

import argparse
import os
import sys
from typing import Optional, Sequence

import h5py
import matplotlib.pyplot as plt
import numpy as np
from matplotlib.figure import Figure

from .results import Result, Results

DIRECTIONS = ["x", "y", "z", "rx", "ry", "rz"]


class Units:
    """Axis units from the basis's `units` attribute ("N, m, s": force, length, time)."""

    def __init__(self, text: str = "") -> None:
        parts = [part.strip() for part in (text or "").split(",")]
        self.force = parts[0] if len(parts) == 3 and parts[0] else "force"
        self.length = parts[1] if len(parts) == 3 and parts[1] else "length"
        self.time = parts[2] if len(parts) == 3 and parts[2] else "s"

    def of(self, quantity: str) -> str:
        """The unit of "displacement", "velocity" or "acceleration"."""
        power = {"displacement": "", "velocity": f"/{self.time}",
                 "acceleration": f"/{self.time}²"}[quantity]
        return f"{self.length}{power}"


def frf_figure(frequency: np.ndarray, response: np.ndarray, labels: Sequence[str], quantity: str,
               unit: str, natural_frequencies: Sequence[float] = ()) -> Figure:
    """Magnitude (log) and phase of complex responses (frequencies x outputs)."""
    figure, (magnitude, phase) = plt.subplots(2, 1, sharex=True, figsize=(8, 6))
    response = np.asarray(response).reshape(len(frequency), -1)
    for column, label in zip(response.T, labels):
        magnitude.semilogy(frequency, np.abs(column), label=label)
        phase.plot(frequency, np.degrees(np.angle(column)), label=label)
    for f in natural_frequencies:
        if frequency[0] <= f <= frequency[-1]:
            for axes in (magnitude, phase):
                axes.axvline(f, color="0.6", linestyle=":", linewidth=0.8)
    magnitude.set_ylabel(f"|{quantity}| [{unit}]")
    phase.set_ylabel("phase [deg]")
    phase.set_xlabel("frequency [Hz]")
    phase.set_ylim(-180, 180)
    magnitude.legend(fontsize="small")
    magnitude.set_title(f"{quantity} frequency response (dotted: natural frequencies)")
    for axes in (magnitude, phase):
        axes.grid(True, which="both", alpha=0.3)
    figure.tight_layout()
    return figure


def time_history_figure(time: np.ndarray, values: np.ndarray, labels: Sequence[str],
                        quantity: str, unit: str, time_unit: str = "s") -> Figure:
    """Time histories (times x outputs)."""
    figure, axes = plt.subplots(figsize=(8, 4.5))
    values = np.asarray(values).reshape(len(time), -1)
    for column, label in zip(values.T, labels):
        axes.plot(time, column, label=label)
    axes.set_xlabel(f"time [{time_unit}]")
    axes.set_ylabel(f"{quantity} [{unit}]")
    axes.set_title(f"{quantity} time history")
    axes.grid(True, alpha=0.3)
    axes.legend(fontsize="small")
    figure.tight_layout()
    return figure


def psd_figure(frequency: np.ndarray, psd: np.ndarray, rms: np.ndarray, labels: Sequence[str],
               quantity: str, unit: str) -> Figure:
    """Response PSDs (frequencies x outputs) on log-log axes, the rms in the legend."""
    figure, axes = plt.subplots(figsize=(8, 4.5))
    psd = np.asarray(psd, dtype=float).reshape(len(frequency), -1)
    # Zero outside the bands of the input spectra: left out of the log axes.
    psd = np.where(psd > 0.0, psd, np.nan)
    for column, value, label in zip(psd.T, rms, labels):
        axes.loglog(frequency, column, label=f"{label}: rms {value:.4g} {unit}")
    axes.set_xlabel("frequency [Hz]")
    axes.set_ylabel(f"{quantity} PSD [({unit})²/Hz]")
    axes.set_title(f"{quantity} power spectral density")
    axes.grid(True, which="both", alpha=0.3)
    axes.legend(fontsize="small")
    figure.tight_layout()
    return figure


def complex_modes_figure(frequency: np.ndarray, damping_ratio: np.ndarray) -> Figure:
    """Frequencies and damping ratios of the complex modes."""
    figure, (left, right) = plt.subplots(1, 2, figsize=(9, 4))
    modes = np.arange(1, len(frequency) + 1)
    left.plot(modes, frequency, "o-")
    left.set_xlabel("complex mode")
    left.set_ylabel("frequency [Hz]")
    right.plot(frequency, 100 * np.asarray(damping_ratio), "s")
    right.set_xlabel("frequency [Hz]")
    right.set_ylabel("damping ratio [%]")
    for axes in (left, right):
        axes.grid(True, alpha=0.3)
    figure.suptitle("complex modes")
    figure.tight_layout()
    return figure


def effective_mass_figure(effective_mass: np.ndarray, total_mass: np.ndarray,
                          natural_frequencies: Optional[Sequence[float]] = None) -> Figure:
    """Effective-mass fractions per mode and their running sums, per direction."""
    effective_mass = np.asarray(effective_mass)
    total_mass = np.asarray(total_mass)
    fractions = np.divide(effective_mass, total_mass, out=np.zeros_like(effective_mass),
                          where=total_mass > 0)
    modes = np.arange(1, effective_mass.shape[0] + 1)
    figure, (bars, sums) = plt.subplots(2, 1, sharex=True, figsize=(8, 6))
    width = 0.8 / min(3, fractions.shape[1])
    for d in range(min(3, fractions.shape[1])):
        bars.bar(modes + (d - 1) * width, fractions[:, d], width, label=DIRECTIONS[d])
        sums.plot(modes, np.cumsum(fractions[:, d]), "o-", label=DIRECTIONS[d])
    bars.set_ylabel("effective mass fraction [-]")
    sums.set_ylabel("cumulative fraction [-]")
    sums.set_xlabel("mode" if natural_frequencies is None else "mode (natural frequency)")
    if natural_frequencies is not None:
        sums.set_xticks(modes, [f"{m}\n{f:.4g} Hz" for m, f in zip(modes, natural_frequencies)],
                        fontsize="x-small")
    sums.set_ylim(0, 1.05)
    for axes in (bars, sums):
        axes.grid(True, alpha=0.3)
        axes.legend(fontsize="small")
    bars.set_title("effective mass by direction")
    figure.tight_layout()
    return figure


def spectrum_peaks_figure(labels: Sequence[str], peaks: np.ndarray, quantity: str,
                          unit: str) -> Figure:
    """Combined peak responses of a response-spectrum analysis per output."""
    figure, axes = plt.subplots(figsize=(8, 4))
    axes.bar(range(len(labels)), peaks)
    axes.set_xticks(range(len(labels)), labels, fontsize="small")
    axes.set_ylabel(f"peak {quantity} [{unit}]")
    axes.set_title(f"combined peak {quantity}")
    axes.grid(True, axis="y", alpha=0.3)
    figure.tight_layout()
    return figure


def labels(result: Result) -> list[str]:
    """Legend labels of a result's output DOFs ("node 100 comp 2")."""
    return [f"node {n} comp {c}" for n, c in result.outputs]


def _units(result: Result, units: Optional[Units]) -> Units:
    if units is not None:
        return units
    return Units(result.basis.units if result.basis is not None else "")


def _natural(result: Result, natural_frequencies: Optional[Sequence[float]]) -> Sequence[float]:
    if natural_frequencies is not None:
        return natural_frequencies
    return result.basis.frequencies if result.basis is not None else ()


def frf(result: Result, quantity: str = "displacement", units: Optional[Units] = None,
        natural_frequencies: Optional[Sequence[float]] = None) -> Figure:
    """FRF magnitude (log) and phase of every output DOF of a harmonic result,
    the natural frequencies (default: of the result's basis) marked."""
    unit = _units(result, units).of(quantity)
    return frf_figure(result.arrays["frequency"], result.arrays[quantity], labels(result),
                      quantity, unit, _natural(result, natural_frequencies))


def time_history(result: Result, quantity: str = "displacement",
                 units: Optional[Units] = None) -> Figure:
    """Time histories of every output DOF of a transient result."""
    units = _units(result, units)
    return time_history_figure(result.arrays["time"], result.arrays[quantity], labels(result),
                               quantity, units.of(quantity), units.time)


def psd(result: Result, quantity: str = "displacement", units: Optional[Units] = None) -> Figure:
    """Response PSDs (log-log) of a random result, the RMS in the legend."""
    return psd_figure(result.arrays["frequency"], result.arrays[f"psd/{quantity}"],
                      result.arrays[f"rms/{quantity}"], labels(result), quantity,
                      _units(result, units).of(quantity))


def complex_modes(result: Result) -> Figure:
    """Frequencies and damping ratios of a complex-modes result."""
    return complex_modes_figure(result.arrays["frequency"], result.arrays["damping_ratio"])


def effective_mass(result: Result,
                   natural_frequencies: Optional[Sequence[float]] = None) -> Figure:
    """Effective-mass fractions per mode and cumulated, of a participation result."""
    natural = _natural(result, natural_frequencies)
    effective = result.arrays["effective_mass"]
    return effective_mass_figure(effective, result.arrays["total_mass"],
                                 natural if len(natural) == effective.shape[0] else None)


def spectrum_peaks(result: Result, quantity: str = "displacement",
                   units: Optional[Units] = None) -> Figure:
    """Combined peaks of every output DOF of a response-spectrum result."""
    return spectrum_peaks_figure(labels(result), result.arrays[f"peak/{quantity}"], quantity,
                                 _units(result, units).of(quantity))


def figures(result: Result, units: Optional[Units] = None,
            natural_frequencies: Optional[Sequence[float]] = None) -> list[tuple[str, Figure]]:
    """Every figure of a result, as (label, Figure) pairs: one per quantity of
    harmonic, transient, random and response-spectrum results, one for complex
    modes and participation."""
    quantities = [q for q in ("displacement", "velocity", "acceleration")
                  if q in result.arrays or f"psd/{q}" in result.arrays
                  or f"peak/{q}" in result.arrays]
    if result.type == "harmonic":
        return [(q, frf(result, q, units, natural_frequencies)) for q in quantities]
    if result.type == "transient":
        return [(q, time_history(result, q, units)) for q in quantities]
    if result.type == "random":
        return [(q, psd(result, q, units)) for q in quantities]
    if result.type == "response_spectrum":
        return [(q, spectrum_peaks(result, q, units)) for q in quantities]
    if result.type == "complex_modes":
        return [("modes", complex_modes(result))]
    if result.type == "participation":
        return [("effective_mass", effective_mass(result, natural_frequencies))]
    return []


def _basis_of(results: Results) -> tuple[Units, Optional[np.ndarray]]:
    """Units and natural frequencies of the basis file named by a results file
    (as given, or beside the results file)."""
    name = str(results.attributes.get("basis", ""))
    for candidate in (name, os.path.join(os.path.dirname(results.path), os.path.basename(name))):
        if candidate and os.path.isfile(candidate):
            with h5py.File(candidate, "r") as basis:
                text = basis.attrs.get("units", "")
                eigenvalues = basis["eigenvalues"][:]
            return (Units(text.decode() if isinstance(text, bytes) else text),
                    np.sqrt(np.maximum(eigenvalues, 0)) / (2 * np.pi))
    return Units(), None


def plot_results(results_path: str, analysis: Optional[str] = None,
                 folder: Optional[str] = None) -> list[str]:
    """Writes the PNG figures of every analysis (or the one named) of a results
    file into `folder` (default: beside the results file) as
    <results>_<analysis>_<what>.png; returns their paths."""
    folder = folder or os.path.dirname(os.path.abspath(results_path))
    os.makedirs(folder, exist_ok=True)
    stem = os.path.splitext(os.path.basename(results_path))[0]
    results = Results(results_path)
    if analysis is not None and analysis not in results:
        raise SystemExit(f"{results_path}: no analysis '{analysis}'")
    units, natural = _basis_of(results)
    written = []
    for name in [analysis] if analysis else list(results):
        for label, figure in figures(results[name], units, natural):
            path = os.path.join(folder, f"{stem}_{name}_{label}.png")
            figure.savefig(path, dpi=100)
            plt.close(figure)
            written.append(path)
    return written


def main(argv: Optional[list[str]] = None) -> int:
    """The command line of `qvadyn plot`; prints the paths of the figures written."""
    parser = argparse.ArgumentParser(prog="qvadyn plot",
                                     description="PNG figures of a qvadyn results file")
    parser.add_argument("results", help="results file (HDF5)")
    parser.add_argument("analysis", nargs="?", help="one analysis (default: all)")
    parser.add_argument("-o", "--output", help="folder of the figures (default: beside the file)")
    arguments = parser.parse_args(argv)
    for path in plot_results(arguments.results, arguments.analysis, arguments.output):
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
