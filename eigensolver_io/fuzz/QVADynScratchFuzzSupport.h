#pragma once

// Support of the scratch-file fuzz targets: a private directory for the files
// a target writes, created on first use and removed at exit. While an input
// runs it is the current directory (the routines read and write their files
// there); between inputs the fuzzer's own directory is restored, so relative
// corpus paths on its command line keep working.
//
//   extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
//     QVADynFuzzScratchDirectory directory;
//     QVADynFuzzWriteFile("kvr.ev", data, size);
//     ...
//   }

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

class QVADynFuzzScratchDirectory {
 public:
  QVADynFuzzScratchDirectory() : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(Directory());
  }
  QVADynFuzzScratchDirectory(const QVADynFuzzScratchDirectory&) = delete;
  QVADynFuzzScratchDirectory& operator=(const QVADynFuzzScratchDirectory&) = delete;
  ~QVADynFuzzScratchDirectory() { std::filesystem::current_path(previous_); }

 private:
  // Created once and never destroyed, so that the removal at exit can use it.
  static const std::filesystem::path& Directory() {
    static const std::filesystem::path* const directory = [] {
      std::string pattern =
          (std::filesystem::temp_directory_path() / "qvadyn-fuzz-XXXXXX").string();
      if (mkdtemp(pattern.data()) == nullptr) std::abort();
      auto* created = new std::filesystem::path(pattern);
      std::atexit(Remove);
      return created;
    }();
    return *directory;
  }
  static void Remove() {
    std::error_code ignored;
    std::filesystem::remove_all(Directory(), ignored);
  }

  std::filesystem::path previous_;
};

inline void QVADynFuzzWriteFile(const char* fileName, const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(fileName, "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
}
