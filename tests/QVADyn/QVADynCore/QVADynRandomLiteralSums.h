#pragma once

// The modal load cross-spectral blocks of a random event as literal double
// loops over node pairs (i, j >= i), node-DOF pairs (d, e) and modes (a, b),
// every term formed as the pairwise definition states it: the reference for
// the event's running-sum forms (tests) and the baseline of the speed
// comparison (benchmark). Its cost grows with (active nodes)^2 D^2 m^2.
//
// With `absolute` set, every factor enters by its absolute value and every
// sum of products (cos(theta_j - theta_i) = s_i s_j + c_i c_j, likewise the
// sine) by the sum of the products' absolute values: the result is then, per
// entry, the sum of the absolute values of all terms, the scale of the
// round-off of any order of summation.
//
//   QVADynRandomLiteralCase literal{&modal, &provider, {1, 3}, {correlation}, {{1, 2}}};
//   QVADynLiteralModalLoad(literal, reference.data(), nodeActive, false);

#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include "QVADyn/QVADynCore/QVADynCorrelation.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "internal/QVANumerics.h"
#include "platform/base/omi_IntTable.h"
#include "platform/host/QVADynRandomLoadProvider.h"

// Everything the event holds, spelled out: the modal system (in the
// node-access state), the provider, the active modes (1-based), the
// correlations in adoption order and the base motions as (pattern key,
// direction) in adoption order.
struct QVADynRandomLiteralCase {
  const QVADynModalSystem* modal;
  QVADynRandomLoadProvider* provider;
  std::vector<int> activeModes;
  std::vector<const QVADynCorrelation*> correlations;
  std::vector<std::pair<int, int>> baseMotions;
};

