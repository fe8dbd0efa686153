// `qvadyn plot`: PNG figures of a results file, drawn by the Python module
// qvadyn.plot (matplotlib, h5py) run with the system's Python.
//
//   qvadyn::PlotResults("out.h5", "sweep", "figures");  // figures/out_sweep_displacement.png
#pragma once

#include <string>

namespace qvadyn {

// Runs `python3 -m qvadyn.plot results [analysis] [-o folder]` without a
// shell. The interpreter is $QVADYN_PYTHON or /usr/bin/python3; the module is
// found in $QVADYN_PYTHONPATH, beside the installed command
// (../share/qvadyn/python) or in the source tree. Throws qvadyn::Error when
// the module is missing or the plotting fails (its message is on stderr).
void PlotResults(const std::string& results, const std::string& analysis,
                 const std::string& folder);

}  // namespace qvadyn
