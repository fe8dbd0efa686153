"""End-to-end jobs of qvadyn on small bases with closed-form answers.

Each test writes a basis (numpy arrays through `qvadyn import npy`, or an
HDF5 basis file written with h5py as a user would), a job file, runs
`qvadyn run`, and reads the results file back with h5py.
Run by CTest: QVADYN=<path of qvadyn> /usr/bin/python3 -m pytest <this file>.
"""
import os
import subprocess

import h5py
import numpy as np
import pytest

QVADYN = os.environ.get("QVADYN", "qvadyn")


def run(*arguments, cwd):
    return subprocess.run([QVADYN, *arguments], cwd=cwd, capture_output=True, text=True)


def write_npy_basis(folder, eigenvalues, modes, dofmap, nodes=None):
    os.makedirs(folder, exist_ok=True)
    np.save(os.path.join(folder, "eigenvalues.npy"), np.asarray(eigenvalues, dtype=float))
    np.save(os.path.join(folder, "modes.npy"), np.asarray(modes, dtype=float))
    np.save(os.path.join(folder, "dofmap.npy"), np.asarray(dofmap, dtype=np.int64))
    if nodes is not None:
        np.save(os.path.join(folder, "nodes.npy"), np.asarray(nodes, dtype=float))


def run_job(tmp_path, text, name="job"):
    (tmp_path / f"{name}.toml").write_text(text)
    result = run("run", f"{name}.toml", "--quiet", cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    return h5py.File(tmp_path / f"{name}_results.h5", "r")


# SDOF: mass 4 kg (phi = 1/sqrt(m) = 0.5), 10 Hz, load on node 7 along x.
MASS = 4.0
OMEGA = 2 * np.pi * 10.0
STIFFNESS = MASS * OMEGA**2


@pytest.fixture
def sdof(tmp_path):
    write_npy_basis(tmp_path / "sdof", [OMEGA**2], [[0.5]], [[7, 1]], [[7, 0, 0, 0]])
    result = run("import", "npy", "sdof", "-o", "sdof.h5", cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    return tmp_path


SDOF_JOB = """
basis = "sdof.h5"
[damping]
modal = {zeta}
[[load]]
node = 7
component = 1
scale = {force}
amplitude = {amplitude}
[output]
dofs = [[7, 1]]
quantities = ["displacement", "velocity", "acceleration"]
"""


def test_sdof_harmonic_frf_matches_closed_form(sdof):
    zeta, force = 0.05, 3.0
    job = SDOF_JOB.format(zeta=zeta, force=force, amplitude=1.0) + """
[analysis.sweep]
type = "harmonic"
range = [2.0, 30.0]
points = 7
"""
    with run_job(sdof, job) as results:
        sweep = results["sweep"]
        assert sweep.attrs["type"] == "harmonic"
        f = sweep["frequency"][:]
        # The natural frequency is one of the clustered points, ends included.
        assert np.isclose(f, 10.0, rtol=1e-12).any() and f[0] == 2.0 and f[-1] == 30.0
        w = 2 * np.pi * f
        u = force / (STIFFNESS - MASS * w**2 + 2j * zeta * MASS * OMEGA * w)
        # Closed form and solver differ by round-off of one complex division.
        np.testing.assert_allclose(sweep["displacement"][:, 0], u, rtol=1e-10)
        np.testing.assert_allclose(sweep["velocity"][:, 0], 1j * w * u, rtol=1e-10)
        np.testing.assert_allclose(sweep["acceleration"][:, 0], -(w**2) * u, rtol=1e-10)
        np.testing.assert_allclose(sweep["modal_amplitudes"][:, 0], u / 0.5, rtol=1e-10)
        assert list(sweep["outputs/node"]) == [7] and list(sweep["outputs/component"]) == [1]
    csv = np.loadtxt(sdof / "job_results_sweep_7_1_displacement.csv", delimiter=",", skiprows=1)
    # CSV holds 10 significant digits.
    np.testing.assert_allclose(csv[:, 3], np.abs(u), rtol=1e-9)
    np.testing.assert_allclose(csv[:, 4], np.degrees(np.angle(u)), atol=1e-7)


def test_sdof_transient_ramp_and_step_match_closed_forms(sdof):
    ramp_time, step, force = 0.03, 1e-3, 2.0
    ramp = SDOF_JOB.format(zeta=0.0, force=force,
                           amplitude=f"[[0.0, 0.0], [{ramp_time}, 1.0]]") + f"""
[analysis.ramp]
type = "transient"
step = {step}
duration = 0.2
"""
    with run_job(sdof, ramp, "ramp") as results:
        t = results["ramp/time"][:]
        u = results["ramp/displacement"][:, 0]
        static = force / STIFFNESS
        during = static * (t / ramp_time - np.sin(OMEGA * t) / (OMEGA * ramp_time))
        after = static * (1 - (np.sin(OMEGA * t) - np.sin(OMEGA * (t - ramp_time))) / (OMEGA * ramp_time))
        exact = np.where(t <= ramp_time, during, after)
        # Exact integration of a piecewise-linear load: round-off only.
        np.testing.assert_allclose(u, exact, atol=1e-9 * static)
        # Undamped under a held load: kinetic + strain - F u stays constant.
        energy = results["ramp/energy/kinetic"][:] + results["ramp/energy/strain"][:] - force * u
        held = energy[t > ramp_time]
        np.testing.assert_allclose(held, held[0], atol=1e-9 * force * static)

    zeta = 0.02
    step_job = SDOF_JOB.format(zeta=zeta, force=force, amplitude=1.0) + f"""
[analysis.step]
type = "transient"
times = {list(np.round(np.linspace(0.0, 0.3, 301), 12))}
"""
    with run_job(sdof, step_job, "step") as results:
        t = results["step/time"][:]
        u = results["step/displacement"][:, 0]
        a = results["step/acceleration"][:, 0]
        wd = OMEGA * np.sqrt(1 - zeta**2)
        decay = np.exp(-zeta * OMEGA * t)
        exact = static * (1 - decay * (np.cos(wd * t) + zeta / np.sqrt(1 - zeta**2) * np.sin(wd * t)))
        np.testing.assert_allclose(u, exact, atol=1e-9 * static)
        # m a = F - c v - k u holds at every frame, to round-off of the exact integrator.
        v = results["step/velocity"][:, 0]
        np.testing.assert_allclose(MASS * a, force - 2 * zeta * MASS * OMEGA * v - STIFFNESS * u,
                                   atol=1e-9 * force)


# Two DOFs in a chain (ground-k1-m1-k2-m2), modes from numpy's eigensolver.
M = np.diag([2.0, 1.0])
K = np.array([[3000.0, -1000.0], [-1000.0, 1000.0]])


def two_mode_basis(tmp_path, with_mass):
    lam, phi = np.linalg.eigh(np.linalg.solve(np.sqrt(M), np.linalg.solve(np.sqrt(M), K).T))
    phi = np.linalg.solve(np.sqrt(M), phi)  # mass-normalized: phi^T M phi = I
    with h5py.File(tmp_path / "two.h5", "w") as f:
        f.attrs["format"] = "qvadyn-basis"
        f.attrs["version"] = 1
        f.attrs["units"] = "N, m, s"
        f["eigenvalues"] = lam
        f["modes"] = phi.T
        f["dofmap"] = np.array([[1, 2], [2, 2]])
        f["nodes/ids"] = np.array([1, 2])
        f["nodes/coordinates"] = np.array([[1.0, 0, 0], [2.0, 0, 0]])
        if with_mass:
            f["mass/row_start"] = np.array([0, 1, 2])
            f["mass/columns"] = np.array([0, 1])
            f["mass/values"] = np.diag(M)
    return lam, phi


def test_two_mode_harmonic_matches_direct_solve(tmp_path):
    """Rayleigh and structural damping, a nodal force with a table amplitude
    and a base acceleration with a CSV amplitude, full field at every frame."""
    lam, phi = two_mode_basis(tmp_path, with_mass=True)
    alpha, beta, g = 0.5, 2e-4, 0.01
    (tmp_path / "base.csv").write_text("frequency,g\n0.0,2.0\n20.0,0.0\n")
    job = f"""
basis = "two.h5"
[damping]
rayleigh = [{alpha}, {beta}]
structural = {g}
[[load]]
name = "force"
node = 2
component = 2
amplitude = [[0.0, 1.0], [20.0, 3.0]]
[[base_acceleration]]
name = "shake"
direction = 2
scale = 9.81
amplitude = "base.csv"
[output]
dofs = [[1, 2], [2, 2]]
[analysis.sweep]
type = "harmonic"
loads = ["force"]
frequencies = [0.5, 3.0, 5.0, 8.0, 12.0, 19.0]
field = "all"
[analysis.shake]
type = "harmonic"
loads = ["shake"]
frequencies = [0.5, 3.0, 5.0, 8.0, 12.0, 19.0]
"""
    with run_job(tmp_path, job) as results:
        f = results["sweep/frequency"][:]
        force = results["sweep/displacement"][:]
        field = results["sweep/field/displacement"][:]
        shake = results["shake/displacement"][:]
    C = alpha * M + beta * K
    for j, frequency in enumerate(f):
        w = 2 * np.pi * frequency
        dynamic = K * (1 + 1j * g) - w**2 * M + 1j * w * C
        load = np.array([0.0, 1.0 + 2.0 * frequency / 20.0])
        # Both sides are solves of well-conditioned 2 x 2 systems.
        np.testing.assert_allclose(force[j], np.linalg.solve(dynamic, load), rtol=1e-9)
        np.testing.assert_allclose(field[j], force[j], rtol=0, atol=0)
        base = 9.81 * 2.0 * (1 - frequency / 20.0)
        relative = np.linalg.solve(dynamic, -M @ np.ones(2) * base)
        np.testing.assert_allclose(shake[j], relative, rtol=1e-9)


def test_two_mode_complex_modes_of_proportional_damping(tmp_path):
    lam, phi = two_mode_basis(tmp_path, with_mass=False)
    alpha, beta = 0.8, 1e-3
    job = f"""
basis = "two.h5"
[damping]
rayleigh = [{alpha}, {beta}]
[analysis.modes]
type = "complex_modes"
count = 2
"""
    with run_job(tmp_path, job) as results:
        modes = results["modes"]
        assert modes.attrs["type"] == "complex_modes"
        w = np.sqrt(lam)
        zeta = alpha / (2 * w) + beta * w / 2
        expected = -zeta * w + 1j * w * np.sqrt(1 - zeta**2)
        # dgeev on a 4 x 4 state matrix: round-off relative to omega.
        np.testing.assert_allclose(modes["eigenvalues"][:], expected, rtol=1e-10)
        np.testing.assert_allclose(modes["frequency"][:], w / (2 * np.pi), rtol=1e-10)
        np.testing.assert_allclose(modes["damping_ratio"][:], zeta, rtol=1e-9)
        # Proportional damping keeps the real modes: each shape is one mode
        # (largest component 1), the other entry zero to round-off.
        shapes = np.abs(modes["shapes"][:])
        np.testing.assert_allclose(shapes, np.eye(2), atol=1e-10)


def test_two_mode_initial_velocity_and_participation(tmp_path):
    lam, phi = two_mode_basis(tmp_path, with_mass=True)
    info = run("info", "two.h5", cwd=tmp_path)
    assert info.returncode == 0 and "  DOFs        2\n  nodes       2 with DOFs" in info.stdout
    # numpy's mass-normalized modes: Phi^T M Phi = I to round-off.
    error = float(info.stdout.split("max |Phi^T M Phi - I| = ")[1])
    assert error < 1e-14
    # A wrong mass matrix shows in the check: M + diag(1, 0) adds the outer
    # product of the first row of Phi (printed to 6 digits).
    with h5py.File(tmp_path / "two.h5", "r+") as f:
        f["mass/values"][0] = 3.0
    error = float(run("info", "two.h5", cwd=tmp_path).stdout.split("max |Phi^T M Phi - I| = ")[1])
    assert error == pytest.approx(np.max(phi[0] ** 2), rel=1e-5)
    with h5py.File(tmp_path / "two.h5", "r+") as f:
        f["mass/values"][0] = 2.0
    job = """
basis = "two.h5"
[output]
dofs = [[2, 2]]
[analysis.free]
type = "transient"
step = 0.002
duration = 0.5
initial_velocity = [0.3, -0.1]
[analysis.gamma]
type = "participation"
"""
    with run_job(tmp_path, job) as results:
        t = results["free/time"][:]
        w = np.sqrt(lam)
        q = np.array([0.3, -0.1])[None, :] / w * np.sin(np.outer(t, w))
        # Free vibration integrated exactly: round-off of amplitudes near 1e-2.
        np.testing.assert_allclose(results["free/modal_displacement"][:], q, atol=1e-12)
        np.testing.assert_allclose(results["free/displacement"][:, 0], q @ phi[1], atol=1e-12)
        gamma = results["gamma/factors"][:]
        # Gamma = Phi^T M r, r the unit translation along y: sums of two products.
        np.testing.assert_allclose(gamma[:, 1], phi.T @ M @ np.ones(2), rtol=1e-12)
        np.testing.assert_allclose(gamma[:, [0, 2]], 0.0, atol=0.0)
        # All modes present: the effective masses add up to the total mass.
        assert results["gamma/total_mass"][1] == pytest.approx(3.0, rel=1e-14)
        assert results["gamma/effective_mass"][:, 1].sum() == pytest.approx(3.0, rel=1e-12)


def test_usage_error_and_failed_run_exit_codes(sdof):
    assert run("run", cwd=sdof).returncode == 2
    assert run("frobnicate", cwd=sdof).returncode == 2
    (sdof / "bad.toml").write_text('basis = "missing.h5"\n[analysis.a]\ntype = "harmonic"\nfrequencies = [1.0]\n')
    result = run("run", "bad.toml", cwd=sdof)
    assert result.returncode == 1
    assert result.stderr == "qvadyn: error: missing.h5: cannot open the file\n"
    (sdof / "job.toml").write_text(SDOF_JOB.format(zeta=0.0, force=1.0, amplitude=1.0) +
                                   '[analysis.a]\ntype = "harmonic"\nfrequencies = [1.0]\n')
    for target, what in (("sdof.h5", "basis file"), ("job.toml", "job file")):
        result = run("run", "job.toml", "-o", target, cwd=sdof)
        assert (result.returncode, result.stderr) == (
            1, f"qvadyn: error: {target}: the results file would replace the {what}\n")


def test_npy_import_refuses_mismatched_shapes(tmp_path):
    write_npy_basis(tmp_path / "bad", [100.0, 400.0], [[1.0], [2.0]], [[1, 1], [1, 2]])
    result = run("import", "npy", "bad", "-o", "bad.h5", cwd=tmp_path)
    assert result.returncode == 1
    assert result.stderr == ("qvadyn: error: bad/modes.npy: shape (2, 1), expected (2, 2): "
                             "rows of dofmap.npy x entries of eigenvalues.npy\n")
    assert not (tmp_path / "bad.h5").exists()


def test_progress_line_on_a_terminal_only_and_log_beside_results(sdof):
    import pty
    (sdof / "job.toml").write_text(SDOF_JOB.format(zeta=0.02, force=1.0, amplitude=1.0) + """
[analysis.ring]
type = "transient"
step = 1e-4
duration = 1.0
""")
    leader, follower = pty.openpty()
    result = subprocess.run([QVADYN, "run", "job.toml"], cwd=sdof, stdout=subprocess.PIPE,
                            stderr=follower, text=True)
    os.close(follower)
    line = os.read(leader, 65536).decode()
    os.close(leader)
    assert result.returncode == 0
    assert "ring: " in line and "10001/10001 frames solved" in line
    assert result.stdout.startswith("Job job.toml\n") and "[ring] transient: 10001 times" in result.stdout
    assert "\n  log   job_results.log\n" in result.stdout
    assert "Solve" in (sdof / "job_results.log").read_text()
    # Not a terminal: no progress line, and --quiet prints nothing.
    quiet = run("run", "job.toml", "--quiet", cwd=sdof)
    assert quiet.returncode == 0 and quiet.stdout == "" and quiet.stderr == ""


def test_ctrl_c_leaves_earlier_results_untouched(sdof):
    import signal
    import time
    sweep = SDOF_JOB.format(zeta=0.02, force=1.0, amplitude=1.0) + """
[analysis.sweep]
type = "harmonic"
range = [1.0, 20.0]
points = {points}
"""
    (sdof / "short.toml").write_text(sweep.format(points=5))
    (sdof / "long.toml").write_text(sweep.format(points=400000))  # 800,000 frequencies, seconds
    assert run("run", "short.toml", "-o", "r.h5", "--quiet", cwd=sdof).returncode == 0
    before = (sdof / "r.h5").read_bytes()
    files = sorted(os.listdir(sdof))
    process = subprocess.Popen([QVADYN, "run", "long.toml", "-o", "r.h5", "--quiet"], cwd=sdof,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    time.sleep(0.5)
    process.send_signal(signal.SIGINT)
    _, stderr = process.communicate(timeout=60)
    assert process.returncode == 1
    assert stderr == "qvadyn: error: interrupted; no results written\n"
    assert (sdof / "r.h5").read_bytes() == before
    assert sorted(os.listdir(sdof)) == files