namespace qva_random_literal {

inline std::size_t At(int a, int b, int m) { return QVAIndex(a) * QVAIndex(m) + QVAIndex(b); }

inline double Magnitude(double value, bool absolute) { return absolute ? std::fabs(value) : value; }

inline void Shapes(const QVADynModalSystem& modal, int node, std::vector<double>& buffer) {
  for (double& value : buffer) value = 0.0;
  modal.GetModesNodal(0, modal.NumberOfModes() - 1, node, buffer.data());
}

// Adds the terms of node pair (i, j >= i) for every a, d and e (e >= d when
// i = j): term(d, e, tR, tI) gives tR and tI, halved here when i = j and d = e.
template <class Term>
void AddNodePair(const QVADynRandomLiteralCase& c, double* block, const std::vector<double>& phiI,
                 const std::vector<double>& phiJ, const double* Li, bool sameNode, bool absolute,
                 Term term) {
  const int m = static_cast<int>(c.activeModes.size());
  const int D = c.modal->DofDefinition().MaxNodalDof();
  const auto phi = [D](const std::vector<double>& shapes, int mode, int d) {
    return shapes[QVAIndex(mode) * QVAIndex(D) + QVAIndex(d)];
  };
  for (int a = 0; a < m; ++a) {
    const int modeA = c.activeModes[QVAIndex(a)] - 1;
    for (int d = 0; d < D; ++d) {
      double sR = 0.0;
      double sI = 0.0;
      for (int e = (sameNode ? d : 0); e < D; ++e) {
        double tR = 0.0;
        double tI = 0.0;
        term(d, e, tR, tI);
        if (sameNode && d == e) {
          tR /= 2.0;
          tI /= 2.0;
        }
        sR += Magnitude(phi(phiJ, modeA, e), absolute) * tR;
        sI += Magnitude(phi(phiJ, modeA, e), absolute) * tI;
      }
      for (int b = 0; b < m; ++b) {
        const int modeB = c.activeModes[QVAIndex(b)] - 1;
        const double phiB = Magnitude(phi(phiI, modeB, d), absolute);
        const double load = Magnitude(Li[d], absolute);
        block[At(a, b, m)] += sR * phiB * load;
        block[QVAIndex(m) * m + At(a, b, m)] += sI * phiB * load;
      }
    }
  }
}

// The nodal form of one entry (key, R, I) into `block`.
inline void Nodal(const QVADynRandomLiteralCase& c, double* block, int key, double R, double I,
                  const QVADynCorrelation& correlation, const int* nodeActive, bool absolute) {
  QVADynRandomLoadProvider& provider = *c.provider;
  const QVADynModalSystem& modal = *c.modal;
  const int D = modal.DofDefinition().MaxNodalDof();
  const std::size_t shapeSize = QVAIndex(modal.NumberOfModes()) * QVAIndex(D);
  std::vector<double> phiI(shapeSize);
  std::vector<double> phiJ(shapeSize);
  const bool uncorrelated = correlation.IsUncorrelated();
  const int one = 1;
  provider.Begin(block, key, &correlation);
  const int N = provider.NumberOfNodes();
  for (int i = 0; i < N; ++i) {
    if (nodeActive[i] == 0) continue;
    const double* Li = provider.NodalLoads(i) + (key - 1) * D;
    Shapes(modal, i, phiI);
    const double* Xi = correlation.IsUserDefined() ? provider.NodeCoordinates(i) : nullptr;
    for (int j = i; j < (uncorrelated ? i + 1 : N); ++j) {
      if (nodeActive[j] == 0) continue;
      const double* Lj = provider.NodalLoads(j) + (key - 1) * D;
      Shapes(modal, j, phiJ);
      const double* Xj = correlation.IsUserDefined() ? provider.NodeCoordinates(j) : nullptr;
      AddNodePair(c, block, phiI, phiJ, Li, i == j, absolute,
                  [&](int d, int e, double& tR, double& tI) {
                    if (correlation.IsUserDefined()) {
                      provider.UserCorrelation(correlation.GetPSD()->Name(), &R, &I, &one, &key, &i,
                                               &d, &j, &e, Xi, Xj);
                    }
                    tR = Magnitude(Lj[e], absolute) * Magnitude(R, absolute);
                    tI = Magnitude(Lj[e], absolute) * Magnitude(I, absolute);
                    if (!correlation.IsComplex()) tI = 0.0;
                    if (uncorrelated && d != e) tR = tI = 0.0;
                  });
    }
  }
  provider.End();
}

// The base-motion form of one entry (key, R, I) into `block`.
inline void BaseMotion(const QVADynRandomLiteralCase& c, double* block, int key, double R, double I,
                       const QVADynCorrelation& correlation, bool absolute) {
  const QVADynModalSystem& modal = *c.modal;
  const double* gamma = modal.ParticipationFactors(0);
  if (gamma == nullptr) return;
  const int m = static_cast<int>(c.activeModes.size());
  const int M = modal.NumberOfModes();
  const double g = correlation.GetPSD()->Magnitude();
  double delta[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  for (const auto& [patternKey, direction] : c.baseMotions) {
    if (patternKey == key) delta[direction - 1] = g;
  }
  const auto Gamma = [gamma, M](int q, int mode) {
    return gamma[QVAIndex(q) * QVAIndex(M) + QVAIndex(mode)];
  };
  const int one = 1;
  const int noNode = -1;
  const double origin[3] = {0.0, 0.0, 0.0};
  for (int a = 0; a < m; ++a) {
    const int modeA = c.activeModes[QVAIndex(a)] - 1;
    for (int p = 1; p <= 6; ++p) {
      double sR = 0.0;
      double sI = 0.0;
      for (int q = p; q <= 6; ++q) {
        if (correlation.IsUserDefined()) {
          const int dof1 = p - 1;
          const int dof2 = q - 1;
          c.provider->UserCorrelation(correlation.GetPSD()->Name(), &R, &I, &one, &key, &noNode,
                                      &dof1, &noNode, &dof2, origin, origin);
        }
        const double level = Magnitude(delta[p - 1], absolute);
        double tR = level * Magnitude(R, absolute) * Magnitude(delta[q - 1], absolute);
        double tI = level * Magnitude(I, absolute) * Magnitude(delta[q - 1], absolute);
        if (!correlation.IsComplex()) tI = 0.0;
        if (correlation.IsUncorrelated() && p != q) tR = tI = 0.0;
        if (p == q) {
          tR /= 2.0;
          tI /= 2.0;
        }
        sR += Magnitude(Gamma(q - 1, modeA), absolute) * tR;
        sI += Magnitude(Gamma(q - 1, modeA), absolute) * tI;
      }
      for (int b = 0; b < m; ++b) {
        const int modeB = c.activeModes[QVAIndex(b)] - 1;
        block[At(a, b, m)] += sR * Magnitude(Gamma(p - 1, modeB), absolute);
        block[QVAIndex(m) * m + At(a, b, m)] += sI * Magnitude(Gamma(p - 1, modeB), absolute);
      }
    }
  }
}

// The jet-noise form of one entry (key, v) into `block`.
inline void JetNoise(const QVADynRandomLiteralCase& c, double* block, int key, const double* v,
                     double omega, const int* nodeActive, bool absolute) {
  QVADynRandomLoadProvider& provider = *c.provider;
  const QVADynModalSystem& modal = *c.modal;
  const int D = modal.DofDefinition().MaxNodalDof();
  provider.Begin(block, key, v);
  const int N = provider.NumberOfNodes();
  const double speedSquared = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
  std::vector<double> cosine(QVAIndex(N), 0.0);
  std::vector<double> sine(QVAIndex(N), 0.0);
  for (int n = 0; n < N; ++n) {
    if (nodeActive[n] == 0) continue;
    const double* X = provider.NodeCoordinates(n);
    const double theta = (X[0] * v[0] + X[1] * v[1] + X[2] * v[2]) * omega / speedSquared;
    cosine[QVAIndex(n)] = std::cos(theta);
    sine[QVAIndex(n)] = std::sin(theta);
  }
  const std::size_t shapeSize = QVAIndex(modal.NumberOfModes()) * QVAIndex(D);
  std::vector<double> phiI(shapeSize);
  std::vector<double> phiJ(shapeSize);
  for (int i = 0; i < N; ++i) {
    if (nodeActive[i] == 0) continue;
    const double* Li = provider.NodalLoads(i) + (key - 1) * D;
    Shapes(modal, i, phiI);
    const double ci = cosine[QVAIndex(i)];
    const double si = sine[QVAIndex(i)];
    for (int j = i; j < N; ++j) {
      if (nodeActive[j] == 0) continue;
      const double* Lj = provider.NodalLoads(j) + (key - 1) * D;
      Shapes(modal, j, phiJ);
      const double cj = cosine[QVAIndex(j)];
      const double sj = sine[QVAIndex(j)];
      const double cosineOfDifference =
          absolute ? std::fabs(si * sj) + std::fabs(ci * cj) : si * sj + ci * cj;
      const double sineOfDifference =
          absolute ? std::fabs(ci * sj) + std::fabs(si * cj) : ci * sj - si * cj;
      AddNodePair(c, block, phiI, phiJ, Li, i == j, absolute,
                  [&](int, int e, double& tR, double& tI) {
                    tR = cosineOfDifference * Magnitude(Lj[e], absolute);
                    tI = sineOfDifference * Magnitude(Lj[e], absolute);
                  });
    }
  }
  provider.End();
}

}  // namespace qva_random_literal

// ComputeModalLoad of the event that `c` describes, literally.
inline void QVADynLiteralModalLoad(const QVADynRandomLiteralCase& c, double* out,
                                   const int* nodeActive, bool absolute) {
  const int m = static_cast<int>(c.activeModes.size());
  const std::size_t blockSize = 2 * QVAIndex(m) * QVAIndex(m);
  double* block = out;
  for (const QVADynCorrelation* correlation : c.correlations) {
    const omi_IntTable<void*>& data = correlation->GetCorrelationDataList();
    if (correlation->Type() == QVADynCorrelationJetNoise) {
      block += blockSize * QVAIndex(data.Size());
      continue;
    }
    for (std::size_t k = 0; k < blockSize; ++k) block[k] = 0.0;
    for (omi_IntTableIterator<void*> entry(data); entry.More(); entry.Next()) {
      const auto* values = static_cast<const QVADynCorrelationData*>(entry.Value());
      if (correlation->GetPSD()->IsBaseMotion()) {
        qva_random_literal::BaseMotion(c, block, entry.Key(), values->FirstValue(),
                                       values->SecondValue(), *correlation, absolute);
      } else {
        qva_random_literal::Nodal(c, block, entry.Key(), values->FirstValue(),
                                  values->SecondValue(), *correlation, nodeActive, absolute);
      }
    }
    block += blockSize;
  }
}

// ComputeJetNoiseModalLoad of the event that `c` describes, literally.
inline void QVADynLiteralJetNoiseModalLoad(const QVADynRandomLiteralCase& c, double* out,
                                           const int* nodeActive, double omega, bool absolute) {
  const int m = static_cast<int>(c.activeModes.size());
  const std::size_t blockSize = 2 * QVAIndex(m) * QVAIndex(m);
  double* block = out;
  for (const QVADynCorrelation* correlation : c.correlations) {
    if (correlation->Type() != QVADynCorrelationJetNoise) {
      block += blockSize;
      continue;
    }
    for (omi_IntTableIterator<void*> entry(correlation->GetCorrelationDataList()); entry.More();
         entry.Next()) {
      for (std::size_t k = 0; k < blockSize; ++k) block[k] = 0.0;
      const auto* values = static_cast<const QVADynCorrelationData*>(entry.Value());
      qva_random_literal::JetNoise(c, block, entry.Key(), values->Values(), omega, nodeActive,
                                   absolute);
      block += blockSize;
    }
  }
}
