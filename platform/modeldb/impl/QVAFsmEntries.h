#pragma once

// Named entries of the model objects (systems, event results, tasks), shared by
// the QVAFsm classes. A model object is a position whose store object holds
// its entries by name; a getter reads an entry, a setter checks the
// transaction and the value and writes the entry through the store's undo log:
//
//   QVASimCSetID modes = QVAFsmEntries::GetSet(position, QVAFsmEntries::kModes, caller);
//   QVAFsmEntries::PutSet(transaction, position, QVAFsmEntries::kModes, set,
//                         modesCollection, caller);   // raises for a set over another collection

#include "platform/modeldb/QVASimCSetID.h"
#include "platform/modeldb/QVASimCollectionID.h"
#include "platform/modeldb/QVASimDistributionID.h"
#include "platform/modeldb/QVASimPosition.h"

class QVASimTransaction;

namespace QVAFsmEntries {

// Collections and objects that the database sets when it makes an object.
inline constexpr const char* kDofs = "Dofs";
inline constexpr const char* kNodes = "Nodes";
inline constexpr const char* kModesCollection = "ModesCollection";
inline constexpr const char* kDofTypes = "DofTypes";
inline constexpr const char* kComplexNumberPart = "ComplexNumberPart";
inline constexpr const char* kTask = "Task";
inline constexpr const char* kFramesCollection = "FramesCollection";
inline constexpr const char* kCasesCollection = "CasesCollection";

// What a distribution entry must look like to be attached.
enum class Shape { kAnyDense, kSparse, kAny };

// Raises kQVASimWrongCollection unless `position` is a valid position of an
// object of `kind`.
void VerifyObject(const QVASimPosition& position, int kind, const char* className);

QVASimCollectionID GetCollection(const QVASimPosition& position, const char* name,
                                 const char* caller);
QVASimPosition GetObject(const QVASimPosition& position, const char* name, const char* caller);
QVASimCSetID GetSet(const QVASimPosition& position, const char* name, const char* caller);
QVASimDistributionID GetDistribution(const QVASimPosition& position, const char* name,
                                     const char* caller);
double GetNumber(const QVASimPosition& position, const char* name, double absent,
                 const char* caller);

// Attaches `set` under `name`. With a valid `collection` the set must be over
// it.
void PutSet(QVASimTransaction& transaction, const QVASimPosition& position, const char* name,
            const QVASimCSetID& set, const QVASimCollectionID& collection, const char* caller);
// Attaches `distribution` under `name`. With a valid `firstCollection` the
// distribution's first set must be over it.
void PutDistribution(QVASimTransaction& transaction, const QVASimPosition& position,
                     const char* name, const QVASimDistributionID& distribution, Shape shape,
                     const QVASimCollectionID& firstCollection, const char* caller);
void PutNumber(QVASimTransaction& transaction, const QVASimPosition& position, const char* name,
               double value, const char* caller);

}  // namespace QVAFsmEntries
