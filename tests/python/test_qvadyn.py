"""The Python package qvadyn against closed forms, its basis files, its refusals,
its memory promises and Ctrl-C."""
import gc
import os
import signal
import threading
import weakref

import numpy as np
import pytest

import qvadyn
from qvadyn import _qvadyn

# SDOF: mass 2 (phi = 1/sqrt(2)), 5 Hz. Two modes: 3 and 8 Hz, orthonormal
# shapes of a 2-DOF system with M = I, rotated by 30 degrees.
SDOF_MASS = 2.0
SDOF_OMEGA = 2 * np.pi * 5.0
TWO_OMEGA = 2 * np.pi * np.array([3.0, 8.0])
ANGLE = np.radians(30.0)
TWO_PHI = np.array([[np.cos(ANGLE), -np.sin(ANGLE)], [np.sin(ANGLE), np.cos(ANGLE)]])
ZETA = 0.03


def sdof():
    return qvadyn.Basis([SDOF_OMEGA**2], [[1 / np.sqrt(SDOF_MASS)]], [[1, 1]])


def two_mode():
    return qvadyn.Basis(TWO_OMEGA**2, np.asfortranarray(TWO_PHI), [[1, 1], [2, 1]],
                        nodes=[[1, 0.0, 0, 0], [2, 1.0, 0, 0]], mass=np.eye(2), units="N, m, s")


def test_frf_against_closed_forms():
    f = np.array([0.5, 2.9, 3.0, 5.0, 7.99, 8.0, 20.0])
    omega = 2 * np.pi * f
    frf = sdof().harmonic(f, damping=ZETA, loads=[(1, 1)], outputs=[(1, 1)],
                          quantities=["displacement", "acceleration"])
    exact = 1 / SDOF_MASS / (SDOF_OMEGA**2 - omega**2 + 2j * ZETA * SDOF_OMEGA * omega)
    # A few divisions per value: round-off only.
    np.testing.assert_allclose(frf.displacement[:, 0], exact, rtol=1e-12)
    np.testing.assert_allclose(frf.acceleration[:, 0], -omega**2 * exact, rtol=1e-12)
    # Two modes: the dense solve of (K - w^2 M + i w C) u = f with M = I, K and
    # C rebuilt from the modes; force 2.5 on DOF 2, response at both DOFs.
    stiffness = TWO_PHI @ np.diag(TWO_OMEGA**2) @ TWO_PHI.T
    damping = TWO_PHI @ np.diag(2 * ZETA * TWO_OMEGA) @ TWO_PHI.T
    frf = two_mode().harmonic(f, damping=ZETA, loads=[qvadyn.Load(2, 1, 2.5)],
                              outputs=[(1, 1), (2, 1)])
    for j, w in enumerate(omega):
        dense = np.linalg.solve(stiffness - w**2 * np.eye(2) + 1j * w * damping, [0.0, 2.5])
        # Condition of the dense system near resonance (about 1/(2 zeta)) times eps.
        np.testing.assert_allclose(frf.displacement[j], dense, rtol=1e-11)
    assert frf.modal_amplitudes.shape == (len(f), 2)


def test_step_response_against_closed_forms():
    # Unit step from t = 0: u = phi^2 / w^2 (1 - e^(-z w t) (cos wd t + z / sqrt(1 - z^2) sin wd t)).
    def step(omega, phi2, t):
        damped = omega * np.sqrt(1 - ZETA**2)
        decay = np.exp(-ZETA * omega * t)
        return phi2 / omega**2 * (1 - decay * (np.cos(damped * t) +
                                              ZETA / np.sqrt(1 - ZETA**2) * np.sin(damped * t)))

    t = np.linspace(0.0, 1.0, 2001)
    history = sdof().transient(t, damping=ZETA, loads=[(1, 1)], outputs=[(1, 1)])
    # The component integrates exactly for loads linear over a step: round-off
    # relative to the static deflection.
    np.testing.assert_allclose(history.displacement[:, 0], step(SDOF_OMEGA, 1 / SDOF_MASS, t),
                               rtol=0, atol=1e-10 / SDOF_OMEGA**2)
    history = two_mode().transient(step=5e-4, duration=1.0, damping=ZETA, loads=[(1, 1)],
                                   outputs=[(1, 1), (2, 1)])
    exact = sum(np.outer(step(TWO_OMEGA[k], 1.0, history.time), TWO_PHI[:, k] * TWO_PHI[0, k])
                for k in range(2))
    np.testing.assert_allclose(history.displacement, exact, rtol=0,
                               atol=1e-10 / TWO_OMEGA[0]**2)
    # Energies of the mass-normalized modes from the modal histories: the same
    # sums in another order, round-off.
    np.testing.assert_allclose(history.strain_energy,
                               0.5 * (history.modal_displacement**2 @ TWO_OMEGA**2), rtol=1e-12)


