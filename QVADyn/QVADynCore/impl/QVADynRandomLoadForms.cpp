#include "QVADynRandomLoadForms.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "internal/QVANumerics.h"
#include "platform/matrix/QVABlaModule.h"

namespace {

// Node-DOF columns gathered before one dgemm: enough for the product to run at
// matrix-multiply speed, small enough to stay in cache for a few hundred modes.
constexpr int kPanelColumns = 192;

// Number of base-motion directions (three translations, three rotations).
constexpr int kDirections = 6;

std::size_t Index(int count) { return QVAIndex(count); }

bool IsActive(const int* nodeActive, int node) {
  return nodeActive == nullptr || nodeActive[node] != 0;
}

// All modes of `node` into `shapes` (mode k, place d at k * places + d), zero
// where the node has no DOF.
void ReadModeShapes(const QVADynModalSystem& modal, int node, std::vector<double>& shapes) {
  std::fill(shapes.begin(), shapes.end(), 0.0);
  const int totalModes = modal.NumberOfModes();
  if (totalModes > 0) modal.GetModesNodal(0, totalModes - 1, node, shapes.data());
}

// Gathers the rank-one updates v_beta * g_beta^T of one block into panels and
// adds each full panel with one dgemm per part:
//   R(a, b) += realScale * sum_beta v_beta(a) * gReal_beta(b)
//   I(a, b) += imaginaryScale * sum_beta v_beta(a) * gImaginary_beta(b).
// Without an imaginary part only the real partners are used.
class RankOneUpdatePanel {
 public:
  RankOneUpdatePanel(int modes, double* block, double realScale, double imaginaryScale,
                     bool withImaginary)
      : modes_(modes),
        realPart_(block),
        imaginaryPart_(block + Index(modes) * Index(modes)),
        realScale_(realScale),
        imaginaryScale_(imaginaryScale),
        withImaginary_(withImaginary),
        vectors_(Index(modes) * kPanelColumns),
        realPartners_(Index(modes) * kPanelColumns),
        imaginaryPartners_(withImaginary ? Index(modes) * kPanelColumns : 0) {}

  // Starts the next column with the m values of `vector`; RealPartner() and
  // ImaginaryPartner() then address its partners, m values each.
  void StartColumn(const double* vector) {
    if (columns_ == kPanelColumns) Flush();
    ++columns_;
    std::copy_n(vector, modes_, Column(vectors_));
  }
  double* RealPartner() { return Column(realPartners_); }
  double* ImaginaryPartner() { return Column(imaginaryPartners_); }

  // Adds the columns still gathered.
  void Finish() { Flush(); }

 private:
  double* Column(std::vector<double>& panel) {
    return panel.data() + Index(columns_ - 1) * Index(modes_);
  }

  // The block parts are column-major m x m arrays with b running fastest, so
  // the update of a part is partners * vectors^T.
  void Flush() {
    if (columns_ == 0) return;
    const char noTranspose = 'N';
    const char transpose = 'T';
    const double one = 1.0;
    BLAC_DGEMM(&noTranspose, &transpose, &modes_, &modes_, &columns_, &realScale_,
               realPartners_.data(), &modes_, vectors_.data(), &modes_, &one, realPart_, &modes_);
    if (withImaginary_) {
      BLAC_DGEMM(&noTranspose, &transpose, &modes_, &modes_, &columns_, &imaginaryScale_,
                 imaginaryPartners_.data(), &modes_, vectors_.data(), &modes_, &one, imaginaryPart_,
                 &modes_);
    }
    columns_ = 0;
  }

