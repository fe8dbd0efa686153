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


def write_basis(path, bad_row=None, swap_rows=None):
    rng = np.random.default_rng(22)
    dofmap = np.array([(node, c) for node, count in NODES for c in range(1, count + 1)])
    if swap_rows is not None:
        dofmap[list(swap_rows)] = dofmap[list(swap_rows)[::-1]]
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
        # In another order than the DOF map, and node 18 without DOFs: the
        # view's points of each process still form one range.
        f["nodes/ids"] = np.array([18] + [node for node, _ in NODES][::-1], dtype=np.int64)
        f["nodes/coordinates"] = rng.uniform(-1.0, 1.0, (len(NODES) + 1, 3))
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
NODAL = "".join(f"""
[[analysis.shake.excitation]]
psd = [[2.0, 0.1], [40.0, 0.3]]
loads = {loads}
correlation = "{kind}"
{"velocity = [40.0, 10.0, 0.0]" if kind == "convected" else ""}
""" for kind, loads in [  # nodes in every block of 2 and of 3 processes
    ("correlated", [[11, 1, 1.0], [17, 2, -0.5], [14, 2, 0.7]]),
    ("uncorrelated", [[12, 3, 2.0], [15, 6, 1.0], [16, 1, 0.3]]),
    ("convected", [[13, 1, 1.0], [16, 1, 0.8], [11, 5, 0.4]])])
JOB += RANDOM + NODAL


def run(folder, processes, results, job="job.toml"):
    command = [MPIRUN, "--oversubscribe", "--allow-run-as-root", "-np", str(processes),
               QVADYN, "run", job, "--quiet", "-o", results]
    # A hang is a failure, not a stuck suite.
    return subprocess.run(command, cwd=folder, capture_output=True, text=True, timeout=120)


# The job with projected damping couples the modes (every process integrates
# them all); without it each process integrates its share of the modes.
JOBS = {"coupled": JOB, "diagonal": JOB.replace('projected = ["viscous"]\n', "")}


@pytest.fixture(scope="module")
def reference(tmp_path_factory):
    folder = tmp_path_factory.mktemp("mpi")
    write_basis(folder / "basis.h5")
    for name, text in JOBS.items():
        (folder / f"{name}.toml").write_text(text)
        result = run(folder, 1, f"{name}_one.h5", f"{name}.toml")
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


@pytest.mark.parametrize("job,processes", [("coupled", 2), ("coupled", 3), ("coupled", 12),
                                           ("diagonal", 2), ("diagonal", 12)])
def test_results_equal_one_process(reference, job, processes):
    one, many = f"{job}_one", f"{job}_np{processes}"
    result = run(reference, processes, f"{many}.h5", f"{job}.toml")
    assert result.returncode == 0, result.stderr
    with h5py.File(reference / f"{one}.h5", "r") as first, \
            h5py.File(reference / f"{many}.h5", "r") as other:
        expected, actual = datasets(first), datasets(other)
        assert sorted(actual) == sorted(expected)
        assert {"sweep/field/displacement", "shock/field/displacement", "mass/factors",
                "quake/peak/displacement", "shake/psd/displacement",
                "view/coordinates"} <= set(expected)
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
        for name in ("sweep", "shock", "complex", "mass", "quake", "shake"):
            assert dict(other[name].attrs) == dict(first[name].attrs)
    one_csv = sorted(p.name[len(one):] for p in reference.glob(f"{one}_*.csv"))
    many_csv = sorted(p.name[len(many):] for p in reference.glob(f"{many}_*.csv"))
    # Per output DOF: 3 quantities of the sweep, 1 of the shock, 1 of the shake; 1 complex
    # modes.
    assert many_csv == one_csv and len(one_csv) == 4 * 3 + 4 + 4 + 1
    for suffix in one_csv:
        # CSV values carry ten significant digits.
        np.testing.assert_allclose(
            np.loadtxt(reference / f"{many}{suffix}", delimiter=",", skiprows=1),
            np.loadtxt(reference / f"{one}{suffix}", delimiter=",", skiprows=1), rtol=1e-9,
            atol=1e-12)
    xdmf = (reference / f"{many}.xdmf").read_text()
    assert xdmf == (reference / f"{one}.xdmf").read_text().replace(f"{one}.h5", f"{many}.h5")
    if job == "diagonal":
        # Each process integrated its share of the 5 modes (none past the 5th
        # process); its log heads that solve with the share's size.
        for rank in range(processes):
            share = MODES * (rank + 1) // processes - MODES * rank // processes
            log = (reference / (f"{many}.log" if rank == 0 else f"{many}.{rank}.log")).read_text()
            assert (f"Number of active modal degrees of freedom:  {share}\n" in log) == \
                (share > 0), rank


def test_random_base_motion_alone_and_a_missing_load_dof(tmp_path):
    write_basis(tmp_path / "basis.h5")
    job = JOB[:JOB.index("[[load]]")] + "[output]\ndofs = [[16, 1]]\n" + RANDOM
    # Base motion alone loads no node; over 2 processes as over one.
    (tmp_path / "job.toml").write_text(job)
    for processes in (1, 2):
        assert run(tmp_path, processes, f"base{processes}.h5").returncode == 0
    with h5py.File(tmp_path / "base1.h5", "r") as one, h5py.File(tmp_path / "base2.h5", "r") as two:
        # Participation factors summed in another order: round-off only.
        np.testing.assert_allclose(two["shake/psd/displacement"][()],
                                   one["shake/psd/displacement"][()], rtol=1e-13)
    # A load on a DOF no process holds (node 17 has 4) is refused by every one alike.
    (tmp_path / "job.toml").write_text(job + NODAL.replace("[14, 2, 0.7]", "[17, 5, 0.7]"))
    result = run(tmp_path, 3, "missing.h5")
    assert result.returncode == 1
    assert result.stderr.count("qvadyn: error: ") == 1
    assert "'loads' in [analysis.shake.excitation]: node 17 component 5: the basis has no such " \
           "DOF" in result.stderr, result.stderr
    assert not (tmp_path / "missing.h5").exists()


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


def test_nodes_with_rows_apart_are_refused_over_several_processes(tmp_path):
    # Rows 5 and 6 swapped: node 11 has rows 0-4 and 6.
    write_basis(tmp_path / "basis.h5", swap_rows=(5, 6))
    (tmp_path / "job.toml").write_text(JOB)
    result = run(tmp_path, 2, "apart.h5")
    assert result.returncode == 1
    assert result.stderr.count("qvadyn: error: ") == 1 and \
        "basis.h5: dataset 'dofmap': the rows of node 11 are not together (rows 4 and 6); a " \
        "run over several processes needs each node's rows one after another" in result.stderr, \
        result.stderr
