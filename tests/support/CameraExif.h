// The EXIF block of a camera photo as the tests of stamped copies need it: a
// Canon maker note whose offsets count from the TIFF header, the three
// dates, Orientation 6, a GPS directory, and IFD1 with a thumbnail after
// everything else.
#pragma once

#include <string>

#include "MakerNoteSeeds.h"
#include "PhotoBuilder.h"

namespace tessaly::testing {

struct CameraExif {
  std::string tiff;
  std::string thumbnail;  // the bytes IFD1 points to
};

inline CameraExif CameraExifBlock(bool be) {
  const MakerNotePhoto note = CanonPhoto(be);
  TiffBuilder t = note.Builder();  // Make, Model; EXIF directory 1 with the note
  CameraExif camera;
  camera.thumbnail = std::string("\xFF\xD8 the photo before its stamp \xFF\xD9", 32);
  t.AddShort(0, 0x0100, {640});
  t.AddShort(0, 0x0101, {480});
  t.AddShort(0, 0x0112, {6});
  t.AddAscii(0, 0x0132, "2021:05:06 07:08:09");
  const int gps = t.AddDirectory(), ifd1 = t.AddDirectory();
  t.Link(0, 0x8825, gps);
  t.SetNext(0, ifd1);
  t.AddRational(1, 0x829A, {{1, 250}});
  t.AddAscii(1, 0x9003, "2021:05:06 07:08:09");
  t.AddAscii(1, 0x9004, "2021:05:06 07:08:10");
  t.AddShort(1, 0xA003, {480});
  t.AddAscii(gps, 0x0001, "N");
  t.AddRational(gps, 0x0002, {{55, 1}, {45, 1}, {1234, 100}});
  t.AddAscii(gps, 0x0003, "E");
  t.AddRational(gps, 0x0004, {{37, 1}, {37, 1}, {5678, 100}});
  t.AddShort(ifd1, 0x0103, {6});
  t.AddLong(ifd1, 0x0201, {0});
  t.AddLong(ifd1, 0x0202, {uint32_t(camera.thumbnail.size())});
  // The note's offsets and the thumbnail's follow the final layout.
  t.Replace(1, 0x927C, note.Note(t.ValueOffset(1, 0x927C)));
  t.Replace(ifd1, 0x0201, U32(uint32_t(t.Build().size()), be));
  camera.tiff = t.Build() + camera.thumbnail;
  return camera;
}

}  // namespace tessaly::testing