def test_complex_modes_of_proportional_damping():
    modes = two_mode().complex_modes(damping=[0.02, 0.05])
    # lambda = -zeta w + i w sqrt(1 - zeta^2): the subspace eigensolver to round-off.
    for k, zeta in enumerate([0.02, 0.05]):
        exact = TWO_OMEGA[k] * (-zeta + 1j * np.sqrt(1 - zeta**2))
        np.testing.assert_allclose(modes.eigenvalues[k], exact, rtol=1e-10)
    # |lambda| and -Re lambda / |lambda| of those eigenvalues; the ratio of a
    # small real part loses a digit.
    np.testing.assert_allclose(modes.frequency, TWO_OMEGA / (2 * np.pi), rtol=1e-10)
    np.testing.assert_allclose(modes.damping_ratio, [0.02, 0.05], rtol=1e-9)
    participation = two_mode().participation()
    # Gamma = Phi^T M r for the x translation r = (1, 1): two products, round-off.
    np.testing.assert_allclose(participation.factors[:, 0], TWO_PHI.T @ [1, 1], rtol=1e-14)
    np.testing.assert_allclose(participation.total_mass[0], 2.0, rtol=1e-14)


def test_basis_round_trip_bit_for_bit(tmp_path):
    rng = np.random.default_rng(7)
    dofs = np.array([[node, c] for node in (10, 20, 30) for c in (1, 2, 3, 6)])
    modes = np.asfortranarray(rng.standard_normal((12, 5)))
    nodes = np.array([[10, 0.1, 0.2, 0.3], [20, 1 / 3, 0, 0], [30, np.pi, -1e-300, 7]])
    mass = np.diag(rng.uniform(0.5, 2.0, 12))
    mass[0, 1] = mass[1, 0] = 1 / 7
    basis = qvadyn.Basis(np.sort(rng.uniform(1, 1e4, 5)), modes, dofs, nodes=nodes, mass=mass,
                         units="N, mm, s")
    basis.save(tmp_path / "b.h5")
    back = qvadyn.Basis.open(tmp_path / "b.h5")
    for name in ("eigenvalues", "modes", "dofs", "nodes"):
        assert getattr(back, name).tobytes() == getattr(basis, name).tobytes(), name
    for ours, theirs in zip(basis.mass, back.mass):
        assert ours.tobytes() == theirs.tobytes()
    assert back.units == "N, mm, s"


def test_no_copy_for_fortran_order():
    fortran = np.asfortranarray(np.eye(3)[:, :2])
    basis = qvadyn.Basis([1.0, 4.0], fortran, [[1, 1], [1, 2], [1, 3]])
    assert np.shares_memory(basis.modes, fortran)
    del fortran
    gc.collect()
    np.testing.assert_array_equal(basis.modes, np.eye(3)[:, :2])  # kept alive by the basis
    ordered = np.ascontiguousarray(np.eye(3)[:, :2])
    copied = qvadyn.Basis([1.0, 4.0], ordered, [[1, 1], [1, 2], [1, 3]])
    assert not np.shares_memory(copied.modes, ordered)
    np.testing.assert_array_equal(copied.modes, ordered)


