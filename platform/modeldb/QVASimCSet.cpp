#include "platform/modeldb/QVASimCSet.h"

#include <vector>

#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "platform/modeldb/QVASimStore.h"
#include "platform/modeldb/impl/QVASimChecks.h"

QVASimCSet::QVASimCSet(const QVASimCSetID& id) : id_(id) {
  QVASimChecks::SetStore(id, "QVASimCSet");
}

int QVASimCSet::Size() const {
  return QVASimChecks::SetStore(id_, "QVASimCSet::Size").Set(id_.Index()).size;
}

int QVASimCSet::operator[](int position) const {
  const char* caller = "QVASimCSet::operator[]";
  QVASimStore& store = QVASimChecks::SetStore(id_, caller);
  const int size = store.Set(id_.Index()).size;
  QVA_VERIFY(position >= 0 && position < size, kQVASrvIndexOutOfRange,
             caller << ": position " << position << " outside set " << id_.Index() << " of " << size
                    << " members (0 ... " << size - 1 << ")");
  return store.SetMembers(id_.Index())[position];
}

const int* QVASimCSet::OrderedMembers() const {
  return QVASimChecks::SetStore(id_, "QVASimCSet::OrderedMembers").SetMembers(id_.Index());
}

int QVASimCSet::IndexOf(int member) const {
  return QVASimChecks::SetStore(id_, "QVASimCSet::IndexOf").SetPosition(id_.Index(), member);
}

QVASimCollectionID QVASimCSet::Collection() const {
  const int collection =
      QVASimChecks::SetStore(id_, "QVASimCSet::Collection").Set(id_.Index()).collection;
  return QVASimCollectionID(id_.Database(), collection);
}

QVASimCSetID QVASimCSet::Intersection(const QVASimCSet& other) const {
  const char* caller = "QVASimCSet::Intersection";
  QVASimStore& store = QVASimChecks::SetStore(id_, caller);
  QVASimChecks::SetStore(other.id_, caller);
  QVASimChecks::VerifySameDatabase(id_.Database(), other.id_.Database(), "set", other.id_.Index(),
                                   caller);
  const QVASimSetInfo info = store.Set(id_.Index());
  const QVASimSetInfo otherInfo = store.Set(other.id_.Index());
  QVA_VERIFY(info.collection == otherInfo.collection, kQVASimWrongCollection,
             caller << ": set " << id_.Index() << " is over collection " << info.collection
                    << ", set " << other.id_.Index() << " over collection "
                    << otherInfo.collection);
  const int* members = store.SetMembers(id_.Index());
  std::vector<int> common;
  common.reserve(QVAIndex(info.size));
  for (int i = 0; i < info.size; ++i) {
    if (store.SetPosition(other.id_.Index(), members[i]) >= 0) common.push_back(members[i]);
  }
  return QVASimCSetID(id_.Database(), store.AddSet(info.collection, common.data(),
                                                   static_cast<int>(common.size()), true));
}
