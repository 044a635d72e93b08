// Malformed and truncated files: each input below has one fault; reading it
// must finish quickly with the stated outcome, never crash, loop or read
// outside memory (the sanitizer build runs these too).
#include <gtest/gtest.h>

#include <set>

#include "ExifReader.h"
#include "PhotoBuilder.h"
#include "SamplePhotos.h"

namespace tessaly {
namespace {

using namespace tessaly::testing;

constexpr int kNoExif = -1;       // no exif object at all
constexpr int kSampleTags = 28;   // records of the intact sample photo
constexpr size_t kMainDir = 8;    // offset of the first directory in SampleTiff

// Offset of entry i of the directory at dir in a TIFF structure.
size_t EntryAt(size_t dir, size_t i) { return dir + 2 + 12 * i; }

std::string Patched(std::string bytes, size_t at, const std::string& with) {
  return bytes.replace(at, with.size(), with);
}

std::string Jpeg(const std::string& tiff) { return JpegFile({ExifSegment(tiff)}); }

// Directories that link to each other through ExifOffset; dir i links to
// links[i] (or nowhere when -1) and holds one description.
std::string Linked(const std::vector<int>& links) {
  TiffBuilder t(false);
  for (size_t i = 1; i < links.size(); ++i) t.AddDirectory();
  for (size_t i = 0; i < links.size(); ++i) {
    t.AddAscii(static_cast<int>(i), 0x010E, "dir " + std::to_string(i));
    if (links[i] >= 0) t.Link(static_cast<int>(i), 0x8769, links[i]);
  }
  return t.Build();
}

// A main directory of `links` ExifOffset entries that all name one directory
// of `entries` entries.
std::string FanOut(int links, int entries) {
  TiffBuilder t(false);
  const int child = t.AddDirectory();
  for (int i = 0; i < links; ++i) t.Link(0, 0x8769, child);
  for (int i = 0; i < entries; ++i) t.AddAscii(child, 0x010E, "abc");
  return t.Build();
}

// Many unknown entries, each naming the whole structure as its value.
std::string HugeValues(int entries) {
  TiffBuilder t(false);
  for (int i = 0; i < entries; ++i) t.AddRawOffset(0, 0xC000, 0);
  std::string tiff = t.Build();
  for (int i = 0; i < entries; ++i) {
    tiff = Patched(tiff, EntryAt(kMainDir, i) + 2, U16(7, false));
    tiff = Patched(tiff, EntryAt(kMainDir, i) + 4, U32(60000, false));
  }
  return tiff + std::string(60000, 'v');
}

struct Hostile {
  const char* fault;
  std::string bytes;
  const char* extension;
  bool read;              // ReadPicture's result
  const char* errorText;
  int tags;               // records stored, or kNoExif
};

std::vector<Hostile> HostileFiles() {
  const std::string tiff = SampleTiff(false);
  const std::string jpeg = SampleJpeg();
  const std::string exifApp1 = ExifSegment(tiff);
  std::vector<std::string> lateApp1s = {Segment(0xFE, "c"), Segment(0xDB, "q"), Segment(0xDB, "q"),
                                        Segment(0xDB, "q"), Segment(0xDB, "q")};
  lateApp1s.insert(lateApp1s.end(), 5000, Segment(0xE1, "late"));
  lateApp1s.push_back(Segment(0xFE, "never reached"));
  std::string deepChain;
  {
    std::vector<int> links;
    for (int i = 0; i < 12; ++i) links.push_back(i + 1 < 12 ? i + 1 : -1);
    deepChain = Linked(links);
  }
  const size_t dateTimeEntry = EntryAt(kMainDir, 6), xResEntry = EntryAt(kMainDir, 3);
  return {
      {"empty file", "", ".jpg", false, "Not an EXIF file", kNoExif},
      {"start of image only", "\xFF\xD8", ".jpg", false, "Not an EXIF file", kNoExif},
      {"no start of image", jpeg.substr(2), ".jpg", false, "Not an EXIF file", kNoExif},
      {"fill bytes to the end", "\xFF\xD8" + std::string(200000, '\xFF'), ".jpg", false,
       "Not an EXIF file", kNoExif},
      {"segment length one", std::string("\xFF\xD8\xFF\xE1\x00\x01", 6) + exifApp1.substr(4), ".jpg", false,
       "Not an EXIF file", kNoExif},
      {"segment longer than the file", "\xFF\xD8\xFF\xE1\xFF\xFF" + exifApp1.substr(4), ".jpg",
       true, "<none>", kSampleTags},
      {"signature misspelt", Patched(Jpeg(tiff), 2 + 4 + 3, "g"), ".jpg", true, "<none>", 0},
      {"byte order mark flipped", Jpeg(Patched(tiff, 1, "M")), ".jpg", true, "<none>", 0},
      {"first directory beyond the segment", Jpeg(Patched(tiff, 4, U32(0x7FFFFFF0, false))),
       ".jpg", true, "Not an EXIF file", 0},
      {"first directory at a negative offset", Jpeg(Patched(tiff, 4, U32(0x80000000, false))),
       ".jpg", true, "Not an EXIF file", 0},
      {"directory count beyond the data", Jpeg(Patched(tiff, kMainDir, U16(0xFFFF, false))),
       ".jpg", true, "<none>", 0},
      {"value offset beyond the segment",
       Jpeg(Patched(tiff, dateTimeEntry + 8, U32(0x7FFFFFFF, false))), ".jpg", true, "<none>",
       kSampleTags},
      {"value offset negative", Jpeg(Patched(tiff, dateTimeEntry + 8, U32(0xFFFFFF00, false))),
       ".jpg", true, "<none>", kSampleTags},
      {"count of 2^31-1 rationals", Jpeg(Patched(tiff, xResEntry + 4, U32(0x7FFFFFFF, false))),
       ".jpg", true, "<none>", kSampleTags},
      {"negative count", Jpeg(Patched(tiff, xResEntry + 4, U32(0xFFFFFFFF, false))), ".jpg", true,
       "<none>", kSampleTags - 1},
      {"unknown field type", Jpeg(Patched(tiff, xResEntry + 2, U16(0x4242, false))), ".jpg", true,
       "<none>", kSampleTags - 1},
      {"directory linked to itself", Jpeg(Linked({0})), ".jpg", true, "<none>", 2},
      {"two directories linked to each other", Jpeg(Linked({1, 0})), ".jpg", true, "<none>", 4},
      {"directories nested twelve deep", Jpeg(deepChain), ".jpg", true, "<none>", 8 + 8},
      {"thousands of links to one directory", Jpeg(FanOut(2500, 2500)), ".jpg", true,
       "Not an EXIF file", 65536},  // as many entries as one walk reads
      {"values larger than any photo's", Jpeg(HugeValues(400)), ".jpg", true, "Not an EXIF file",
       0},
      {"APP1 segments without end after the fifth", JpegFile(lateApp1s), ".jpg", true, "<none>",
       kNoExif},
      {"TIFF shorter than its header", std::string("II*\0", 4), ".tif", false, "Not an EXIF file", kNoExif},
      {"TIFF byte order mark missing", "XX" + tiff.substr(2), ".tif", false, "Not an EXIF file",
       kNoExif},
      {"TIFF directory count beyond the read size", Patched(tiff, kMainDir, U16(0xFFFF, false)),
       ".tif", true, "<none>", 0},
      {"TIFF directory linked to itself", Linked({0}), ".tif", true, "<none>", 2},
  };
}

// Each fault read from a file and from the same bytes in memory: the two
// reads have one outcome, and the one from memory records its name and size.
TEST(HostileFiles, EachFaultHasItsOutcome) {
  const std::string dir = TempDir("hostile");
  int n = 0;
  for (const Hostile& h : HostileFiles()) {
    SCOPED_TRACE(h.fault);
    const std::string path = WriteFile(dir + "/" + std::to_string(++n) + h.extension, h.bytes);
    TimgData fromFile(kBuildAll), fromBytes(kBuildAll);
    const bool readFile = fromFile.ReadPicture(path);
    const bool readBytes = fromBytes.ReadPictureBytes(h.bytes, path);
    for (const auto& [data, read] : {std::pair<const TimgData*, bool>{&fromFile, readFile}, {&fromBytes, readBytes}}) {
      EXPECT_EQ(read, h.read);
      EXPECT_EQ(data->errorText, h.errorText);
      EXPECT_EQ(data->exif ? data->exif->tagCount() : kNoExif, h.tags);
      EXPECT_LE(data->segmentCount, TimgData::kWalkLimit);
    }
    EXPECT_EQ(fromBytes.segmentCount, fromFile.segmentCount);
    EXPECT_EQ(fromBytes.fileName, path);
    EXPECT_EQ(fromBytes.fileSize, static_cast<int64_t>(h.bytes.size()));
    EXPECT_EQ(fromBytes.fileDate, 0.0);
  }
}

// Every prefix and every single flipped byte of the sample photo, as JPEG
// and as TIFF: the outcome is one of the reader's texts and the walk ends.
TEST(HostileFiles, CutAndFlippedSamplesFinish) {
  const std::set<std::string> outcomes = {"<none>", "Not an EXIF file"};
  for (const auto& [photo, name] : {std::pair{SampleJpeg(true), "m.jpg"},
                                    std::pair{SampleTiff(false), "m.tif"}}) {
    std::vector<std::string> variants;
    for (size_t cut = 0; cut < photo.size(); ++cut) variants.push_back(photo.substr(0, cut));
    for (size_t at = 0; at < photo.size(); ++at) {
      std::string flipped = photo;
      flipped[at] = static_cast<char>(~flipped[at]);
      variants.push_back(flipped);
    }
    for (const std::string& bytes : variants) {
      TimgData data(kBuildAll);
      data.ReadPictureBytes(bytes, name);
      ASSERT_EQ(outcomes.count(data.errorText), 1u) << data.errorText;
      if (data.exif) data.exif->ShotDateTime();
    }
  }
}

}  // namespace
}  // namespace tessaly
