// Fuzz target of QVADYNREADKVREIG and QVADYNACOUSTICPROJECTION. An input is a
// 17-byte prefix, a family byte and four 32-bit little-endian arguments,
// followed by the bytes of one scratch file:
//
//   family 0  kvr.ee2    codes 10, 11 (first argument, when not 0, as count)
//   family 1  kvr.ev     codes 20, 21 twice (column length, first, last), -20
//   family 2  kvr.er1    codes 30, 31 twice (first, last), -30
//   family 3  kvr.ep_ac  projection code 1 (rows, vectors kept small; kept)
//   family 4  kvr.erp    projection code 2 (rows kept small; kept)
//
// Arguments that the routines check against the file are passed as they are;
// the shapes of the caller's arrays are kept small. Output arrays are sized to
// what a file of this size can fill, so a count that escaped the checks shows
// up as an out-of-bounds write. Every failure must be a QVABasError, and a
// kvr.ep written by code 1 must read back with the record count of its header.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "eigensolver_io/QVADynKvrRoutines.h"
#include "eigensolver_io/fuzz/QVADynScratchFuzzSupport.h"
#include "eigensolver_io/impl/QVADynKvrScratchFiles.h"
#include "eigensolver_io/impl/QVADynScratchRecordReader.h"
#include "platform/base/QVABasException.h"

namespace {

constexpr std::size_t kPrefixBytes = 17;
constexpr int kMaxRows = 64;
constexpr int kMaxVectors = 8;

int ArgumentAt(const std::uint8_t* data, int index) {
  const std::uint8_t* bytes = data + 1 + 4 * index;
  const std::uint32_t value = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                              std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
  return static_cast<int>(value);
}

void ReadKvr(int code, int* a2, int* a3, double* a4, int a5, int a6) {
  QVADYNREADKVREIG(&code, a2, a3, a4, &a5, &a6);
}

// Reads kvr.ep back whole; aborts unless it holds the records its header counts.
void CheckProjectionFile() {
  QVADynScratchRecordReader reader;
  if (!reader.Open(kQVADynKvrProjectionFile)) return;
  int header[2] = {};
  reader.ReadRecordInts(header, 2);
  std::int64_t records = 0;
  while (reader.RemainingBytes() > 0) {
    int count = 0;
    reader.BeginRecord();
    reader.ReadInts(&count, 1);
    if (reader.RemainingRecordBytes() != std::int64_t{count} * 12) std::abort();
    reader.EndRecord();
    ++records;
  }
  if (records != header[1]) std::abort();
  reader.CloseAndDelete();
}

void Run(int family, const int* arguments, std::vector<double>& values) {
  int a2 = 0;
  int a3 = 0;
  switch (family) {
    case 0:
      ReadKvr(10, &a2, &a3, values.data(), 0, 0);
      if (a3 < 0) return;
      if (arguments[0] != 0) a3 = arguments[0];
      ReadKvr(11, &a2, &a3, values.data(), 0, 0);
      break;
    case 1:
      ReadKvr(20, &a2, &a3, values.data(), 0, 0);
      if (a3 < 0) return;
      if (arguments[0] != 0) a2 = arguments[0];
      ReadKvr(21, &a2, &a3, values.data(), arguments[1], arguments[2]);
      ReadKvr(21, &a2, &a3, values.data(), arguments[3], arguments[2]);
      ReadKvr(-20, &a2, &a3, values.data(), 0, 0);
      break;
    case 2:
      ReadKvr(30, &a2, &a3, values.data(), 0, 0);
      ReadKvr(31, &a2, &a3, values.data(), arguments[1], arguments[2]);
      ReadKvr(31, &a2, &a3, values.data(), arguments[3], arguments[2]);
      ReadKvr(-30, &a2, &a3, values.data(), 0, 0);
      break;
    case 3: {
      int code = 1;
      const int rows = arguments[0] % (kMaxRows + 1);
      const int vectors = arguments[1] % (kMaxVectors + 1);
      QVADYNACOUSTICPROJECTION(&code, &rows, &vectors, values.data(), &arguments[2]);
      CheckProjectionFile();
      break;
    }
    case 4: {
      int code = 2;
      const int rows = arguments[0] % (kMaxRows + 1);
      const int unused = 0;
      QVADYNACOUSTICPROJECTION(&code, &rows, &unused, values.data(), &arguments[2]);
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kPrefixBytes) return 0;
  QVADynFuzzScratchDirectory directory;
  static constexpr const char* kFiles[] = {
      kQVADynKvrStructuralVectorFile, kQVADynKvrStructuralModesFile, kQVADynKvrViscousDampingFile,
      kQVADynKvrEigensolverProjectionFile, kQVADynKvrProjectedValuesFile};
  const int family = data[0] % 5;
  const int arguments[4] = {ArgumentAt(data, 0), ArgumentAt(data, 1), ArgumentAt(data, 2),
                            ArgumentAt(data, 3)};
  const std::size_t fileBytes = size - kPrefixBytes;
  QVADynFuzzWriteFile(kFiles[family], data + kPrefixBytes, fileBytes);

  // Room for every value a file of this size can hold, in the widest layout
  // the routines write (rows of X with leading dimension up to kMaxRows), and
  // for the columns of X that code 1 reads.
  const std::size_t room = (fileBytes / 8 + 2) * (kMaxRows + 1) + kMaxRows * kMaxVectors;
  std::vector<double> values(room, 0.0);
  try {
    Run(family, arguments, values);
  } catch (const QVABasError&) {
  }
  for (const char* fileName : kFiles) std::remove(fileName);
  std::remove(kQVADynKvrProjectionFile);
  return 0;
}
