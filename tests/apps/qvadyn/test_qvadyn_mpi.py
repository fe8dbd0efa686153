"""qvadyn run over MPI: the results of 2 and 3 processes (and of more
processes than nodes) equal those of one process, dataset for dataset; a bad
input in one process's rows ends every process with its message.

The basis has nodes of 1 to 6 DOFs, so that the blocks of whole nodes are
uneven. Run by CTest in the MPI build: QVADYN=<qvadyn> MPIRUN=<mpirun>
/usr/bin/python3 -m pytest <this file>.
"""
import os
import subprocess

import h5py
import numpy as np
import pytest

QVADYN = os.environ.get("QVADYN", "qvadyn")
MPIRUN = os.environ.get("MPIRUN", "mpirun")
# Node ids and their DOF counts: 23 rows over 7 nodes.
NODES = [(11, 6), (12, 3), (13, 1), (14, 2), (15, 6), (16, 1), (17, 4)]
MODES = 5


def write_basis(path, bad_row=None):
    rng = np.random.default_rng(22)
    dofmap = np.array([(node, c) for node, count in NODES for c in range(1, count + 1)])
    dofs = len(dofmap)
    # A mass matrix with couplings across every block boundary, and the
    # shapes mass-normalized against it.
    mass = np.diag(rng.uniform(1.0, 2.0, dofs))
    mass += np.diag(np.full(dofs - 1, 0.2), 1) + np.diag(np.full(dofs - 1, 0.2), -1)
    phi = np.linalg.qr(rng.standard_normal((dofs, MODES)))[0]
    phi = np.linalg.solve(np.linalg.cholesky(mass).T, phi)
    modes = phi.T.copy()
    if bad_row is not None:
        modes[2, bad_row] = np.nan
    with h5py.File(path, "w") as f:
        f.attrs["format"] = "qvadyn-basis"
        f.attrs["version"] = 1
        f["eigenvalues"] = (2 * np.pi * np.array([3.0, 7.0, 7.5, 20.0, 41.0])) ** 2
        f.create_dataset("modes", data=modes, chunks=(MODES, 4))
        f["dofmap"] = dofmap.astype(np.int64)
        f["nodes/ids"] = np.array([node for node, _ in NODES], dtype=np.int64)
        f["nodes/coordinates"] = rng.uniform(-1.0, 1.0, (len(NODES), 3))
        f["damping/viscous"] = 0.3 * np.eye(MODES) + 0.05
        rows, columns = np.nonzero(mass)
        f["mass/row_start"] = np.searchsorted(rows, np.arange(dofs + 1)).astype(np.int64)
        f["mass/columns"] = columns.astype(np.int64)
        f["mass/values"] = mass[rows, columns]
    return dofmap


JOB = """
basis = "basis.h5"
[damping]
modal = [0.02, 0.03, 0.01, 0.05, 0.02]
rayleigh = [0.1, 1e-5]
projected = ["viscous"]
[[load]]
node = 17
component = 2
scale = 3.0
amplitude = [[0.0, 0.0], [0.05, 1.0], [40.0, 2.0]]
[[load]]
node = 12
component = 1
scale = -1.5
amplitude = 1.0
[[base_acceleration]]
direction = 3
scale = 0.5
amplitude = [[0.0, 1.0], [50.0, 0.5]]
[output]
dofs = [[11, 4], [13, 1], [17, 2], [15, 6]]
quantities = ["displacement", "velocity", "acceleration"]
[analysis.sweep]
type = "harmonic"
range = [1.0, 50.0]
points = 6
field = "all"
[analysis.shock]
type = "transient"
step = 0.002
duration = 0.3
initial_velocity = [0.1, 0.0, -0.2, 0.0, 0.05]
field = [0, 10, 150]
[analysis.complex]
type = "complex_modes"
count = 5
range = [0.0, 100.0]
[analysis.mass]
type = "participation"
reference = [0.1, -0.2, 0.3]
[analysis.quake]
type = "response_spectrum"
combination = "cqc"
directions = "100-40-40"
[[analysis.quake.spectrum]]
direction = 1
damping = [0.02, 0.1]
table = [[1.0, 4.0, 2.0], [100.0, 6.0, 3.0]]
[[analysis.quake.spectrum]]
direction = 3
damping = [0.02, 0.1]
table = [[1.0, 2.0, 1.0], [100.0, 3.0, 2.0]]
"""
RANDOM = """
[analysis.shake]
type = "random"
range = [1.0, 50.0]
[[analysis.shake.excitation]]
psd = [[1.0, 0.5], [50.0, 0.5]]
base_acceleration = [1]
"""


def run(folder, processes, results):
    command = [MPIRUN, "--oversubscribe", "--allow-run-as-root", "-np", str(processes),
               QVADYN, "run", "job.toml", "--quiet", "-o", results]
    # A hang is a failure, not a stuck suite.
    return subprocess.run(command, cwd=folder, capture_output=True, text=True, timeout=120)


