#include "Distribution.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <unordered_map>

#include "Error.h"
#include "platform/base/QVABasException.h"

#ifdef QVA_WITH_MPI
#include <mpi.h>
#endif

namespace qvadyn {

#ifdef QVA_WITH_MPI

namespace {

// The failure of a phase as its message; library exceptions keep their report.
std::string FailureMessage(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const QVABasException& error) {
    return error.UserReport().Text();
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    return "unknown failure";
  }
}

// Raised by CheckPeers on the healthy processes; carries the failed rank.
class PeerFailure : public Error {
 public:
  explicit PeerFailure(int rank)
      : Error("process " + std::to_string(rank) + " failed"), rank_(rank) {}
  int Rank() const { return rank_; }

 private:
  int rank_;
};

// The lowest rank among those that ask with their own rank (failed), or
// Processes() when every process asks with Processes() (healthy).
int LowestFailingRank(int mine) {
  MPI_Allreduce(MPI_IN_PLACE, &mine, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
  return mine;
}

}  // namespace

MpiSession::MpiSession(int& argc, char**& argv) { MPI_Init(&argc, &argv); }
MpiSession::~MpiSession() { MPI_Finalize(); }

int Rank() {
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  return rank;
}

int Processes() {
  int size = 1;
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  return size;
}

void CheckPeers() {
  if (!Distributed()) return;
  const int failing = LowestFailingRank(Processes());
  if (failing < Processes()) throw PeerFailure(failing);
}

void SumOverProcesses(double* values, std::size_t count) {
  CheckPeers();
  if (!Distributed() || count == 0) return;
  MPI_Allreduce(MPI_IN_PLACE, values, static_cast<int>(count), MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
}

void GatherParts(double* values, const std::vector<std::size_t>& offsets) {
  CheckPeers();
  if (!Distributed()) return;
  std::vector<int> counts, displacements;
  for (std::size_t p = 0; p + 1 < offsets.size(); ++p) {
    if (offsets[p + 1] > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
      throw Error("a gathered array of " + std::to_string(offsets.back()) +
                  " values exceeds the MPI count limit");
    }
    displacements.push_back(static_cast<int>(offsets[p]));
    counts.push_back(static_cast<int>(offsets[p + 1] - offsets[p]));
  }
  MPI_Allgatherv(MPI_IN_PLACE, 0, MPI_DATATYPE_NULL, values, counts.data(), displacements.data(),
                 MPI_DOUBLE, MPI_COMM_WORLD);
}

std::string BroadcastString(const std::string& text) {
  CheckPeers();
  if (!Distributed()) return text;
  long long length = static_cast<long long>(text.size());
  MPI_Bcast(&length, 1, MPI_LONG_LONG, 0, MPI_COMM_WORLD);
  std::string received = text;
  received.resize(static_cast<std::size_t>(length));
  MPI_Bcast(received.data(), static_cast<int>(length), MPI_CHAR, 0, MPI_COMM_WORLD);
  return received;
}

void AgreeOnSuccess(const std::function<void()>& phase) {
  if (!Distributed()) {
    phase();
    return;
  }
  const int rank = Rank();
  std::exception_ptr failure;
  int firstFailing = Processes();
  try {
    phase();
    firstFailing = LowestFailingRank(Processes());
  } catch (const PeerFailure& peer) {
    // The failed processes have answered already.
    firstFailing = peer.Rank();
  } catch (...) {
    failure = std::current_exception();
    firstFailing = LowestFailingRank(rank);
  }
  if (firstFailing == Processes()) return;
  std::string message = rank == firstFailing ? FailureMessage(failure) : std::string();
  long long length = static_cast<long long>(message.size());
  MPI_Bcast(&length, 1, MPI_LONG_LONG, firstFailing, MPI_COMM_WORLD);
  message.resize(static_cast<std::size_t>(length));
  MPI_Bcast(message.data(), static_cast<int>(length), MPI_CHAR, firstFailing, MPI_COMM_WORLD);
  throw Error(message);
}

#else

MpiSession::MpiSession(int&, char**&) {}
MpiSession::~MpiSession() = default;
int Rank() { return 0; }
int Processes() { return 1; }
void SumOverProcesses(double*, std::size_t) {}
void GatherParts(double*, const std::vector<std::size_t>&) {}
std::string BroadcastString(const std::string& text) { return text; }

void AgreeOnSuccess(const std::function<void()>& phase) { phase(); }
void CheckPeers() {}

#endif

void SumOverProcesses(std::complex<double>* values, std::size_t count) {
  // std::complex<double> is two doubles, real then imaginary.
  SumOverProcesses(reinterpret_cast<double*>(values), 2 * count);
}

void GatherParts(std::complex<double>* values, const std::vector<std::size_t>& offsets) {
  std::vector<std::size_t> doubled(offsets.size());
  for (std::size_t p = 0; p < offsets.size(); ++p) doubled[p] = 2 * offsets[p];
  GatherParts(reinterpret_cast<double*>(values), doubled);
}

void RequireConsecutiveNodes(const std::vector<std::int64_t>& dofNodes,
                             const std::string& basisPath) {
  std::unordered_map<std::int64_t, std::size_t> lastRow;
  for (std::size_t row = 0; row < dofNodes.size(); ++row) {
    const auto [seen, added] = lastRow.emplace(dofNodes[row], row);
    if (!added && seen->second + 1 != row) {
      throw Error(basisPath + ": dataset 'dofmap': the rows of node " +
                  std::to_string(dofNodes[row]) + " are not together (rows " +
                  std::to_string(seen->second) + " and " + std::to_string(row) +
                  "); a run over several processes needs each node's rows one after another");
    }
    seen->second = row;
  }
}

RowBlock EvenShare(std::int64_t count, int parts, int part) {
  const std::int64_t first = count * part / parts;
  return {first, count * (part + 1) / parts - first};
}

std::vector<std::size_t> ShareOffsets(std::int64_t count, std::size_t width) {
  std::vector<std::size_t> offsets;
  for (int p = 0; p <= Processes(); ++p) {
    offsets.push_back(static_cast<std::size_t>(count * p / Processes()) * width);
  }
  return offsets;
}

RowBlock PartitionRows(const std::vector<std::int64_t>& dofNodes, int parts, int part) {
  const std::int64_t rows = static_cast<std::int64_t>(dofNodes.size());
  // Block p ends at the first node boundary at or after its share
  // rows * (p + 1) / parts, so every block holds whole nodes.
  const auto boundary = [&](int p) -> std::int64_t {
    if (p <= 0) return 0;
    if (p >= parts) return rows;
    std::int64_t row = rows * p / parts;
    while (row > 0 && row < rows &&
           dofNodes[static_cast<std::size_t>(row)] == dofNodes[static_cast<std::size_t>(row - 1)])
      ++row;
    return row;
  };
  const std::int64_t first = boundary(part);
  return {first, std::max<std::int64_t>(boundary(part + 1) - first, 0)};
}

}  // namespace qvadyn
