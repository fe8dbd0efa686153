#pragma once

// A log file in a private temporary directory, opened through a QVADynLogFile
// handle, whose contents a test compares byte for byte. The directory is
// removed with the capture; handles copied from Log() may outlive it (their
// writes then go to the deleted file).
//
//   QVATestLogCapture capture;
//   QVADynModalSystem modal(dofs, database object, capture.Log());
//   modal.BeginNodalModeAccess(nullptr);
//   modal.EndNodalModeAccess();
//   EXPECT_EQ(capture.Contents(),
//             "Elapsed time spent accessing element-nodal mode shapes: 0\n");

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "QVADyn/QVADynCore/QVADynLogFile.h"

class QVATestLogCapture {
 public:
  QVATestLogCapture() {
    static std::atomic<int> counter{0};
    directory_ =
        std::filesystem::temp_directory_path() /
        ("QVATestLogCapture-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
    log_.Open(Path().c_str());
  }
  QVATestLogCapture(const QVATestLogCapture&) = delete;
  QVATestLogCapture& operator=(const QVATestLogCapture&) = delete;
  ~QVATestLogCapture() {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }

  // The open handle; components copy it.
  QVADynLogFile& Log() { return log_; }
  std::string Path() const { return (directory_ / "analysis.log").string(); }
  // Everything written so far (every Write flushes).
  std::string Contents() const {
    std::ifstream in(Path(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path directory_;
  QVADynLogFile log_;
};