@pytest.fixture(scope="module")
def reference(tmp_path_factory):
    folder = tmp_path_factory.mktemp("mpi")
    write_basis(folder / "basis.h5")
    (folder / "job.toml").write_text(JOB)
    result = run(folder, 1, "one.h5")
    assert result.returncode == 0, result.stderr
    return folder


def datasets(group, prefix=""):
    found = {}
    for name, item in group.items():
        if isinstance(item, h5py.Group):
            found.update(datasets(item, prefix + name + "/"))
        else:
            found[prefix + name] = item
    return found


@pytest.mark.parametrize("processes", [2, 3, 12])
def test_results_equal_one_process(reference, processes):
    results = f"np{processes}.h5"
    result = run(reference, processes, results)
    assert result.returncode == 0, result.stderr
    with h5py.File(reference / "one.h5", "r") as one, h5py.File(reference / results, "r") as many:
        expected, actual = datasets(one), datasets(many)
        assert sorted(actual) == sorted(expected)
        assert {"sweep/field/displacement", "shock/field/displacement", "mass/factors",
                "quake/peak/displacement", "view/coordinates"} <= set(expected)
        for name, dataset in expected.items():
            assert actual[name].shape == dataset.shape and actual[name].dtype == dataset.dtype, name
            if dataset.dtype.kind in "fc":
                values = dataset[()]
                # Sums over DOFs completed in another order: round-off only.
                scale = np.max(np.abs(values)) if values.size else 0.0
                np.testing.assert_allclose(actual[name][()], values, rtol=1e-13,
                                           atol=1e-13 * scale, err_msg=name)
            else:
                assert np.array_equal(actual[name][()], dataset[()]), name
        for name in ("sweep", "shock", "complex", "mass", "quake"):
            assert dict(many[name].attrs) == dict(one[name].attrs)
    one_csv = sorted(p.name[len("one"):] for p in reference.glob("one_*.csv"))
    many_csv = sorted(p.name[len(f"np{processes}"):] for p in reference.glob(f"np{processes}_*.csv"))
    # Per output DOF: 3 quantities of the sweep, 1 of the shock; 1 complex modes.
    assert many_csv == one_csv and len(one_csv) == 4 * 3 + 4 + 1
    for suffix in one_csv:
        # CSV values carry ten significant digits.
        np.testing.assert_allclose(
            np.loadtxt(reference / f"np{processes}{suffix}", delimiter=",", skiprows=1),
            np.loadtxt(reference / f"one{suffix}", delimiter=",", skiprows=1), rtol=1e-9,
            atol=1e-12)


    xdmf = (reference / f"np{processes}.xdmf").read_text()
    assert xdmf == (reference / "one.xdmf").read_text().replace("one.h5", f"np{processes}.h5")


def test_random_analysis_is_refused_over_several_processes(tmp_path):
    write_basis(tmp_path / "basis.h5")
    (tmp_path / "job.toml").write_text(JOB + RANDOM)
    result = run(tmp_path, 2, "random.h5")
    assert result.returncode == 1
    assert result.stderr.count("qvadyn: error: ") == 1
    assert "[analysis.shake]: a random analysis runs in one process; run this job without " \
           "mpirun" in result.stderr, result.stderr
    assert not (tmp_path / "random.h5").exists()


# With 3 processes ranks 0, 1 and 2 hold rows 0-8, 9-17 and 18-22. Shapes of
# 16384 modes are read in blocks of 8 rows: ranks 0 and 1 read two, rank 2
# one, and rank 1 meets its NaN in its first.
@pytest.mark.parametrize("bad_row, modes", [(21, MODES), (10, 16384)])
def test_bad_rows_of_one_rank_end_every_process(tmp_path, bad_row, modes):
    write_basis(tmp_path / "basis.h5", bad_row=bad_row)
    if modes != MODES:
        with h5py.File(tmp_path / "basis.h5", "r+") as f:
            phi = np.ones((modes, len(f["dofmap"])))
            phi[2, bad_row] = np.nan
            del f["eigenvalues"], f["modes"], f["damping"]
            f["eigenvalues"], f["modes"] = np.arange(1.0, modes + 1.0), phi
    (tmp_path / "job.toml").write_text(JOB)
    (tmp_path / "bad.h5").write_text("earlier results")
    result = run(tmp_path, 3, "bad.h5")
    message = f"basis.h5: dataset 'modes': entry [2, {bad_row}] is NaN"
    assert result.returncode != 0
    assert result.stderr.count("qvadyn: error: ") == 1 and message in result.stderr, result.stderr
    assert (tmp_path / "bad.h5").read_text() == "earlier results"
    assert sorted(p.name for p in tmp_path.iterdir() if "tmp" in p.name or p.suffix == ".csv") == []
