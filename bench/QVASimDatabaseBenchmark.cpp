// Costs of the model database at the size of a large model (200,000 DOFs):
// set creation, member lookup, intersection and solver-DOF set-up, each
// reported as a ratio to a plain loop over the same data measured in the same
// run (counter "vsPlainLoop"), and the memory a dense distribution takes
// beyond its values (counter "overheadFraction", target below 0.05).

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <numeric>
#include <random>
#include <vector>

#include "internal/QVADataKinds.h"
#include "internal/QVANumerics.h"
#include "platform/modeldb/QVAFsmSystemDofDefinition.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "platform/modeldb/QVASimDistribution.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimTransaction.h"

namespace {

using Clock = std::chrono::steady_clock;

template <class Work>
double Seconds(Work work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Best of five runs of the baseline.
template <class Work>
double BaselineSeconds(Work work) {
  double best = Seconds(work);
  for (int run = 1; run < 5; ++run) best = std::min(best, Seconds(work));
  return best;
}

std::vector<int> ShuffledMembers(int count) {
  std::vector<int> members(QVAIndex(count));
  std::iota(members.begin(), members.end(), 0);
  std::shuffle(members.begin(), members.end(), std::mt19937(5));
  return members;
}

void Report(benchmark::State& state, double seconds, double baseline) {
  state.counters["vsPlainLoop"] = seconds / static_cast<double>(state.iterations()) / baseline;
}

// CreateOrderedCSet (checks members and duplicates, copies them) against a
// plain copy with a duplicate check over a flag table.
void BM_CreateOrderedSet(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::vector<int> members = ShuffledMembers(count);
  const double baseline = BaselineSeconds([&] {
    std::vector<char> seen(members.size(), 0);
    std::vector<int> copy(members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
      seen[QVAIndex(members[i])] = 1;
      copy[i] = members[i];
    }
    benchmark::DoNotOptimize(copy.data());
    benchmark::DoNotOptimize(seen.data());
  });
  QVASimDatabase database;
  const QVASimCollection dofs(database.CreateCollection(QVASimKind::Dofs(), count));
  double seconds = 0.0;
  for (auto _ : state) {
    seconds += Seconds(
        [&] { benchmark::DoNotOptimize(dofs.CreateOrderedCSet(members.data(), count).Index()); });
  }
  Report(state, seconds, baseline);
}
BENCHMARK(BM_CreateOrderedSet)->Arg(200000)->Unit(benchmark::kMillisecond);

// IndexOf of every member (the first call builds the index) against a lookup
// in a plain inverse table.
void BM_IndexOfEveryMember(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::vector<int> members = ShuffledMembers(count);
  std::vector<int> inverse(members.size());
  for (int i = 0; i < count; ++i) inverse[QVAIndex(members[QVAIndex(i)])] = i;
  const double baseline = BaselineSeconds([&] {
    long sum = 0;
    for (int member = 0; member < count; ++member) sum += inverse[QVAIndex(member)];
    benchmark::DoNotOptimize(sum);
  });
  QVASimDatabase database;
  const QVASimCollection dofs(database.CreateCollection(QVASimKind::Dofs(), count));
  const QVASimCSet set(dofs.CreateOrderedCSet(members.data(), count));
  double seconds = 0.0;
  for (auto _ : state) {
    seconds += Seconds([&] {
      long sum = 0;
      for (int member = 0; member < count; ++member) sum += set.IndexOf(member);
      benchmark::DoNotOptimize(sum);
    });
  }
  Report(state, seconds, baseline);
}
BENCHMARK(BM_IndexOfEveryMember)->Arg(200000)->Unit(benchmark::kMillisecond);

// Intersection of two half-overlapping sets against a plain flag-table filter.
void BM_Intersection(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  std::vector<int> first = ShuffledMembers(count);
  std::vector<int> second(first.begin() + count / 2, first.end());
  const double baseline = BaselineSeconds([&] {
    std::vector<char> inSecond(QVAIndex(count), 0);
    for (const int member : second) inSecond[QVAIndex(member)] = 1;
    std::vector<int> common;
    common.reserve(first.size());
    for (const int member : first) {
      if (inSecond[QVAIndex(member)]) common.push_back(member);
    }
    benchmark::DoNotOptimize(common.data());
  });
  QVASimDatabase database;
  const QVASimCollection dofs(database.CreateCollection(QVASimKind::Dofs(), count));
  double seconds = 0.0;
  for (auto _ : state) {
    seconds += Seconds([&] {
      const QVASimCSet a(dofs.CreateOrderedCSet(first.data(), count));
      const QVASimCSet b(dofs.CreateOrderedCSet(second.data(), static_cast<int>(second.size())));
      benchmark::DoNotOptimize(a.Intersection(b).Index());
    });
  }
  Report(state, seconds, baseline);
}
BENCHMARK(BM_Intersection)->Arg(200000)->Unit(benchmark::kMillisecond);

// SetupSolverDofs from a row set of every DOF (structural first) against a
// plain inversion of the same permutation.
void BM_SetupSolverDofs(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  constexpr int kPlaces = 6;
  QVAFsmSystemDofDefinition definition((count + kPlaces - 1) / kPlaces, kPlaces);
  for (int dof = 0; dof < count; ++dof)
    definition.AddDof(dof / kPlaces, dof % kPlaces, dof % kPlaces + 1);
  const std::vector<int> rows = ShuffledMembers(count);
  const double baseline = BaselineSeconds([&] {
    std::vector<int> inverse(QVAIndex(count), -1);
    for (int i = 0; i < count; ++i) inverse[QVAIndex(rows[QVAIndex(i)])] = i;
    benchmark::DoNotOptimize(inverse.data());
  });
  QVASimDatabase database;
  const QVASimCollection dofs(database.CreateCollection(QVASimKind::Dofs(), count));
  const QVASimCSetID rowSet = dofs.CreateOrderedCSet(rows.data(), count);
  double seconds = 0.0;
  for (auto _ : state) {
    seconds += Seconds([&] { definition.SetupSolverDofs(rowSet); });
  }
  Report(state, seconds, baseline);
}
BENCHMARK(BM_SetupSolverDofs)->Arg(200000)->Unit(benchmark::kMillisecond);

// Heap and mapped bytes in use.
double BytesInUse() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<double>(info.uordblks + info.hblkhd);
}

// Bytes a 200,000 x 20 dense distribution takes beyond its values.
void BM_DenseDistributionMemory(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  constexpr int kColumns = 20;
  double overhead = 0.0;
  for (auto _ : state) {
    QVASimDatabase database;
    const QVASimCollection dofs(database.CreateCollection(QVASimKind::Dofs(), rows));
    const QVASimCollection modes(database.CreateCollection(QVASimKind::Modes(), kColumns));
    const QVASimCSetID sets[] = {dofs.CreateCSetStrided(0, rows, 1, 1),
                                 modes.CreateCSetStrided(0, kColumns, 1, 1)};
    QVASimTransaction transaction(database);
    const QVASimPosition owner = dofs.Position();
    const double before = BytesInUse();
    const int chunks[] = {100, 5};
    const QVASimDistributionID values = database.CreateDistribution(
        owner, QVATypeIndex(QVADataKinds::kModeShapes), 2, sets, chunks, false);
    const double used = BytesInUse() - before;
    const double valueBytes = static_cast<double>(rows) * kColumns * sizeof(double);
    overhead = (used - valueBytes) / valueBytes;
    benchmark::DoNotOptimize(QVASimDistribution(values).Values());
    transaction.Commit();
  }
  state.counters["overheadFraction"] = overhead;
}
BENCHMARK(BM_DenseDistributionMemory)->Arg(200000)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
