#include "SamplePhotos.h"

#include "PhotoBuilder.h"

namespace tessaly::testing {

std::string SampleTiff(bool bigEndian, const std::string& digitized) {
  TiffBuilder t(bigEndian);
  const int exif = t.AddDirectory(), gps = t.AddDirectory(), interop = t.AddDirectory();
  t.AddAscii(0, 0x010F, SampleFacts::kMake);
  t.AddAscii(0, 0x0110, SampleFacts::kModel);
  t.AddShort(0, 0x0112, {1});
  t.AddRational(0, 0x011A, {{72, 1}});
  t.AddRational(0, 0x011B, {{72, 1}});
  t.AddShort(0, 0x0128, {2});
  t.AddAscii(0, 0x0132, SampleFacts::kDateTime);
  t.Link(0, 0x8769, exif);
  t.Link(0, 0x8825, gps);

  t.AddRational(exif, 0x829A, {{1, 125}});
  t.AddRational(exif, 0x829D, {{28, 10}});
  t.AddShort(exif, 0x8827, {200});
  t.AddUndefined(exif, 0x9000, "0230");
  t.AddAscii(exif, 0x9003, SampleFacts::kOriginal);
  t.AddAscii(exif, 0x9004, digitized);
  t.AddUndefined(exif, 0x9101, std::string("\x01\x02\x03\x00", 4));
  t.AddSRational(exif, 0x9204, {{-1, 3}});
  t.AddShort(exif, 0x9209, {SampleFacts::kFlash});
  t.AddRational(exif, 0x920A, {{55, 10}});
  t.AddUndefined(exif, 0x9286, std::string("ASCII\0\0\0", 8) + SampleFacts::kUserComment + "  ");
  t.AddLong(exif, 0xA002, {SampleFacts::kWidth});
  t.AddLong(exif, 0xA003, {SampleFacts::kHeight});
  t.Link(exif, 0xA005, interop);

  t.Add(gps, 0x0000, 1, 4, std::string("\x02\x02\x00\x00", 4));
  t.AddAscii(gps, 0x0001, "N");
  t.AddRational(gps, 0x0002, {{51, 1}, {30, 1}, {15, 1}});
  t.AddAscii(gps, 0x0003, "E");
  t.AddRational(gps, 0x0004, {{0, 1}, {739, 100}, {0, 1}});

  t.AddAscii(interop, 0x0001, "R98");
  return t.Build();
}

std::string SampleJpeg(bool bigEndian, const std::string& digitized) {
  const std::string jfif("JFIF\0\x01\x02\x00\x00\x01\x00\x01\x00\x00", 14);
  return JpegFile({Segment(0xE0, jfif), ExifSegment(SampleTiff(bigEndian, digitized)),
                   Segment(0xFE, "Stamped by Tessaly Orvanel")});
}

}  // namespace tessaly::testing
