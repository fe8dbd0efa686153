// A file written under a temporary name in the folder of its final path and
// renamed onto it by Commit(): readers never see a half-written file, and an
// existing file is replaced only by a complete one. Without Commit() the
// destructor removes the temporary file.
//
//   qvadyn::AtomicFile out("results.h5");      // writes go to out.TemporaryPath()
//   ...
//   out.Commit();                              // rename(".results.h5.tmp-123", "results.h5")
#pragma once

#include <string>

namespace qvadyn {

class AtomicFile {
 public:
  explicit AtomicFile(std::string path);
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  AtomicFile(AtomicFile&& other) noexcept;
  AtomicFile& operator=(AtomicFile&&) = delete;
  ~AtomicFile();

  const std::string& Path() const { return path_; }
  const std::string& TemporaryPath() const { return temporary_; }
  // Renames the temporary file onto Path(); raises qvadyn::Error on failure.
  void Commit();

 private:
  std::string path_;
  std::string temporary_;
  bool committed_ = false;
};

}  // namespace qvadyn
