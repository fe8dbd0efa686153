// How a run is spread over the processes of `mpirun -np N qvadyn run`: the
// processes themselves (rank, count, the sums and gathers the analyses
// need) and the block of basis rows each one owns. In the serial build
// there is one process and every call is the identity, so the analyses are
// written once for both builds.
//
//   qvadyn::MpiSession mpi(argc, argv);          // first thing in main
//   const qvadyn::RowBlock rows = qvadyn::PartitionRows(basis.dofNodes, Processes(), Rank());
//   qvadyn::SumOverProcesses(modalForce.data(), modalForce.size());
//   qvadyn::AgreeOnSuccess([&] { ReadMyRows(); });   // raises everywhere when any process failed
#pragma once

#include <complex>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qvadyn {

// Starts MPI for its lifetime (MPI build; nothing in the serial build).
class MpiSession {
 public:
  MpiSession(int& argc, char**& argv);
  MpiSession(const MpiSession&) = delete;
  MpiSession& operator=(const MpiSession&) = delete;
  ~MpiSession();
};

int Rank();
int Processes();
// More than one process: the results file is written over MPI-IO.
inline bool Distributed() { return Processes() > 1; }

// Rows [first, first + count) of the basis.
struct RowBlock {
  std::int64_t first = 0;
  std::int64_t count = 0;
};
// Block `part` of `parts` contiguous blocks of whole nodes (a node's rows
// are consecutive in `dofNodes`) whose DOF counts are as near equal as whole
// nodes allow; blocks past the last node are empty.
RowBlock PartitionRows(const std::vector<std::int64_t>& dofNodes, int parts, int part);

// Raises qvadyn::Error naming `basisPath` and the first node whose rows are
// not consecutive in `dofNodes`, which blocks of whole nodes need.
void RequireConsecutiveNodes(const std::vector<std::int64_t>& dofNodes,
                             const std::string& basisPath);
// Part `part` of `parts` contiguous parts of `count` items (frames, modes)
// whose sizes differ by one at most; parts past the items are empty.
RowBlock EvenShare(std::int64_t count, int parts, int part);
// The offsets of the parts of `count` items of `width` entries each, as
// GatherParts takes them: Processes() + 1 entries.
std::vector<std::size_t> ShareOffsets(std::int64_t count, std::size_t width);

// Element-wise sums over the processes, in place, the same on every one.
// Like every collective call of a phase, they first ask whether a process
// has failed (CheckPeers).
void SumOverProcesses(double* values, std::size_t count);
void SumOverProcesses(std::complex<double>* values, std::size_t count);
// Entries [offsets[p], offsets[p + 1]) of `values` are process p's part
// (offsets: Processes() + 1 entries, ascending); afterwards every process
// holds every part. Starts with CheckPeers.
void GatherParts(double* values, const std::vector<std::size_t>& offsets);
void GatherParts(std::complex<double>* values, const std::vector<std::size_t>& offsets);
// The string of rank 0 on every process.
std::string BroadcastString(const std::string& text);

// Runs `phase` on every process, then agrees: when it raised on any
// process, every process raises qvadyn::Error with the message of the
// lowest failing rank. A process that fails inside a phase skips the
// phase's remaining collective calls; each of them starts with CheckPeers,
// which the failed process answers from AgreeOnSuccess, so the others stop
// at their next collective call and nothing waits for ever.
void AgreeOnSuccess(const std::function<void()>& phase);
// Raises on every healthy process once some process has failed in the
// current phase (nothing with one process).
void CheckPeers();

}  // namespace qvadyn