  int modes_;
  double* realPart_;
  double* imaginaryPart_;
  double realScale_;
  double imaginaryScale_;
  bool withImaginary_;
  int columns_ = 0;
  std::vector<double> vectors_;
  std::vector<double> realPartners_;
  std::vector<double> imaginaryPartners_;
};

// The projected load vectors v(a, e) = phi(mode(a), e) * L(e) of one node for
// one pattern, for the DOF places whose load is not zero (the others add
// nothing to any sum).
class NodeProjection {
 public:
  NodeProjection(const QVADynRandomLoadInput& input, int key)
      : input_(input),
        places_(input.modal.DofDefinition().MaxNodalDof()),
        patternOffset_(Index(key - 1) * Index(places_)),
        shapes_(Index(input.modal.NumberOfModes()) * Index(places_)),
        vectors_(Index(places_) * Index(input.numberOfModes)) {
    loadedPlaces_.reserve(Index(places_));
  }

  // Reads the node's loads and mode shapes and forms its vectors.
  void Project(int node) {
    const double* loads = input_.provider->NodalLoads(node) + patternOffset_;
    ReadModeShapes(input_.modal, node, shapes_);
    loadedPlaces_.clear();
    for (int place = 0; place < places_; ++place) {
      const double load = loads[place];
      if (load == 0.0) continue;
      loadedPlaces_.push_back(place);
      double* vector = VectorOf(place);
      for (int a = 0; a < input_.numberOfModes; ++a) {
        vector[a] = shapes_[Index(input_.modes[a] - 1) * Index(places_) + Index(place)] * load;
      }
    }
  }

  const std::vector<int>& LoadedPlaces() const { return loadedPlaces_; }
  const double* Vector(int place) const {
    return vectors_.data() + Index(place) * Index(input_.numberOfModes);
  }

 private:
  double* VectorOf(int place) {
    return vectors_.data() + Index(place) * Index(input_.numberOfModes);
  }

  const QVADynRandomLoadInput& input_;
  int places_;
  std::size_t patternOffset_;
  std::vector<double> shapes_;
  std::vector<double> vectors_;
  std::vector<int> loadedPlaces_;
};

// Per DOF place, the sum of the (weighted) vectors of the nodes taken so far.
class PlaceSums {
 public:
  PlaceSums(int places, int modes)
      : places_(places), modes_(modes), sums_(Index(places) * Index(modes), 0.0) {}

  // Adds weight * v(., d) of every loaded place d of `projection`.
  void Add(const NodeProjection& projection, double weight) {
    for (int place : projection.LoadedPlaces()) {
      const double* vector = projection.Vector(place);
      double* sum = Sum(place);
      for (int a = 0; a < modes_; ++a) sum[a] += weight * vector[a];
    }
  }

  // out = sum over all places d.
  void Total(double* out) const {
    std::fill_n(out, modes_, 0.0);
    for (int place = 0; place < places_; ++place) {
      const double* sum = Sum(place);
      for (int a = 0; a < modes_; ++a) out[a] += sum[a];
    }
  }

 private:
  const double* Sum(int place) const { return sums_.data() + Index(place) * Index(modes_); }
  double* Sum(int place) { return sums_.data() + Index(place) * Index(modes_); }

