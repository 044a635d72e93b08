// Writes the seeds of the EXIF rewriting's fuzz target: camera EXIF blocks
// in both byte orders (maker note, GPS, IFD1 with a thumbnail) and the
// blocks of the maker-note photos.
#include <string>

#include "CameraExif.h"
#include "MakerNoteSeeds.h"
#include "PhotoBuilder.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  using namespace tessaly::testing;
  const std::string folder = argv[1];
  WriteFile(folder + "/camera-ii.tif", CameraExifBlock(false).tiff);
  WriteFile(folder + "/camera-mm.tif", CameraExifBlock(true).tiff);
  WriteFile(folder + "/canon.tif", CanonPhoto(false).Tiff());
  WriteFile(folder + "/nikon.tif", NikonType3Photo(true).Tiff());
  WriteFile(folder + "/olympus.tif", OlympusPhoto(false).Tiff());
  return 0;
}
