// libFuzzer target: arbitrary bytes through the bounded JPEG decoder: the
// header, the claim check, then a decode at a scale and with damage refused
// or not as the input's length picks, skipping some rows as a crop does.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "JpegDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tessaly::JpegDecode decode;
  if (!decode.ReadHeader(data, size)) return 0;
  if (!tessaly::WithinRenderCap(decode.Width(), decode.Height()) || !decode.ClaimProblem().empty()) return 0;
  decode.RefuseDamage(size % 2 == 1);
  // Large claims at the smallest scale only, so each input stays quick.
  const bool large = int64_t(decode.Width()) * decode.Height() > 4'000'000;
  const int eighths = large ? 1 : 1 + int(size / 2 % 8);
  if (!decode.Start(eighths)) return 0;
  std::vector<uint8_t> row(size_t(decode.OutputWidth()) * 3);
  for (int y = 0; y < decode.OutputHeight(); ++y) {
    if (y % 64 == 8 && y + 20 < decode.OutputHeight()) {
      if (!decode.SkipRows(20)) return 0;
      y += 20;
    }
    if (!decode.ReadRow(row.data())) return 0;
  }
  return 0;
}
