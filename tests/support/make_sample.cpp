// Writes the sample photo (SamplePhotos.h) to the path given, so that a fresh
// build has a photo with EXIF data to show.
#include <cstdio>
#include <exception>

#include "PhotoBuilder.h"
#include "SamplePhotos.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.jpg\n", argv[0]);
    return 2;
  }
  try {
    tessaly::testing::WriteFile(argv[1], tessaly::testing::SampleJpeg());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
