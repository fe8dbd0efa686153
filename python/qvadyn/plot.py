"""Figures of qvadyn results files.

One function per figure: each takes plain arrays (numpy) and returns a
matplotlib Figure, so that other programs can reuse them; `plot_results`
reads a results file with h5py and writes every figure of it as PNG.
`qvadyn plot results.h5 [analysis] [-o DIR]` runs this module:

    python3 -m qvadyn.plot results.h5 sweep -o figures
"""
import argparse
import os
import sys

import matplotlib

matplotlib.use("Agg")
import h5py  # noqa: E402
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

DIRECTIONS = ["x", "y", "z", "rx", "ry", "rz"]


class Units:
    """Axis units from the basis's `units` attribute ("N, m, s": force, length, time)."""

    def __init__(self, text=""):
        parts = [part.strip() for part in (text or "").split(",")]
        self.force = parts[0] if len(parts) == 3 and parts[0] else "force"
        self.length = parts[1] if len(parts) == 3 and parts[1] else "length"
        self.time = parts[2] if len(parts) == 3 and parts[2] else "s"

    def of(self, quantity):
        power = {"displacement": "", "velocity": f"/{self.time}",
                 "acceleration": f"/{self.time}²"}[quantity]
        return f"{self.length}{power}"


def frf_figure(frequency, response, labels, quantity, unit, natural_frequencies=()):
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


def time_history_figure(time, values, labels, quantity, unit, time_unit="s"):
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


def psd_figure(frequency, psd, rms, labels, quantity, unit):
    """Response PSDs (frequencies x outputs) on log-log axes, the rms in the legend."""
    figure, axes = plt.subplots(figsize=(8, 4.5))
    psd = np.asarray(psd).reshape(len(frequency), -1)
    for column, value, label in zip(psd.T, rms, labels):
        axes.loglog(frequency, column, label=f"{label}: rms {value:.4g} {unit}")
    axes.set_xlabel("frequency [Hz]")
    axes.set_ylabel(f"{quantity} PSD [({unit})²/Hz]")
    axes.set_title(f"{quantity} power spectral density")
    axes.grid(True, which="both", alpha=0.3)
    axes.legend(fontsize="small")
    figure.tight_layout()
    return figure


def complex_modes_figure(frequency, damping_ratio):
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


def effective_mass_figure(effective_mass, total_mass, natural_frequencies=None):
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


def spectrum_peaks_figure(labels, peaks, quantity, unit):
    """Combined peak responses of a response-spectrum analysis per output."""
    figure, axes = plt.subplots(figsize=(8, 4))
    axes.bar(range(len(labels)), peaks)
    axes.set_xticks(range(len(labels)), labels, fontsize="small")
    axes.set_ylabel(f"peak {quantity} [{unit}]")
    axes.set_title(f"combined peak {quantity}")
    axes.grid(True, axis="y", alpha=0.3)
    figure.tight_layout()
    return figure


def _labels(group):
    nodes = group["outputs/node"][:]
    components = group["outputs/component"][:]
    return [f"node {n} comp {c}" for n, c in zip(nodes, components)]


def _basis_of(results, results_path):
    """The basis file named by the results file (as given, or beside the results)."""
    name = results.attrs.get("basis", "")
    if isinstance(name, bytes):
        name = name.decode()
    for candidate in (name, os.path.join(os.path.dirname(results_path), os.path.basename(name))):
        if candidate and os.path.exists(candidate):
            return h5py.File(candidate, "r")
    return None


def plot_results(results_path, analysis=None, folder=None):
    """Writes the PNG figures of every analysis (or the one named) of a results
    file into `folder` (default: beside the results file); returns their paths."""
    folder = folder or os.path.dirname(os.path.abspath(results_path))
    os.makedirs(folder, exist_ok=True)
    stem = os.path.splitext(os.path.basename(results_path))[0]
    written = []
    with h5py.File(results_path, "r") as results:
        units = Units()
        natural = np.array([])
        basis = _basis_of(results, results_path)
        if basis is not None:
            with basis:
                units_text = basis.attrs.get("units", "")
                units = Units(units_text.decode() if isinstance(units_text, bytes) else units_text)
                natural = np.sqrt(np.maximum(basis["eigenvalues"][:], 0)) / (2 * np.pi)
        names = [analysis] if analysis else [n for n in results if "type" in results[n].attrs]
        for name in names:
            if name not in results or "type" not in results[name].attrs:
                raise SystemExit(f"{results_path}: no analysis '{name}'")
            group = results[name]
            kind = group.attrs["type"]
            kind = kind.decode() if isinstance(kind, bytes) else kind
            figures = []
            quantities = [q for q in ("displacement", "velocity", "acceleration")]
            if kind == "harmonic":
                for q in quantities:
                    if q in group:
                        figures.append((q, frf_figure(group["frequency"][:], group[q][:],
                                                      _labels(group), q, units.of(q), natural)))
            elif kind == "transient":
                for q in quantities:
                    if q in group:
                        figures.append((q, time_history_figure(group["time"][:], group[q][:],
                                                               _labels(group), q, units.of(q),
                                                               units.time)))
            elif kind == "random":
                for q in quantities:
                    if f"psd/{q}" in group:
                        figures.append((q, psd_figure(group["frequency"][:], group[f"psd/{q}"][:],
                                                      group[f"rms/{q}"][:], _labels(group), q,
                                                      units.of(q))))
            elif kind == "complex_modes":
                figures.append(("modes", complex_modes_figure(group["frequency"][:],
                                                              group["damping_ratio"][:])))
            elif kind == "participation":
                figures.append(("effective_mass", effective_mass_figure(
                    group["effective_mass"][:], group["total_mass"][:],
                    natural if natural.size == group["effective_mass"].shape[0] else None)))
            elif kind == "response_spectrum":
                for q in quantities:
                    if f"peak/{q}" in group:
                        figures.append((q, spectrum_peaks_figure(_labels(group),
                                                                 group[f"peak/{q}"][:], q,
                                                                 units.of(q))))
            for label, figure in figures:
                path = os.path.join(folder, f"{stem}_{name}_{label}.png")
                figure.savefig(path, dpi=100)
                plt.close(figure)
                written.append(path)
    return written


def main(argv=None):
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
