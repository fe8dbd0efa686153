// Example: the built-in cantilever as a basis file for the qvadyn command.
// The host fills a qvadyn::Basis with the bar's eigenvalues, mode shapes, DOF
// map (node id and component 1..6 of each row), node coordinates, its beam
// elements as two-node polylines for viewing and its mass matrix in
// compressed rows, and writes it as "cantilever.h5" in the working
// directory. `qvadyn run examples/jobs/cantilever.toml` then runs on it.

#include <cmath>
#include <ostream>

#include "BasisFile.h"
#include "QVADynExampleModel.h"
#include "QVADynExamples.h"

void QVADynExampleBasisFile(const QVADynExampleContext& context, const char* fileName) {
  const QVADynExampleModel model;
  qvadyn::Basis basis;
  basis.source = "example";
  basis.units = "N, m, s";
  basis.eigenvalues = model.Eigenvalues();
  basis.modes = model.ModeShapes();
  for (int node = 1; node < model.NumberOfNodes(); ++node) {
    for (int place = 0; place < QVADynExampleModel::kPlaces; ++place) {
      basis.dofNodes.push_back(node);
      basis.dofComponents.push_back(place + 1);
    }
  }
  for (int node = 0; node < model.NumberOfNodes(); ++node) {
    basis.nodeIds.push_back(node);
    basis.nodeCoordinates.insert(basis.nodeCoordinates.end(), model.Coordinates(node),
                                 model.Coordinates(node) + 3);
  }
  constexpr int kPolyline = 2;
  basis.elementOffsets.push_back(0);
  for (int element = 0; element < model.NumberOfElements(); ++element) {
    basis.elementTypes.push_back(kPolyline);
    basis.elementNodes.insert(basis.elementNodes.end(), {element, element + 1});
    basis.elementOffsets.push_back(static_cast<std::int64_t>(basis.elementNodes.size()));
  }
  const int dofs = model.NumberOfDofs();
  basis.mass.rowStart.push_back(0);
  for (int row = 0; row < dofs; ++row) {
    for (int column = 0; column < dofs; ++column) {
      const double value = model.Mass()[static_cast<std::size_t>(row + column * dofs)];
      if (value == 0.0) continue;
      basis.mass.columns.push_back(column);
      basis.mass.values.push_back(value);
    }
    basis.mass.rowStart.push_back(static_cast<std::int64_t>(basis.mass.values.size()));
  }
  qvadyn::WriteBasisFile(fileName, basis);
  context.out << "\nBasis file " << fileName << ": " << dofs << " DOFs, " << model.NumberOfModes()
              << " modes, mass matrix of " << basis.mass.values.size()
              << " entries; run it with: qvadyn run examples/jobs/cantilever.toml --basis "
              << fileName << "\n";
}
