// CalculiX import: the .eig and .frd (ASCII, binary) routes on one cantilever
// block (8 x 2 x 2 C3D8, fixed at x = 0, 10 modes, run by CalculiX 2.20), and
// the decks the .eig route refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "CalculixImport.h"
#include "Error.h"

namespace {

const std::filesystem::path kData = QVA_APP_TEST_DATA;

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream stream(path);
  std::stringstream text;
  text << stream.rdbuf();
  return text.str();
}

TEST(CalculixImport, EigModesAreMassOrthonormal) {
  const qvadyn::Basis basis =
      qvadyn::ImportCalculixEig(kData / "cantilever_block.eig", kData / "cantilever_block.inp");
  // 81 nodes, 9 fixed at x = 0: 72 x 3 equations.
  ASSERT_EQ(basis.NumDofs(), 216);
  ASSERT_EQ(basis.NumModes(), 10);
  EXPECT_EQ(basis.dofNodes.front(), 2);  // node 1 is fixed
  EXPECT_EQ(basis.nodeIds.size(), 81u);
  EXPECT_EQ(basis.elementTypes.size(), 32u);
  EXPECT_EQ(basis.source, "calculix-eig");
  const auto& mass = basis.mass;
  const auto n = basis.NumDofs();
  for (int i = 0; i < basis.NumModes(); ++i) {
    for (int j = 0; j < basis.NumModes(); ++j) {
      const double* phiI = basis.modes.data() + i * n;
      const double* phiJ = basis.modes.data() + j * n;
      double product = 0.0;
      for (std::int64_t row = 0; row < n; ++row) {
        for (auto k = mass.rowStart[row]; k < mass.rowStart[row + 1]; ++k) {
          product += phiI[row] * mass.values[k] * phiJ[mass.columns[k]];
        }
      }
      // Full-precision modes of a 216-equation problem: orthonormal to round-off.
      EXPECT_NEAR(product, i == j ? 1.0 : 0.0, 1e-12) << "modes " << i << ", " << j;
    }
  }
  // Both triangles stored: M is symmetric entry by entry.
  std::map<std::pair<std::int64_t, std::int64_t>, double> entries;
  for (std::int64_t row = 0; row < n; ++row) {
    for (auto k = mass.rowStart[row]; k < mass.rowStart[row + 1]; ++k) {
      entries[{row, mass.columns[k]}] = mass.values[k];
    }
  }
  for (const auto& [at, value] : entries) {
    EXPECT_EQ(entries.at({at.second, at.first}), value);
  }
}