def test_cycle_between_result_and_basis_is_collected():
    gc.collect()
    live = _qvadyn._live_bases()
    basis = sdof()
    result = basis.harmonic([1.0, 2.0], outputs=[(1, 1)], loads=[(1, 1)])
    basis.last = result  # result.basis is basis: a cycle
    watch = weakref.ref(basis), weakref.ref(result), weakref.ref(result.modal_amplitudes)
    assert _qvadyn._live_bases() == live + 1
    del basis, result
    gc.collect()
    assert all(ref() is None for ref in watch)
    assert _qvadyn._live_bases() == live


REFUSALS = [
    # (call, error class, text of the library's message)
    (lambda: qvadyn.Basis([1.0, np.nan], np.eye(2), [[1, 1], [1, 2]]), qvadyn.InputError,
     "qvadyn.Basis: dataset 'eigenvalues': entry 1 is NaN"),
    (lambda: qvadyn.Basis([1.0, 4.0], [[1.0, 0], [0, np.inf]], [[1, 1], [1, 2]]),
     qvadyn.InputError, "qvadyn.Basis: dataset 'modes': entry [1, 1] is infinite"),
    (lambda: qvadyn.Basis([1.0, 4.0], np.eye(2), [[1, 1], [1, 1]]), qvadyn.InputError,
     "qvadyn.Basis: dataset 'dofmap': row 1 repeats node 1 component 1"),
    (lambda: qvadyn.Basis([1.0, 4.0], np.eye(2), [[1, 1], [1, 7]]), qvadyn.InputError,
     "qvadyn.Basis: dataset 'dofmap': row 1 has component 7, expected 1 to 6"),
    (lambda: qvadyn.Basis([1.0, 4.0], np.eye(3), [[1, 1], [1, 2], [1, 3]]), qvadyn.InputError,
     "qvadyn.Basis: 'modes' must have the shape (DOFs, modes) = (3, 2)"),
    (lambda: sdof().harmonic([2.0, 1.0]), qvadyn.InputError,
     "Basis.harmonic(): 'frequencies' in [analysis.harmonic]: entry 1"),
    (lambda: sdof().harmonic([1.0], outputs=[(9, 1)]), qvadyn.InputError,
     "Basis.harmonic(): 'dofs' in [output]: node 9 component 1: the basis has no such DOF"),
    (lambda: sdof().harmonic([1.0], loads=[(1, 2)]), qvadyn.InputError,
     "Basis.harmonic(): [[load]] on node 1 component 2: the basis has no such DOF"),
    (lambda: two_mode().transient(step=0.1, duration=1, damping=[0.1, 0.2, 0.3]),
     qvadyn.InputError, "'modal' in [damping]: 3 ratios for the 2 modes of the basis"),
    (lambda: sdof().participation(), qvadyn.InputError, "stores no mass matrix"),
    (lambda: qvadyn.Basis.open("/nonexistent/basis.h5"), qvadyn.InputError,
     "/nonexistent/basis.h5: cannot open the file"),
    (lambda: sdof().save("/nonexistent/basis.h5"), qvadyn.SolveError, "/nonexistent/"),
    (lambda: qvadyn.run("/nonexistent/job.toml"), qvadyn.InputError, "/nonexistent/job.toml"),
]


@pytest.mark.parametrize("call, kind, text", REFUSALS)
def test_refusals_reach_python_with_the_library_message(call, kind, text):
    with pytest.raises(kind) as caught:
        call()
    assert isinstance(caught.value, qvadyn.Error)
    assert isinstance(caught.value, ValueError if kind is qvadyn.InputError else RuntimeError)
    assert text in caught.value.message, caught.value.message
    assert caught.value.error_number == 0


def test_run_and_results_files_match_the_methods(tmp_path):
    two_mode().save(tmp_path / "b.h5")
    (tmp_path / "job.toml").write_text(
        'basis = "b.h5"\n[damping]\nmodal = 0.03\n[[load]]\nnode = 2\ncomponent = 1\n'
        '[output]\ndofs = [[1, 1]]\n[analysis.sweep]\ntype = "harmonic"\n'
        'frequencies = [1.0, 3.0, 4.5]\n')
    results = qvadyn.run(tmp_path / "job.toml")
    assert list(results) == ["sweep"] and "[sweep] harmonic" in results.summary
    direct = two_mode().harmonic([1.0, 3.0, 4.5], damping=0.03, loads=[(2, 1)],
                                 outputs=[(1, 1)])
    # The same application code on the same basis: identical numbers.
    np.testing.assert_array_equal(results["sweep"].displacement, direct.displacement)
    np.testing.assert_array_equal(results["sweep"].outputs, [[1, 1]])
    assert results["sweep"].quantities == ["displacement"]


