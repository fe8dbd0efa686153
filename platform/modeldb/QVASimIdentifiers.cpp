// Validity of the identifiers of the model database: an identifier is valid
// when it has a database and names a record that the database holds now.

#include "platform/modeldb/QVASimCSetID.h"
#include "platform/modeldb/QVASimCollectionID.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "platform/modeldb/QVASimDistributionID.h"
#include "platform/modeldb/QVASimStore.h"

bool QVASimCollectionID::IsValid() const {
  return database_ != nullptr && index_ >= 0 && index_ < database_->Store().NumberOfCollections();
}

bool QVASimCSetID::IsValid() const {
  return database_ != nullptr && database_->Store().SetExists(index_);
}

bool QVASimDistributionID::IsValid() const {
  return database_ != nullptr && database_->Store().DistributionExists(index_);
}
