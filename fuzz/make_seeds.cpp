// Writes the seed corpus of the fuzz target into the folder given: the
// sample photo in both byte orders, as JPEG and TIFF, one photo per maker-note
// layout, and one with an IPTC block.
#include <cstdio>
#include <exception>
#include <string>

#include "IptcSeeds.h"
#include "MakerNoteSeeds.h"
#include "PhotoBuilder.h"
#include "SamplePhotos.h"

int main(int argc, char** argv) {
  using namespace tessaly::testing;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  try {
    WriteFile(dir + "/sample-ii.jpg", SampleJpeg(false));
    WriteFile(dir + "/sample-mm.jpg", SampleJpeg(true));
    WriteFile(dir + "/sample-ii.tif", SampleTiff(false));
    WriteFile(dir + "/sample-mm.tif", SampleTiff(true));
    WriteFile(dir + "/iptc.jpg", IptcSampleJpeg());
    for (const MakerNoteSample& s : MakerNoteSamples()) WriteFile(dir + "/" + s.name + ".jpg", s.jpeg);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
