#include "platform/modeldb/QVASimDMember.h"

#include "platform/base/QVABasException.h"

void QVASimDMember::Add(const QVASimCollectionID& collection, int member) {
  QVA_VERIFY(count_ < kMaximumPairs, kQVASrvIndexOutOfRange,
             "QVASimDMember::Add: pair " << count_ << " (collection " << collection.Index()
                                         << ", member " << member << ") beyond " << kMaximumPairs
                                         << " pairs");
  collections_[count_] = collection;
  members_[count_] = member;
  ++count_;
}
