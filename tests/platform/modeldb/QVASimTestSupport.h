#pragma once

// Helpers of the model-database tests: a check that an operation raises the
// platform error with a given number and message parts, and a small modal
// system with its event results.
//
//   QVAExpectRaises([&] { set[7]; }, kQVASrvIndexOutOfRange, {"position 7", "0 ... 4"});

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "platform/base/QVABasException.h"
#include "platform/modeldb/QVASimDatabase.h"

// Runs `operation`, which must raise QVABasError `number` whose message holds
// every one of `parts`.
template <class Operation>
void QVAExpectRaises(Operation operation, int number, std::initializer_list<const char*> parts) {
  try {
    operation();
    ADD_FAILURE() << "no error raised; expected error " << number;
  } catch (const QVABasError& error) {
    EXPECT_EQ(error.ErrorNumber(), number) << error.what();
    const std::string message = error.what();
    for (const char* part : parts) {
      EXPECT_NE(message.find(part), std::string::npos)
          << "message \"" << message << "\" lacks \"" << part << "\"";
    }
  }
}

// A database with one modal system (dofs DOFs, nodes nodes) and its results.
struct QVASimTestModel {
  explicit QVASimTestModel(int dofs = 6, int nodes = 2)
      : modal(database.CreateModalSystem(dofs, nodes)),
        results(database.CreateModalEventResults(modal)) {}
  QVASimDatabase database;
  QVAFsmModalSystem modal;
  QVAFsmModalEventResults results;
};
