#pragma once

// A choice of members by collection, used to take a sub-distribution: each
// (collection, member) pair fixes the dimension of the distribution whose set
// is over that collection at the position of that member. Pairs whose
// collection no dimension uses are ignored.
//
//   QVASimDMember slice(results.ComplexNumberPart(), 4);            // real part
//   slice.Add(results.CasesCollection(), QVASimCSet(results.Cases())[loadCase]);
//   QVASimDistribution frames(results.GU(), slice);                 // modes x frames

#include "platform/base/QVAPlatformExport.h"
#include "platform/modeldb/QVASimCollectionID.h"

class QVA_PLATFORM_EXPORT QVASimDMember {
 public:
  static constexpr int kMaximumPairs = 4;

  QVASimDMember() = default;
  QVASimDMember(const QVASimCollectionID& collection, int member) { Add(collection, member); }
  // Adds a pair; raises beyond kMaximumPairs pairs.
  void Add(const QVASimCollectionID& collection, int member);
  int Count() const { return count_; }
  const QVASimCollectionID& Collection(int i) const { return collections_[i]; }
  int Member(int i) const { return members_[i]; }

 private:
  QVASimCollectionID collections_[kMaximumPairs];
  int members_[kMaximumPairs] = {};
  int count_ = 0;
};
