// Complete photos in the shape cameras write them, built from PhotoBuilder:
// the sample photo of the build, the fuzzing seeds and the benchmark use them,
// and tests take them as a well-formed starting point to break.
#pragma once

#include <string>

namespace tessaly::testing {

// What the sample photo holds, for tests that check it was read.
struct SampleFacts {
  static constexpr const char* kMake = "Tessaly Camera Works";
  static constexpr const char* kModel = "TC-1";
  static constexpr const char* kDateTime = "2024:05:06 07:08:09";   // DateTime
  static constexpr const char* kOriginal = "2024:05:06 07:08:01";   // DateTimeOriginal
  static constexpr const char* kDigitized = "2024:05:06 07:08:02";  // DateTimeDigitized
  static constexpr const char* kUserComment = "Holiday at the sea";
  static constexpr int kWidth = 640, kHeight = 480, kFlash = 25;
};

// TIFF structure: main directory, EXIF directory with an interoperability
// directory, GPS directory. digitized replaces the DateTimeDigitized text (19
// characters and the zero make a well-formed one).
std::string SampleTiff(bool bigEndian, const std::string& digitized = SampleFacts::kDigitized);
// JFIF APP0, the EXIF APP1 of SampleTiff, a comment, then the scan.
std::string SampleJpeg(bool bigEndian = false,
                       const std::string& digitized = SampleFacts::kDigitized);

}  // namespace tessaly::testing
