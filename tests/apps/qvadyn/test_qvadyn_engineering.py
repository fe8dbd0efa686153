"""End-to-end tests of qvadyn's engineering pieces, read back as a user would:
CalculiX import, random and response-spectrum jobs against closed forms, the
XDMF beside the results file, and `qvadyn plot`.
Run by CTest: QVADYN=<path of qvadyn> /usr/bin/python3 -m pytest <this file>.
"""
import os
import shutil
import subprocess
import xml.etree.ElementTree as ElementTree

import h5py
import numpy as np
import pytest

QVADYN = os.environ.get("QVADYN", "qvadyn")
DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data")


def run(*arguments, cwd):
    return subprocess.run([QVADYN, *arguments], cwd=cwd, capture_output=True, text=True)


def run_job(folder, text, name="job"):
    (folder / f"{name}.toml").write_text(text)
    result = run("run", f"{name}.toml", "--quiet", cwd=folder)
    assert result.returncode == 0, result.stderr
    return folder / f"{name}_results.h5"


@pytest.fixture
def block(tmp_path):
    """The CalculiX cantilever block imported through its .eig and deck."""
    for suffix in ("eig", "inp", "frd"):
        shutil.copy(os.path.join(DATA, f"cantilever_block.{suffix}"), tmp_path)
    shutil.copy(os.path.join(DATA, "cantilever_block_binary.frd"), tmp_path)
    result = run("import", "calculix", "cantilever_block.eig", "-o", "block.h5", "--units",
                 "N, m, s", cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    return tmp_path


def test_calculix_bases_as_a_user_reads_them(block):
    with h5py.File(block / "block.h5", "r") as basis:
        assert basis.attrs["source"] == "calculix-eig"
        phi = basis["modes"][:].T
        n = phi.shape[0]
        rows = np.repeat(np.arange(n), np.diff(basis["mass/row_start"][:]))
        mass = np.zeros((n, n))
        mass[rows, basis["mass/columns"][:]] = basis["mass/values"][:]
        # Full-precision modes, mass matrix rebuilt from the deck: round-off.
        assert np.abs(phi.T @ mass @ phi - np.eye(phi.shape[1])).max() < 1e-12
        eigenvalues = basis["eigenvalues"][:]
    for frd, note in (("cantilever_block.frd", "six significant digits"),
                      ("cantilever_block_binary.frd", "single-precision")):
        result = run("import", "calculix", frd, "-o", "frd.h5", cwd=block)
        assert result.returncode == 0, result.stderr
        info = run("info", "frd.h5", cwd=block)
        assert note in info.stdout
        with h5py.File(block / "frd.h5", "r") as basis:
            # Frequencies printed with ten digits.
            np.testing.assert_allclose(basis["eigenvalues"][:], eigenvalues, rtol=1e-8)
    refused = run("import", "calculix", "cantilever_block.eig", "--deck", "missing.inp", "-o",
                  "x.h5", cwd=block)
    assert refused.returncode == 1
    assert "missing.inp: cannot open the CalculiX input deck" in refused.stderr
    assert not (block / "x.h5").exists()


# SDOF: 4 kg at node 7 along x (phi = 0.5, Gamma = phi m = 2), 10 Hz, Q = 10.
F0, Q, MASS = 10.0, 10.0, 4.0
OMEGA0 = 2 * np.pi * F0


@pytest.fixture
def sdof(tmp_path):
    with h5py.File(tmp_path / "sdof.h5", "w") as basis:
        basis.attrs["format"] = "qvadyn-basis"
        basis.attrs["version"] = 1
        basis.attrs["units"] = "N, m, s"
        basis["eigenvalues"] = [OMEGA0**2]
        basis["modes"] = [[1 / np.sqrt(MASS)]]
        basis["dofmap"] = np.array([[7, 1]], dtype=np.int64)
        basis["nodes/ids"] = np.array([7], dtype=np.int64)
        basis["nodes/coordinates"] = [[0.0, 0.0, 0.0]]
        basis["mass/row_start"] = np.array([0, 1], dtype=np.int64)
        basis["mass/columns"] = np.array([0], dtype=np.int64)
        basis["mass/values"] = [MASS]
    return tmp_path


def test_random_base_excited_sdof_under_white_noise(sdof):
    psd = 0.04
    path = run_job(sdof, f"""
basis = "sdof.h5"
[damping]
modal = {1 / (2 * Q)}
[output]
dofs = [[7, 1]]
quantities = ["displacement", "acceleration"]
[analysis.shake]
type = "random"
range = [0.01, 1000.0]
points = 4000
[[analysis.shake.excitation]]
psd = [[0.001, {psd}], [2000.0, {psd}]]
base_acceleration = [1]
""")
    with h5py.File(path, "r") as results:
        group = results["shake"]
        assert group.attrs["type"] == "random"
        rms = group["rms/displacement"][0]
        frequency = group["frequency"][:]
        # The pseudo-acceleration omega0^2 u has rms sqrt(pi f0 Q S / 2) over
        # 0..inf; the band misses ~6e-5 of the variance below 0.01 Hz and the
        # trapezoidal rule on the clustered list errs by less than 1e-3.
        assert OMEGA0**2 * rms == pytest.approx(np.sqrt(np.pi * F0 * Q * psd / 2), rel=1e-3)
        np.testing.assert_allclose(group["psd/acceleration"][:, 0],
                                   (2 * np.pi * frequency)**4 * group["psd/displacement"][:, 0],
                                   rtol=1e-12)
    assert (sdof / "job_results_shake_7_1.csv").exists()


def test_response_spectrum_of_one_mode(sdof):
    path = run_job(sdof, """
basis = "sdof.h5"
[damping]
modal = 0.05
[output]
dofs = [[7, 1]]
quantities = ["displacement", "acceleration"]
[analysis.quake]
type = "response_spectrum"
combination = "srss"
[[analysis.quake.spectrum]]
direction = 1
damping = [0.02, 0.1]
table = [[1.0, 4.0, 2.0], [100.0, 4.0, 2.0]]
""")
    with h5py.File(path, "r") as results:
        group = results["quake"]
        # Sa at zeta = 0.05: 4 + (0.03 / 0.08) (2 - 4) = 3.25; u = phi Gamma Sa / omega^2.
        sa = 3.25
        assert group["modal_peak"][0, 0] == pytest.approx(2 * sa / OMEGA0**2, rel=1e-12)
        assert group["peak/displacement"][0] == pytest.approx(sa / OMEGA0**2, rel=1e-12)
        assert group["peak/acceleration"][0] == pytest.approx(sa, rel=1e-12)
        assert group.attrs["combination"] == "srss"


def test_job_file_refusals_name_the_place(sdof):
    (sdof / "bad.toml").write_text("""basis = "sdof.h5"
[analysis.shake]
type = "random"
range = [1.0, 100.0]
[[analysis.shake.excitation]]
psd = [[10.0, 0.01], [100.0, 0.0]]
base_acceleration = [1]
""")
    result = run("run", "bad.toml", cwd=sdof)
    assert result.returncode == 1
    assert ("bad.toml:6:7: 'psd' in [[analysis.shake.excitation]]: row 2: value 0.000000 is "
            "not positive") in result.stderr
    (sdof / "bad.toml").write_text("""basis = "sdof.h5"
[analysis.shake]
type = "random"
range = [1.0, 100.0]
[[analysis.shake.excitation]]
psd = [[10.0, 0.01], [100.0, 0.01]]
loads = [[1, 1, 1.0]]
velocity = [10.0, 0.0, 0.0]
""")
    result = run("run", "bad.toml", cwd=sdof)
    assert ("bad.toml:8:12: 'velocity' in [[analysis.shake.excitation]]: only a convected field "
            "(correlation = \"convected\") moves with a velocity") in result.stderr, result.stderr
    (sdof / "bad.toml").write_text("""basis = "sdof.h5"
[analysis.quake]
type = "response_spectrum"
combination = "cqq"
""")
    result = run("run", "bad.toml", cwd=sdof)
    assert "bad.toml:4:15: 'combination' in [analysis.quake]: unknown rule 'cqq' (did you mean " \
           "'cqc'?)" in result.stderr


def test_xdmf_names_datasets_that_exist_with_their_shapes(block):
    path = run_job(block, """
basis = "block.h5"
[damping]
modal = 0.02
[[load]]
node = 81
component = 3
[output]
dofs = [[81, 3]]
[analysis.sweep]
type = "harmonic"
frequencies = [200.0, 271.0, 300.0]
field = [0, 2]
[analysis.shock]
type = "transient"
step = 1e-4
duration = 0.002
field = "all"
""")
    xdmf = path.with_suffix(".xdmf")
    tree = ElementTree.parse(xdmf)
    items = tree.findall(".//DataItem")
    assert len(items) > 30
    with h5py.File(path, "r") as results, h5py.File(block / "block.h5", "r") as basis:
        for item in items:
            file_name, dataset = item.text.strip().split(":")
            assert file_name == path.name
            shape = tuple(int(n) for n in item.get("Dimensions").split())
            assert results[dataset].shape == shape, dataset
            assert results[dataset].dtype.kind == ("i" if item.get("NumberType") == "Int" else "f")
        # The mixed topology holds the declared number of hexahedra (code 9, 8 points).
        topology = tree.find(".//Topology")
        assert topology.get("TopologyType") == "Mixed"
        cells = results["view/topology"][:].reshape(-1, 9)
        assert cells.shape[0] == int(topology.get("NumberOfElements"))
        assert (cells[:, 0] == 9).all()
        # Mode 1 at node 81 along z, and the transient's last frame, at the
        # view's point of node 81's coordinates.
        xyz = basis["nodes/coordinates"][list(basis["nodes/ids"][:]).index(81)]
        [point] = np.flatnonzero((results["view/coordinates"][:] == xyz).all(axis=1))
        row = [tuple(r) for r in basis["dofmap"][:]].index((81, 3))
        assert results["view/modes/mode_1"][point, 2] == basis["modes"][0, row]
        frames = len(results["shock/time"])
        assert results[f"view/shock/frame_{frames - 1}/displacement"][point, 2] == \
            results["shock/field/displacement"][-1, row]
        assert results["view/sweep/frame_1/magnitude"][point, 2] == \
            abs(results["sweep/field/displacement"][1, row])
    temporal = [grid for grid in tree.findall(".//Grid") if grid.get("CollectionType") == "Temporal"]
    assert [grid.get("Name") for grid in temporal] == ["sweep", "shock"]


@pytest.mark.skipif(shutil.which("pvpython") is None, reason="ParaView (pvpython) not installed")
def test_paraview_opens_the_xdmf(block):
    path = run_job(block, """
basis = "block.h5"
[analysis.mass]
type = "participation"
""")
    script = block / "open.py"
    script.write_text(f"""
from paraview.simple import XDMFReader
reader = XDMFReader(FileNames=[{str(path.with_suffix('.xdmf'))!r}])
reader.UpdatePipeline()
info = reader.GetDataInformation()
print(info.GetNumberOfPoints(), info.GetNumberOfCells(), len(reader.PointData.keys()))
""")
    result = subprocess.run(["pvpython", str(script)], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split()[-3:] == ["81", "32", "10"]


def test_plot_writes_labelled_figures(sdof):
    path = run_job(sdof, """
basis = "sdof.h5"
[damping]
modal = 0.05
[[load]]
node = 7
component = 1
[output]
dofs = [[7, 1]]
[analysis.sweep]
type = "harmonic"
range = [1.0, 20.0]
[analysis.shake]
type = "random"
range = [1.0, 100.0]
[[analysis.shake.excitation]]
psd = [[1.0, 1.0], [100.0, 1.0]]
loads = [[7, 1, 1.0]]
[analysis.mass]
type = "participation"
""")
    result = run("plot", path.name, "-o", "figures", cwd=sdof)
    assert result.returncode == 0, result.stderr
    written = sorted(os.listdir(sdof / "figures"))
    assert written == ["job_results_mass_effective_mass.png", "job_results_shake_displacement.png",
                       "job_results_sweep_displacement.png"]
    for name in written:
        assert (sdof / "figures" / name).read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    missing = run("plot", path.name, "nothing", cwd=sdof)
    assert missing.returncode == 1
    assert "no analysis 'nothing'" in missing.stderr