  int places_;
  int modes_;
  std::vector<double> sums_;
};

// Correlated or uncorrelated nodal loads with the coefficient real + i
// imaginary for every pair, as running sums over the node-DOF pairs.
void AddSeparableNodalLoad(const QVADynRandomLoadInput& input, double* block, int key, double real,
                           double imaginary, const QVADynCorrelation& correlation,
                           int numberOfNodes) {
  const int modes = input.numberOfModes;
  const int places = input.modal.DofDefinition().MaxNodalDof();
  const bool complex = correlation.IsComplex();
  const bool uncorrelated = correlation.IsUncorrelated();
  RankOneUpdatePanel panel(modes, block, real, imaginary, complex);
  NodeProjection projection(input, key);
  PlaceSums earlierNodes(places, modes);
  std::vector<double> earlierTotal(Index(modes));
  std::vector<double> earlierPlaces(Index(modes), 0.0);
  for (int node = 0; node < numberOfNodes; ++node) {
    if (!IsActive(input.nodeActive, node)) continue;
    projection.Project(node);
    if (uncorrelated) {
      // Only the halved term of each node-DOF with itself.
      for (int place : projection.LoadedPlaces()) {
        const double* vector = projection.Vector(place);
        panel.StartColumn(vector);
        for (int a = 0; a < modes; ++a) panel.RealPartner()[a] = 0.5 * vector[a];
        if (complex) std::copy_n(panel.RealPartner(), modes, panel.ImaginaryPartner());
      }
      continue;
    }
    earlierNodes.Total(earlierTotal.data());
    std::fill(earlierPlaces.begin(), earlierPlaces.end(), 0.0);
    for (int place : projection.LoadedPlaces()) {
      const double* vector = projection.Vector(place);
      panel.StartColumn(vector);
      double* realPartner = panel.RealPartner();
      for (int a = 0; a < modes; ++a) {
        realPartner[a] = earlierTotal[Index(a)] + earlierPlaces[Index(a)] + 0.5 * vector[a];
      }
      // One coefficient for every pair: the imaginary partner is the real one.
      if (complex) std::copy_n(realPartner, modes, panel.ImaginaryPartner());
      for (int a = 0; a < modes; ++a) earlierPlaces[Index(a)] += vector[a];
    }
    earlierNodes.Add(projection, 1.0);
  }
  panel.Finish();
}

// User-defined nodal loads: the provider gives the coefficient of every pair
// of node-DOFs, asked once per pair; the sums are formed pair by pair.
void AddUserDefinedNodalLoad(const QVADynRandomLoadInput& input, double* block, int key,
                             double real, double imaginary, const QVADynCorrelation& correlation,
                             int numberOfNodes) {
  QVADynRandomLoadProvider& provider = *input.provider;
  const int modes = input.numberOfModes;
  const int places = input.modal.DofDefinition().MaxNodalDof();
  const std::size_t patternOffset = Index(key - 1) * Index(places);
  const bool complex = correlation.IsComplex();
  const bool uncorrelated = correlation.IsUncorrelated();
  const char* spectrumName = correlation.GetPSD()->Name();
  const int one = 1;
  double* realPart = block;
  double* imaginaryPart = block + Index(modes) * Index(modes);
  const std::size_t shapeSize = Index(input.modal.NumberOfModes()) * Index(places);
  std::vector<double> firstShapes(shapeSize);
  std::vector<double> secondShapes(shapeSize);
  // Coefficient times second load, (d, e) at d * places + e.
  std::vector<double> realTerms(Index(places) * Index(places));
  std::vector<double> imaginaryTerms(Index(places) * Index(places));
  const auto shape = [places](const std::vector<double>& shapes, int mode, int place) {
    return shapes[Index(mode) * Index(places) + Index(place)];
  };

  for (int first = 0; first < numberOfNodes; ++first) {
    if (!IsActive(input.nodeActive, first)) continue;
    const double* firstLoads = provider.NodalLoads(first) + patternOffset;
    ReadModeShapes(input.modal, first, firstShapes);
    const double* firstCoordinates = provider.NodeCoordinates(first);
    const int lastSecond = uncorrelated ? first : numberOfNodes - 1;
    for (int second = first; second <= lastSecond; ++second) {
      if (!IsActive(input.nodeActive, second)) continue;
      const double* secondLoads = provider.NodalLoads(second) + patternOffset;
      ReadModeShapes(input.modal, second, secondShapes);
      const double* secondCoordinates = provider.NodeCoordinates(second);
      const bool sameNode = first == second;
      for (int d = 0; d < places; ++d) {
        for (int e = sameNode ? d : 0; e < places; ++e) {
          provider.UserCorrelation(spectrumName, &real, &imaginary, &one, &key, &first, &d, &second,
                                   &e, firstCoordinates, secondCoordinates);
          double termReal = secondLoads[e] * real;
          double termImaginary = secondLoads[e] * imaginary;
          if (!complex) termImaginary = 0.0;
          if (uncorrelated && d != e) termReal = termImaginary = 0.0;
          if (sameNode && d == e) {
            termReal *= 0.5;
            termImaginary *= 0.5;
          }
          realTerms[Index(d) * Index(places) + Index(e)] = termReal;
          imaginaryTerms[Index(d) * Index(places) + Index(e)] = termImaginary;
        }
      }
      for (int a = 0; a < modes; ++a) {
        for (int d = 0; d < places; ++d) {
          double sumReal = 0.0;
          double sumImaginary = 0.0;
          for (int e = sameNode ? d : 0; e < places; ++e) {
            const double phi = shape(secondShapes, input.modes[a] - 1, e);
            sumReal += phi * realTerms[Index(d) * Index(places) + Index(e)];
            sumImaginary += phi * imaginaryTerms[Index(d) * Index(places) + Index(e)];
          }
          for (int b = 0; b < modes; ++b) {
            const double phi = shape(firstShapes, input.modes[b] - 1, d);
            realPart[Index(a) * Index(modes) + Index(b)] += sumReal * phi * firstLoads[d];
            imaginaryPart[Index(a) * Index(modes) + Index(b)] += sumImaginary * phi * firstLoads[d];
          }
        }
      }
    }
  }
}

}  // namespace

