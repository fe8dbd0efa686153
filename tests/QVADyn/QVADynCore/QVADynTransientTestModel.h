#pragma once

// A modal system of chosen eigenvalues and projected damping, the operators and
// loads of a transient solve over all its modes, and the frame values of a
// sequence of steps, for the tests of the transient solver.
//
// The model: one node per mode with one DOF; mode k is a unit value at DOF k.
//
//   QVATestTransientModel model({0.0, 4.0, 9.0});          // three modes, no projected damping
//   auto ops = model.Operators({});                        // undamped operators
//   QVATestTransientLoads loads(3, {1.0, 0.5, 2.0}, amplitudes);   // f_k(t_n) = p_k a_n
//   std::vector<QVADynFrameValue> frames = QVATestFrames({0.1, 0.2, 0.1});  // 4 frames

#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynLoadCaseList.h"
#include "QVADyn/QVADynCore/QVADynModalDamping.h"
#include "QVADyn/QVADynCore/QVADynModalOperators.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADyn/QVADynCore/QVADynTypes.h"
#include "internal/QVANumerics.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "tests/support/QVATestModalBasis.h"

class QVATestTransientModel {
 public:
  // `viscous` and `structural` are m x m column-major projected matrices, or
  // empty for none.
  explicit QVATestTransientModel(const std::vector<double>& eigenvalues,
                                 const std::vector<double>& viscous = {},
                                 const std::vector<double>& structural = {})
      : numberOfModes_(static_cast<int>(eigenvalues.size())) {
    const int m = numberOfModes_;
    modalObject_ = database_.CreateModalSystem(m, m);
    {
      QVADynModalSystem writer(CreateDofDefinition(), modalObject_, log_);
      writer.SetEigenvalues(eigenvalues.data(), m, 0, 0);
      std::vector<double> shapes(QVAIndex(m) * m, 0.0);
      for (int k = 0; k < m; ++k) shapes[QVAIndex(k) * m + k] = 1.0;
      QVATestFillDenseMatrix(writer.CreateModeShapes(m, false), shapes);
      if (!viscous.empty()) {
        QVATestFillDenseMatrix(writer.CreateDamping(QVADynViscousDamping, false), viscous);
      }
      if (!structural.empty()) {
        QVATestFillDenseMatrix(writer.CreateDamping(QVADynStructuralDamping, false), structural);
      }
    }
    system_ = std::make_unique<QVADynModalSystem>(CreateDofDefinition(), modalObject_, log_);
    system_->Open();
  }

  int NumberOfModes() const { return numberOfModes_; }
  const QVADynModalSystem& System() const { return *system_; }

  // Operators of all modes with the per-mode records (empty: none) and the
  // projected matrices of the model.
  std::unique_ptr<QVADynModalOperators> Operators(
      const std::vector<QVADynDiagonalDamping>& records) const {
    auto ops = std::make_unique<QVADynModalOperators>(*system_, nullptr);
    const QVADynModalDamping damping(records.empty() ? nullptr : records.data(),
                                     static_cast<int>(records.size()), system_->ViscousDamping(),
                                     system_->StructuralDamping(), nullptr);
    std::vector<int> modes(QVAIndex(numberOfModes_));
    for (int k = 0; k < numberOfModes_; ++k) modes[QVAIndex(k)] = k;
    ops->Build(numberOfModes_, modes.data(), damping);
    return ops;
  }

 private:
  QVAFsmSystemDofDefinition* CreateDofDefinition() const {
    auto* dofs = new QVAFsmSystemDofDefinition(numberOfModes_, 1);
    for (int node = 0; node < numberOfModes_; ++node) dofs->AddDof(node, 0, 2);
    return dofs;
  }

  int numberOfModes_;
  QVASimDatabase database_;
  QVAFsmModalSystem modalObject_;
  QVADynLogFile log_;
  std::unique_ptr<QVADynModalSystem> system_;
};

// Loads of the solve: load case c has the modal force patterns[c][k] a_c(n) at
// frame n, a_c(n) = amplitudes[c][n].
class QVATestTransientLoads {
 public:
  QVATestTransientLoads(int numberOfModes, const std::vector<std::vector<double>>& patterns,
                        const std::vector<std::vector<double>>& amplitudes) {
    const int cases = static_cast<int>(patterns.size());
    const int frames = static_cast<int>(amplitudes.front().size());
    list_.SetNumberOfActiveModes(numberOfModes);
    auto* table = new QVASrvMatrix(cases, frames);
    for (int c = 0; c < cases; ++c) {
      for (int n = 0; n < frames; ++n) {
        (*table)(c, n) = amplitudes[QVAIndex(c)][QVAIndex(n)];
      }
      auto* pattern = new QVASrvMatrix(numberOfModes, 1);
      for (int k = 0; k < numberOfModes; ++k) {
        (*pattern)(k, 0) = patterns[QVAIndex(c)][QVAIndex(k)];
      }
      list_.LoadCase(c).AdoptForce(new QVADynForce(pattern, &c, 1, nullptr, 0));
    }
    list_.AdoptAmplitudeTable(table);
  }

  const QVADynLoadCaseList& List() const { return list_; }

 private:
  QVADynLoadCaseList list_;
};

// Frames whose steps are `steps` (third value; the last frame's increment is
// repeated from the last step and never used): steps.size() + 1 frames.
inline std::vector<QVADynFrameValue> QVATestFrames(const std::vector<double>& steps) {
  std::vector<QVADynFrameValue> frames(steps.size() + 1);
  for (std::size_t n = 0; n < steps.size(); ++n) frames[n].third = steps[n];
  frames.back().third = steps.empty() ? 0.0 : steps.back();
  return frames;
}
