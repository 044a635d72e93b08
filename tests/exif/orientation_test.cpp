// The Orientation the reader gives: the main image's directory (IFD0) only,
// values 1 to 8, and the same as ExifTool's for the real photos.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "ExifReader.h"
#include "PhotoBuilder.h"

namespace tessaly {
namespace {

using namespace tessaly::testing;
namespace fs = std::filesystem;

int OrientationOf(const std::string& path) {
  TimgData data(kBuildAll);
  data.ReadPicture(path);
  return data.exif ? data.exif->orientation : -1;
}

TEST(ReaderOrientation, FromTheMainDirectoryOnly) {
  struct Case {
    const char* name;
    bool bigEndian;
    std::function<void(TiffBuilder&)> tags;
    int expected;
  };
  const Case cases[] = {
      {"sideways", false, [](TiffBuilder& t) { t.AddShort(0, 0x0112, {6}); }, 6},
      {"big-endian", true, [](TiffBuilder& t) { t.AddShort(0, 0x0112, {8}); }, 8},
      {"as a LONG", false, [](TiffBuilder& t) { t.AddLong(0, 0x0112, {3}); }, 3},
      {"missing", false, [](TiffBuilder& t) { t.AddAscii(0, 0x010F, "Maker"); }, 1},
      {"zero", false, [](TiffBuilder& t) { t.AddShort(0, 0x0112, {0}); }, 1},
      {"nine", true, [](TiffBuilder& t) { t.AddShort(0, 0x0112, {9}); }, 1},
      {"as text", false, [](TiffBuilder& t) { t.AddAscii(0, 0x0112, "6"); }, 1},
      {"in the EXIF directory only", false,
       [](TiffBuilder& t) {
         const int exif = t.AddDirectory();
         t.Link(0, 0x8769, exif);
         t.AddShort(exif, 0x0112, {6});
       },
       1},
  };
  const std::string dir = TempDir("reader-orientation");
  for (const Case& c : cases) {
    TiffBuilder tiff(c.bigEndian);
    c.tags(tiff);
    const std::string path = WriteFile(dir + "/photo.jpg", JpegFile({ExifSegment(tiff.Build())}));
    EXPECT_EQ(OrientationOf(path), c.expected) << c.name;
  }
}

TEST(ReaderOrientation, SameAsExifToolsForTheRealPhotos) {
  const fs::path corpus = TESSALY_CORPUS_DIR;
  if (!fs::is_directory(corpus / "phones")) GTEST_SKIP() << "no corpus at " << corpus;
  const std::regex tag(R"("IFD0:Orientation":\s*(\d+))");
  int compared = 0;
  for (const fs::path& folder : {corpus / "photos", corpus / "phones"}) {
    const fs::path exiftool = folder.filename() == "phones" ? folder / "exiftool" : corpus / "exiftool";
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.path().extension() != ".jpg") continue;
      std::ifstream json(exiftool / (entry.path().filename().string() + ".num.json"));
      std::stringstream text;
      text << json.rdbuf();
      std::smatch m;
      const std::string s = text.str();
      const int expected = std::regex_search(s, m, tag) ? std::stoi(m[1]) : 1;
      EXPECT_EQ(OrientationOf(entry.path().string()), expected) << entry.path();
      ++compared;
    }
  }
  EXPECT_GT(compared, 10);
  EXPECT_EQ(OrientationOf((corpus / "phones" / "Apple_iPhone_4S.jpg").string()), 6);
}

}  // namespace
}  // namespace tessaly
