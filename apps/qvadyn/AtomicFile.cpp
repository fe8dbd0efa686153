#include "AtomicFile.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "Error.h"

namespace qvadyn {

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
  static std::atomic<int> counter{0};
  const std::filesystem::path target(path_);
  const std::string name = "." + target.filename().string() + ".tmp-" + std::to_string(getpid()) +
                           "-" + std::to_string(counter++);
  temporary_ = (target.parent_path() / name).string();
}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : path_(std::move(other.path_)),
      temporary_(std::move(other.temporary_)),
      committed_(other.committed_) {
  other.committed_ = true;
}

AtomicFile::~AtomicFile() {
  if (!committed_) std::remove(temporary_.c_str());
}

void AtomicFile::Commit() {
  if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    throw Error(path_ + ": cannot be written (" + reason + ")");
  }
  committed_ = true;
}

}  // namespace qvadyn
