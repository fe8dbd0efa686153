#pragma once

// Byte order of the scratch files: every count, integer and value is stored
// little-endian. On a little-endian machine the conversion does nothing; on a
// big-endian machine it reverses the bytes of each item in place, so the same
// call converts from file order to machine order and back:
//
//   int counts[2] = {...};             // read from the file
//   QVADynSwapToFileOrder(counts, 2);  // now in machine order

#include <algorithm>
#include <bit>
#include <cstdint>

template <class Item>
void QVADynSwapToFileOrder(Item* items, std::int64_t count) {
  if constexpr (std::endian::native == std::endian::big) {
    auto* bytes = reinterpret_cast<unsigned char*>(items);
    for (std::int64_t item = 0; item < count; ++item) {
      std::reverse(bytes + item * static_cast<std::int64_t>(sizeof(Item)),
                   bytes + (item + 1) * static_cast<std::int64_t>(sizeof(Item)));
    }
  } else {
    static_cast<void>(items);
    static_cast<void>(count);
  }
}
