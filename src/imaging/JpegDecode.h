// JPEG decoding through libjpeg-turbo in plain C++ (no Qt), bounded by what
// the file's data can hold: the header's claim is checked before anything is
// decoded, and the decode stops on a work budget. libjpeg reports errors by
// longjmp; every call into it is fenced by setjmp inside small C-style
// functions (JpegDecode.cpp) that hold no C++ objects, with the error manager
// the encoder uses too (JpegErrors.h). Failures come out as false with a
// text in Error().
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "RenderCap.h"

namespace tessaly {

// Empty when a picture file of fileBytes may claim width x height pixels;
// otherwise why not (a small file cannot hold an enormous picture).
std::string PlausibilityProblem(int64_t width, int64_t height, int64_t fileBytes);

// Reads one JPEG row by row, optionally at a reduced DCT scale, as 8-bit RGB.
class JpegDecode {
 public:
  JpegDecode();
  ~JpegDecode();  // releases libjpeg's state whatever step failed
  JpegDecode(const JpegDecode&) = delete;
  JpegDecode& operator=(const JpegDecode&) = delete;

  // Reads the header from an open file (left open; fileBytes is its size),
  // or from memory that outlives the decoder. Nothing is decoded yet.
  bool ReadHeader(std::FILE* file, int64_t fileBytes);
  bool ReadHeader(const uint8_t* data, size_t size);

  // Empty when the data can hold the picture the header claims (checked
  // after ReadHeader, before Start); otherwise why not.
  std::string ClaimProblem() const;

  // A warning that the data is corrupt or ends early is then an error,
  // "Picture data is damaged: " + libjpeg's text, as soon as it comes.
  void RefuseDamage(bool refuse);

  int Width() const;  // full size
  int Height() const;

  // Starts decoding at eighths/8 of the full size (1..8).
  bool Start(int eighths);
  int OutputWidth() const;
  int OutputHeight() const;

  // The next rows of the output (OutputWidth() * 3 bytes); SkipRows passes
  // over rows without colour output.
  bool ReadRow(uint8_t* row);
  bool SkipRows(int count);

  const std::string& Error() const;
  // libjpeg's text of the first warning that the data is corrupt or ends
  // early; empty for whole data. What could be decoded is still delivered
  // (the rest grey) unless RefuseDamage is set.
  std::string Damage() const;

  struct State;  // libjpeg's structures (JpegDecode.cpp)

 private:
  std::unique_ptr<State> state_;
  std::vector<uint8_t> cmykRow_;
};

}  // namespace tessaly
