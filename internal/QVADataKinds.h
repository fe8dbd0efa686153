#pragma once

// The data kinds of the model database by name: each is the pair
// (kind, subkind) that CoreFragmentTypeIndex turns into the type index that
// collections, distributions and data records carry.
//
//   database.CreateDistribution(owner, QVATypeIndex(QVADataKinds::kModeShapes), ...);
//   // the same as CoreFragmentTypeIndex(6, 7)

#include "platform/modeldb/QVASimKinds.h"

struct QVADataKind {
  int kind;
  int subkind;
};

// The database's type index of `dataKind`.
inline int QVATypeIndex(QVADataKind dataKind) {
  return CoreFragmentTypeIndex(dataKind.kind, dataKind.subkind);
}

namespace QVADataKinds {
// Collections.
inline constexpr QVADataKind kNodes{30, 1};
inline constexpr QVADataKind kModes{30, 3};
inline constexpr QVADataKind kFrames{30, 15};
inline constexpr QVADataKind kDofs{30, 60};
inline constexpr QVADataKind kLoadCases{6, 14};
inline constexpr QVADataKind kComplexNumberPart{7, 4};
inline constexpr QVADataKind kDofTypes{21, 3};
inline constexpr QVADataKind kDofPlaces{21, 4};

// Model objects.
inline constexpr QVADataKind kModalSystem{40, 1};
inline constexpr QVADataKind kModalEventResults{40, 2};
inline constexpr QVADataKind kFrequencyTask{40, 3};

// Distributions.
inline constexpr QVADataKind kNodalResults{6, 5};      // U, V, A, reaction forces
inline constexpr QVADataKind kModeShapes{6, 7};        // DOFs x modes
inline constexpr QVADataKind kPhysicalHistory{6, 8};   // DOFs x frames
inline constexpr QVADataKind kEigenvalues{6, 15};      // modes
inline constexpr QVADataKind kParticipation{6, 16};    // factors and effective masses
inline constexpr QVADataKind kModalAmplitudes{6, 17};  // harmonic modal amplitudes
inline constexpr QVADataKind kGeneralizedMass{6, 19};  // modes
inline constexpr QVADataKind kProjectedMatrix{6, 20};  // modes x modes (damping, coupling)
inline constexpr QVADataKind kModeFrameGrid{6, 21};    // per-mode energies, modes x frames
inline constexpr QVADataKind kModalHistory{6, 22};     // modes x frames
inline constexpr QVADataKind kSparseCoupling{30, 4};   // acoustic DOFs x modes, sparse

// Data records of load cases: the case, its name, and the association
// between them.
inline constexpr QVADataKind kLoadCaseRecord{19, 0};
inline constexpr QVADataKind kLoadCaseName{23, 1};
inline constexpr QVADataKind kNameAssociation{17, 5};
}  // namespace QVADataKinds
