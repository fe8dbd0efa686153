#pragma once

// The host's source of random loading, implemented by the host and installed
// on a random event with QVADynRandomEvent::SetLoadProvider; the component
// only calls it. It names the loaded nodes, their load patterns and
// coordinates, and (for user-defined correlations) the correlation
// coefficient between two node-DOFs.
//
// Nodes are numbered 0 ... NumberOfNodes()-1; provider node n is node n of the
// modal system's DOF definition. With D DOF places per node, the load of
// pattern k (1-based) at DOF place d of a node is NodalLoads(node)[(k-1)*D + d]:
//
//   D = 6, two patterns, node 4 loaded along y by pattern 1, along z by 2:
//   NodalLoads(4) = {0, 1, 0, 0, 0, 0,   0, 0, 1, 0, 0, 0}
//   NodeCoordinates(4) = {x4, y4, z4}
//
// Call sequence for one output block: Begin once, then NumberOfNodes,
// NodalLoads, NodeCoordinates and UserCorrelation as the block needs them,
// then End once (also when there are no nodes). The pointers returned by
// NodalLoads and NodeCoordinates must stay valid until End.

#include "platform/base/QVAPlatformExport.h"

class QVA_PLATFORM_EXPORT QVADynRandomLoadProvider {
 public:
  virtual ~QVADynRandomLoadProvider() = default;

  // A block of the output is about to be formed for pattern `key`: `context`
  // is the const QVADynCorrelation* for nodal loads, and the three convection
  // velocity components (const double*) for jet noise. `block` is where the
  // block's 2 m^2 values go.
  virtual void Begin(double* block, int key, const void* context) = 0;
  // Number of provider nodes.
  virtual int NumberOfNodes() = 0;
  // The load patterns of `node` (layout above).
  virtual const double* NodalLoads(int node) = 0;
  // x, y, z of `node`.
  virtual const double* NodeCoordinates(int node) = 0;
  // The block is done.
  virtual void End() = 0;
  // Number of load patterns that NodalLoads gives per node, so that the event
  // can refuse a pattern key beyond them before it reads; a negative answer
  // (the default) means unknown, and keys are then taken as given.
  virtual int NumberOfPatterns() const { return -1; }
  // Writes the real and imaginary correlation coefficient between (node1,
  // dof1) and (node2, dof2) for pattern `key` of the spectrum `spectrumName`.
  // Every scalar is passed by address; `one` points to 1. For base motion the
  // nodes are -1, the DOFs are the directions 0 ... 5 and both coordinate
  // triples are (0, 0, 0).
  virtual void UserCorrelation(const char* spectrumName, double* real, double* imaginary,
                               const int* one, const int* key, const int* node1, const int* dof1,
                               const int* node2, const int* dof2, const double* coordinates1,
                               const double* coordinates2) = 0;

 protected:
  QVADynRandomLoadProvider() = default;
  QVADynRandomLoadProvider(const QVADynRandomLoadProvider&) = default;
  QVADynRandomLoadProvider& operator=(const QVADynRandomLoadProvider&) = default;
};
