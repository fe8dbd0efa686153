// The blocks of basis rows of the processes of a run: contiguous, whole
// nodes, DOF counts as near equal as whole nodes allow, empty past the last
// node.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "Distribution.h"

namespace {

// The DOF map's node column of nodes with the given DOF counts.
std::vector<std::int64_t> Nodes(const std::vector<int>& counts) {
  std::vector<std::int64_t> nodes;
  for (std::size_t node = 0; node < counts.size(); ++node)
    nodes.insert(nodes.end(), static_cast<std::size_t>(counts[node]),
                 static_cast<std::int64_t>(100 + node));
  return nodes;
}

TEST(PartitionRows, WholeNodesInNearlyEqualBlocks) {
  struct Case {
    std::vector<int> counts;
    int parts;
    std::vector<std::int64_t> firsts;  // first row of each block, then the row count
  };
  const Case cases[] = {
      {{6, 3, 1, 2, 6, 1, 4}, 1, {0, 23}},
      // Shares 11.5: the cut moves from row 11 (inside node 14) to 12.
      {{6, 3, 1, 2, 6, 1, 4}, 2, {0, 12, 23}},
      {{6, 3, 1, 2, 6, 1, 4}, 3, {0, 9, 18, 23}},
      {{6, 6, 6, 6}, 4, {0, 6, 12, 18, 24}},
      // More processes than nodes: the last ones hold nothing.
      {{3, 3}, 4, {0, 3, 3, 6, 6}},
      {{5}, 3, {0, 5, 5, 5}},
  };
  for (const Case& c : cases) {
    const std::vector<std::int64_t> nodes = Nodes(c.counts);
    for (int part = 0; part < c.parts; ++part) {
      const qvadyn::RowBlock block = qvadyn::PartitionRows(nodes, c.parts, part);
      const std::size_t p = static_cast<std::size_t>(part);
      EXPECT_EQ(block.first, c.firsts[p]) << c.parts << " parts, part " << part;
      EXPECT_EQ(block.first + block.count, c.firsts[p + 1]) << c.parts << " parts, part " << part;
    }
  }
}

}  // namespace
