// The log handle on real files in a private temporary directory: creation,
// exact and flushed writes, sharing between copies, closing with the last
// handle, and the silent handling of files that cannot be created.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "QVADyn/QVADynCore/QVADynLogTexts.h"

namespace {

namespace fs = std::filesystem;

// Number of file descriptors this process holds open.
int OpenDescriptorCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

// The bytes of `file` as they are on disk now.
std::string Contents(const fs::path& file) {
  std::string bytes;
  std::FILE* stream = std::fopen(file.c_str(), "rb");
  if (stream == nullptr) return bytes;
  char buffer[256];
  for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, stream)) > 0;) {
    bytes.append(buffer, count);
  }
  std::fclose(stream);
  return bytes;
}

class QVADynLogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    directory_ = fs::temp_directory_path() /
                 ("QVADynLogFileTest-" + std::to_string(::getpid()) + "-" + test->name());
    fs::remove_all(directory_);
    fs::create_directories(directory_);
  }
  void TearDown() override { fs::remove_all(directory_); }
  std::string PathOf(const char* name) const { return (directory_ / name).string(); }

  fs::path directory_;
};

}  // namespace

TEST_F(QVADynLogFileTest, WritesExactlyAndFlushesEachText) {
  const std::string path = PathOf("analysis.log");
  {
    std::ofstream old(path);
    old << "text of an earlier run\n";
  }
  QVADynLogFile log;
  log.Open(path.c_str());
  EXPECT_EQ(log.HandleCount(), 1);
  EXPECT_TRUE(log.IsWritable());
  EXPECT_EQ(Contents(path), "");  // truncated

  // A text without final line end leaves the next text on the same line; each
  // text is on disk before Write returns, while the file is still open.
  log.Write(kQVADynLogNumberOfModes);
  EXPECT_EQ(Contents(path), "Number of modes: ");
  log.Write(cow_String::FromInt(12).Append(kQVADynLogLineEnd));
  log.Write(cow_String());  // no buffer: writes nothing
  log.Write(cow_String("tab\tand percent %s %d\n"));
  EXPECT_EQ(Contents(path), "Number of modes: 12\ntab\tand percent %s %d\n");
}

TEST_F(QVADynLogFileTest, SecondOpenKeepsTheFirstFile) {
  const std::string first = PathOf("first.log");
  const std::string second = PathOf("second.log");
  QVADynLogFile log;
  log.Open(first.c_str());
  const int descriptors = OpenDescriptorCount();
  log.Open(second.c_str());
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
  EXPECT_EQ(log.HandleCount(), 1);
  log.Write("still here\n");
  EXPECT_FALSE(fs::exists(second));
  EXPECT_EQ(Contents(first), "still here\n");
}

TEST_F(QVADynLogFileTest, CopyOutlivesTheOriginalAndTheLastHandleCloses) {
  const std::string path = PathOf("shared.log");
  const int descriptorsBefore = OpenDescriptorCount();
  auto* original = new QVADynLogFile;
  original->Open(path.c_str());
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore + 1);
  {
    QVADynLogFile copy(*original);
    QVADynLogFile assigned;
    assigned = copy;
    EXPECT_EQ(original->HandleCount(), 3);
    delete original;
    EXPECT_EQ(copy.HandleCount(), 2);
    copy.Write("through the copy\n");
    assigned.Write("through the assigned handle\n");
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore + 1);  // still open
  }
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);  // closed with the last handle
  EXPECT_EQ(Contents(path), "through the copy\nthrough the assigned handle\n");
}

TEST_F(QVADynLogFileTest, AssignmentReleasesTheOwnFileFirst) {
  const std::string first = PathOf("first.log");
  const std::string second = PathOf("second.log");
  const int descriptorsBefore = OpenDescriptorCount();
  QVADynLogFile log;
  log.Open(first.c_str());
  QVADynLogFile other;
  other.Open(second.c_str());
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore + 2);

  log = other;  // the first file loses its only handle and is closed
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore + 1);
  EXPECT_EQ(other.HandleCount(), 2);
  log = other;  // already shared: the count stays
  EXPECT_EQ(other.HandleCount(), 2);

  const QVADynLogFile& same = log;
  log = same;  // assignment to itself changes nothing
  EXPECT_EQ(log.HandleCount(), 2);
  log.Write("second\n");
  EXPECT_EQ(Contents(second), "second\n");

  log = QVADynLogFile();  // a handle without file leaves log without file
  EXPECT_EQ(log.HandleCount(), 0);
  EXPECT_EQ(other.HandleCount(), 1);
}

TEST_F(QVADynLogFileTest, UnwritablePathLosesWritesSilently) {
  const std::string path = PathOf("missing-directory/analysis.log");
  QVADynLogFile log;
  EXPECT_NO_THROW(log.Open(path.c_str()));
  EXPECT_EQ(log.HandleCount(), 1);
  EXPECT_FALSE(log.IsWritable());
  const QVADynLogFile copy(log);
  EXPECT_NO_THROW(copy.Write("lost\n"));
  EXPECT_FALSE(fs::exists(path));

  log.Open(PathOf("other.log").c_str());  // the handle has a record: no new file
  EXPECT_FALSE(fs::exists(PathOf("other.log")));

  QVADynLogFile nullPath;
  EXPECT_NO_THROW(nullPath.Open(nullptr));
  EXPECT_FALSE(nullPath.IsWritable());
  nullPath.Write("lost\n");
}