void QVADynAddNodalLoad(const QVADynRandomLoadInput& input, double* block, int key, double real,
                        double imaginary, const QVADynCorrelation& correlation) {
  QVADynRandomLoadProvider& provider = *input.provider;
  provider.Begin(block, key, &correlation);
  const int numberOfNodes = provider.NumberOfNodes();
  if (input.numberOfModes > 0) {
    if (correlation.IsUserDefined()) {
      AddUserDefinedNodalLoad(input, block, key, real, imaginary, correlation, numberOfNodes);
    } else {
      AddSeparableNodalLoad(input, block, key, real, imaginary, correlation, numberOfNodes);
    }
  }
  provider.End();
}

void QVADynAddBaseMotionLoad(const QVADynRandomLoadInput& input, double* block, int key,
                             double real, double imaginary, const QVADynCorrelation& correlation,
                             const double* levels, const double* factors, int totalModes) {
  const int modes = input.numberOfModes;
  if (factors == nullptr || modes == 0) return;
  const bool complex = correlation.IsComplex();
  const bool uncorrelated = correlation.IsUncorrelated();
  const int one = 1;
  const int noNode = -1;
  const double origin[3] = {0.0, 0.0, 0.0};
  // Coefficient of direction pair (p, q >= p) at p * 6 + q: every pair of
  // directions is counted once, as a pair of node-DOFs is in the nodal form.
  double realTerms[kDirections * kDirections] = {};
  double imaginaryTerms[kDirections * kDirections] = {};
  for (int p = 0; p < kDirections; ++p) {
    for (int q = p; q < kDirections; ++q) {
      if (correlation.IsUserDefined()) {
        input.provider->UserCorrelation(correlation.GetPSD()->Name(), &real, &imaginary, &one, &key,
                                        &noNode, &p, &noNode, &q, origin, origin);
      }
      double termReal = levels[p] * real * levels[q];
      double termImaginary = complex ? levels[p] * imaginary * levels[q] : 0.0;
      if (uncorrelated && p != q) termReal = termImaginary = 0.0;
      if (p == q) {
        termReal *= 0.5;
        termImaginary *= 0.5;
      }
      realTerms[p * kDirections + q] = termReal;
      imaginaryTerms[p * kDirections + q] = termImaginary;
    }
  }
  const auto factor = [factors, totalModes](int direction, int mode) {
    return factors[Index(direction) * Index(totalModes) + Index(mode)];
  };
  double* realPart = block;
  double* imaginaryPart = block + Index(modes) * Index(modes);
  for (int a = 0; a < modes; ++a) {
    for (int p = 0; p < kDirections; ++p) {
      double sumReal = 0.0;
      double sumImaginary = 0.0;
      for (int q = p; q < kDirections; ++q) {
        sumReal += factor(q, input.modes[a] - 1) * realTerms[p * kDirections + q];
        sumImaginary += factor(q, input.modes[a] - 1) * imaginaryTerms[p * kDirections + q];
      }
      for (int b = 0; b < modes; ++b) {
        realPart[Index(a) * Index(modes) + Index(b)] += sumReal * factor(p, input.modes[b] - 1);
        imaginaryPart[Index(a) * Index(modes) + Index(b)] +=
            sumImaginary * factor(p, input.modes[b] - 1);
      }
    }
  }
}