TEST(CalculixImport, FrdRoutesMatchTheEigToTheirPrecision) {
  const qvadyn::Basis eig =
      qvadyn::ImportCalculixEig(kData / "cantilever_block.eig", kData / "cantilever_block.inp");
  struct Case {
    const char* file;
    double relativeTolerance;
    const char* source;
  };
  // ASCII E12.5 rounds to six significant digits: error <= 5e-6 of the value.
  // Binary values are floats: error <= 2^-24 of the value. Values below 1e-30
  // (round-off of zero DOFs) are written as zero.
  const Case cases[] = {
      {"cantilever_block.frd", 5.0e-6, "six significant digits"},
      {"cantilever_block_binary.frd", 6.0e-8, "single-precision"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const qvadyn::Basis frd = qvadyn::ImportCalculixFrd(kData / c.file);
    ASSERT_EQ(frd.NumModes(), eig.NumModes());
    ASSERT_EQ(frd.NumDofs(), 243);  // every node, fixed ones included
    EXPECT_NE(frd.source.find(c.source), std::string::npos) << frd.source;
    EXPECT_EQ(frd.nodeIds.size(), 81u);
    EXPECT_EQ(frd.elementNodes, eig.elementNodes);
    EXPECT_EQ(frd.elementTypes, eig.elementTypes);
    for (int k = 0; k < eig.NumModes(); ++k) {
      // The frequency is printed with ten digits.
      EXPECT_NEAR(frd.eigenvalues[k] / eig.eigenvalues[k], 1.0, 1e-8) << "mode " << k;
    }
    std::map<std::pair<std::int64_t, int>, std::int64_t> frdRow;
    for (std::int64_t row = 0; row < frd.NumDofs(); ++row) {
      frdRow[{frd.dofNodes[row], frd.dofComponents[row]}] = row;
    }
    for (int k = 0; k < eig.NumModes(); ++k) {
      for (std::int64_t row = 0; row < eig.NumDofs(); ++row) {
        const double expected = eig.modes[k * eig.NumDofs() + row];
        const double actual =
            frd.modes[k * frd.NumDofs() + frdRow.at({eig.dofNodes[row], eig.dofComponents[row]})];
        ASSERT_NEAR(actual, expected, c.relativeTolerance * std::abs(expected) + 1e-30)
            << "mode " << k << ", node " << eig.dofNodes[row] << "." << eig.dofComponents[row];
      }
      EXPECT_EQ(frd.modes[k * frd.NumDofs() + frdRow.at({1, 2})], 0.0);  // fixed node
    }
  }
}

TEST(CalculixImport, QuadraticSolidsKeepTheDeckNodeOrder) {
  // A C3D20 (nodes continued on a second deck line) and a C3D15, whose last
  // midside groups the .frd stores swapped.
  const qvadyn::Basis eig =
      qvadyn::ImportCalculixEig(kData / "quadratic_pair.eig", kData / "quadratic_pair.inp");
  const qvadyn::Basis frd = qvadyn::ImportCalculixFrd(kData / "quadratic_pair.frd");
  EXPECT_EQ(eig.elementTypes, (std::vector<std::int32_t>{48, 40}));
  EXPECT_EQ(frd.elementNodes, eig.elementNodes);
  EXPECT_EQ(eig.elementNodes[12], 13);  // the deck's 13th node of the brick
  ASSERT_EQ(frd.NumModes(), eig.NumModes());
  for (int k = 0; k < eig.NumModes(); ++k) {
    EXPECT_NEAR(frd.eigenvalues[k] / eig.eigenvalues[k], 1.0, 1e-8);  // ten printed digits
  }
}

TEST(CalculixImport, RefusesWhatTheDeckCannotNumber) {
  const std::string deck = ReadText(kData / "cantilever_block.inp");
  const auto directory = std::filesystem::temp_directory_path() / "qvadyn_calculix_refusals";
  std::filesystem::create_directories(directory);
  struct Case {
    std::string replace;  // text of the deck to replace ...
    std::string with;     // ... by this
    std::string message;  // expected in the error
  };
  const Case cases[] = {
      {"*BOUNDARY", "*EQUATION\n2\n5, 1, 1., 6, 1, -1.\n*BOUNDARY",
       "modified.inp:127: *EQUATION changes CalculiX's equation numbering"},
      {"*BOUNDARY", "*MPC\nPLANE, 5, 6, 7\n*BOUNDARY", "modified.inp:127: *MPC changes"},
      {"*BOUNDARY", "*CYCLIC SYMMETRY MODEL, N=12\n*BOUNDARY",
       "modified.inp:127: *CYCLIC SYMMETRY MODEL changes"},
      {"TYPE=C3D8,", "TYPE=S8R,", "modified.inp:86: *ELEMENT, TYPE=S8R: is a shell"},
      {"TYPE=C3D8,", "TYPE=B32,", "modified.inp:86: *ELEMENT, TYPE=B32: is a beam"},
      {"FIXED, 1, 3", "CLAMPED, 1, 3",
       "modified.inp:128: *BOUNDARY names node set 'CLAMPED', which is not defined"},
      // One more fixed DOF: the file fits 215 equations by size, not by mass.
      {"FIXED, 1, 3", "FIXED, 1, 3\n2, 1", "the deck does not match the file's numbering"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.with);
    std::string text = deck;
    text.replace(text.find(c.replace), c.replace.size(), c.with);
    std::ofstream(directory / "modified.inp") << text;
    try {
      qvadyn::ImportCalculixEig(kData / "cantilever_block.eig", directory / "modified.inp");
      ADD_FAILURE() << "no error";
    } catch (const qvadyn::Error& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
    }
  }
  // A truncated file cannot hold the modes of the deck's 216 equations.
  const std::string eig = ReadText(kData / "cantilever_block.eig");
  std::ofstream(directory / "truncated.eig", std::ios::binary) << eig.substr(0, 50000);
  EXPECT_THROW(
      try {
        qvadyn::ImportCalculixEig(directory / "truncated.eig", kData / "cantilever_block.inp");
      } catch (const qvadyn::Error& error) {
        EXPECT_NE(std::string(error.what()).find("does not fit 10 modes of the 216 equations"),
                  std::string::npos)
            << error.what();
        throw;
      },
      qvadyn::Error);
  std::filesystem::remove_all(directory);
}

}  // namespace
