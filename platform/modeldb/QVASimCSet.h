#pragma once

// Read access to a set of the model database: the ordered members of one
// collection.
//
//   QVASimCSet frames(results.Frames());
//   frames.Size(); frames[0]; frames.IndexOf(member);   // position of a member or -1

#include "platform/base/QVAPlatformExport.h"
#include "platform/modeldb/QVASimCSetID.h"
#include "platform/modeldb/QVASimCollectionID.h"

class QVA_PLATFORM_EXPORT QVASimCSet {
 public:
  // Raises when `id` is not a valid set.
  explicit QVASimCSet(const QVASimCSetID& id);

  QVASimCSetID ID() const { return id_; }
  int Size() const;
  // Member at `position` (0-based); raises for a position outside the set.
  int operator[](int position) const;
  // All members in order; valid as long as the database holds the set.
  const int* OrderedMembers() const;
  // Position of `member` in the set, or -1. Constant time after the first call.
  int IndexOf(int member) const;
  QVASimCollectionID Collection() const;
  // A new volatile set of the members of this set that are also in `other`, in
  // this set's order. Both sets must be over the same collection.
  QVASimCSetID Intersection(const QVASimCSet& other) const;

 private:
  QVASimCSetID id_;
};
