// Fuzz target of the record reader. An input is one plan byte followed by the
// bytes of a scratch file. The file is read record by record, each record with
// a different mix of whole reads, partial reads, skips and reads past its end,
// chosen by the plan byte and the record number. Every damaged file must end
// in a QVABasError of number kQVABasFileError; buffers are sized from the byte
// counts the reader accepted, so a count that escaped the checks against the
// file size shows up as an oversized allocation or an out-of-bounds read.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "eigensolver_io/fuzz/QVADynScratchFuzzSupport.h"
#include "eigensolver_io/impl/QVADynScratchRecordReader.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"

namespace {

constexpr int kMaxRecords = 64;

void ReadOneRecord(QVADynScratchRecordReader& reader, int plan, std::int64_t fileSize) {
  const std::int32_t bytes = reader.BeginRecord();
  if (bytes > fileSize) std::abort();
  const std::int64_t doubles = bytes / 8;
  const std::int64_t ints = bytes / 4;
  std::vector<double> values(QVAIndex(doubles + 1));
  std::vector<int> integers(QVAIndex(ints + 2));
  switch (plan % 7) {
    case 0:
      reader.ReadDoubles(values.data(), doubles);
      break;
    case 1:
      reader.ReadInts(integers.data(), 2);
      break;
    case 2:
      reader.ReadDoubles(values.data(), doubles + 1);  // one past the end
      break;
    case 3:
      reader.SkipDoubles(1);
      reader.ReadDoubles(values.data(), doubles > 0 ? doubles - 1 : 0);
      break;
    case 4:
      break;  // the whole record is skipped
    case 5:
      reader.ReadInts(integers.data(), ints);
      break;
    case 6:
      reader.ReadInts(integers.data(), 1);
      reader.SkipDoubles(1);
      reader.ReadDoubles(values.data(), 1);
      break;
  }
  if (reader.RemainingRecordBytes() < 0) std::abort();
  reader.EndRecord();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  QVADynFuzzScratchDirectory directory;
  const int plan = data[0];
  QVADynFuzzWriteFile("records", data + 1, size - 1);
  QVADynScratchRecordReader reader;
  if (!reader.Open("records")) std::abort();
  const auto fileSize = static_cast<std::int64_t>(size - 1);
  try {
    for (int record = 0; record < kMaxRecords && reader.RemainingBytes() > 0; ++record) {
      if (plan >= 128 && record == 1) {
        reader.SkipRecords(plan % 4);
      } else {
        ReadOneRecord(reader, plan + record, fileSize);
      }
      if (reader.RemainingBytes() < 0) std::abort();
    }
  } catch (const QVABasError& error) {
    if (error.ErrorNumber() != kQVABasFileError) std::abort();
  }
  reader.CloseAndDelete();
  return 0;
}