def test_ctrl_c_stops_a_long_sweep():
    basis = qvadyn.Basis(np.linspace(1, 1e6, 400), np.eye(400), [[n, 1] for n in range(400)])
    frequencies = np.linspace(1.0, 200.0, 100000)
    timer = threading.Timer(0.1, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        basis.harmonic(frequencies)
    timer.join()
    # The interruption is spent: the next sweep runs.
    assert basis.harmonic([1.0, 2.0]).frequency.tolist() == [1.0, 2.0]


def test_help_documents_every_public_name():
    for name in qvadyn.__all__:
        assert getattr(qvadyn, name).__doc__, name
    for method in ("open", "save", "harmonic", "transient", "complex_modes", "participation"):
        assert "Returns" in getattr(qvadyn.Basis, method).__doc__ or method in ("open", "save")


def test_random_and_spectrum_against_closed_forms():
    basis = qvadyn.Basis([SDOF_OMEGA**2], [[1 / np.sqrt(SDOF_MASS)]], [[1, 1]],
                         nodes=[[1, 0.0, 0.0, 0.0]], mass=[[SDOF_MASS]])
    f = np.array([1.0, 4.0, 5.0, 6.0, 20.0])
    shake = basis.random(f, damping=ZETA, outputs=[(1, 1)], excitations=[
        qvadyn.RandomExcitation(psd=[[0.5, 3.0], [50.0, 3.0]], loads=[(1, 1, 1.0)])])
    omega = 2 * np.pi * f
    h = 1 / (SDOF_OMEGA**2 - omega**2 + 2j * ZETA * SDOF_OMEGA * omega)
    # S_u = phi^4 |h|^2 S for a force of PSD S on the single DOF: round-off.
    np.testing.assert_allclose(shake.psd["displacement"][:, 0], 3.0 * np.abs(h)**2 / SDOF_MASS**2,
                               rtol=1e-12)
    quake = basis.response_spectrum([qvadyn.Spectrum(1, [ZETA], [[0.1, 3.0], [100.0, 3.0]])],
                                    damping=ZETA, outputs=[(1, 1)])
    # Gamma Sa / omega^2 times phi: Sa / omega^2 whatever the mass (round-off).
    np.testing.assert_allclose(quake.peak["displacement"], [3.0 / SDOF_OMEGA**2], rtol=1e-12)


def test_plot_functions_take_result_objects():
    import matplotlib.pyplot as plt

    from qvadyn import plot

    basis = two_mode()
    frf = basis.harmonic([1.0, 3.0], loads=[(1, 1)], outputs=[(1, 1)])
    drawn = plot.figures(frf) + plot.figures(basis.complex_modes(damping=0.02))
    assert [label for label, _ in drawn] == ["displacement", "modes"]
    assert drawn[0][1].axes[0].get_ylabel() == "|displacement| [m]"  # units of the basis
    for _, figure in drawn:
        plt.close(figure)


@pytest.mark.parametrize("script", ["cantilever_frf.py", "cantilever_transient.py"])
def test_examples_write_their_png(script, tmp_path, monkeypatch):
    import runpy
    import sys

    # Two nodes standing in for the cantilever's mid-span (50) and tip (100).
    qvadyn.Basis(TWO_OMEGA**2, TWO_PHI, [[50, 2], [100, 2]]).save(tmp_path / "beam.h5")
    examples = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "python")
    monkeypatch.chdir(tmp_path)
    monkeypatch.setattr(sys, "argv", [script, str(tmp_path / "beam.h5")])
    runpy.run_path(os.path.join(examples, script), run_name="__main__")
    png = tmp_path / script.replace(".py", ".png")
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