void QVADynAddJetNoiseLoad(const QVADynRandomLoadInput& input, double* block, int key,
                           const double* velocity, double omega) {
  QVADynRandomLoadProvider& provider = *input.provider;
  provider.Begin(block, key, velocity);
  const int numberOfNodes = provider.NumberOfNodes();
  const double speedSquared =
      velocity[0] * velocity[0] + velocity[1] * velocity[1] + velocity[2] * velocity[2];

  // Phase of every active node: the convection delay of its position along the
  // velocity, at omega.
  std::vector<double> cosines(Index(numberOfNodes), 0.0);
  std::vector<double> sines(Index(numberOfNodes), 0.0);
  for (int node = 0; node < numberOfNodes; ++node) {
    if (!IsActive(input.nodeActive, node)) continue;
    const double* x = provider.NodeCoordinates(node);
    const double phase =
        (x[0] * velocity[0] + x[1] * velocity[1] + x[2] * velocity[2]) * omega / speedSquared;
    cosines[Index(node)] = std::cos(phase);
    sines[Index(node)] = std::sin(phase);
  }

  const int modes = input.numberOfModes;
  if (modes > 0) {
    const int places = input.modal.DofDefinition().MaxNodalDof();
    RankOneUpdatePanel panel(modes, block, 1.0, 1.0, true);
    NodeProjection projection(input, key);
    // Earlier nodes' vectors weighted by their cosines and by their sines.
    PlaceSums earlierCosine(places, modes);
    PlaceSums earlierSine(places, modes);
    std::vector<double> cosineTotal(Index(modes));
    std::vector<double> sineTotal(Index(modes));
    std::vector<double> earlierPlaces(Index(modes));
    for (int node = 0; node < numberOfNodes; ++node) {
      if (!IsActive(input.nodeActive, node)) continue;
      const double cosine = cosines[Index(node)];
      const double sine = sines[Index(node)];
      // cos(theta_j - theta_j) as the pairwise sum forms it.
      const double selfCosine = sine * sine + cosine * cosine;
      projection.Project(node);
      earlierCosine.Total(cosineTotal.data());
      earlierSine.Total(sineTotal.data());
      std::fill(earlierPlaces.begin(), earlierPlaces.end(), 0.0);
      for (int place : projection.LoadedPlaces()) {
        const double* vector = projection.Vector(place);
        panel.StartColumn(vector);
        double* realPartner = panel.RealPartner();
        for (int a = 0; a < modes; ++a) {
          realPartner[a] = cosine * cosineTotal[Index(a)] + sine * sineTotal[Index(a)] +
                           selfCosine * (earlierPlaces[Index(a)] + 0.5 * vector[a]);
        }
        // Within one node the phase difference is 0 and so is its sine.
        double* imaginaryPartner = panel.ImaginaryPartner();
        for (int a = 0; a < modes; ++a) {
          imaginaryPartner[a] = sine * cosineTotal[Index(a)] - cosine * sineTotal[Index(a)];
        }
        for (int a = 0; a < modes; ++a) earlierPlaces[Index(a)] += vector[a];
      }
      earlierCosine.Add(projection, cosine);
      earlierSine.Add(projection, sine);
    }
    panel.Finish();
  }
  provider.End();
}
