// Real camera photos, when the shared corpus is present beside the project:
// the reader must agree with an independent reader's values (ExifTool's
// JSON output, kept beside the photos) on the shooting date, the camera and
// the numbers both read. Skipped where the corpus is absent.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>

#include "ExifReader.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = TESSALY_CORPUS_DIR;

// ExifTool's "-j -G1" output holds one "Group:Tag": value pair per line;
// values are numbers or strings with JSON escapes.
std::map<std::string, std::string> ExifToolValues(const fs::path& json) {
  std::map<std::string, std::string> values;
  std::ifstream in(json);
  const std::regex pair(R"re(^\s*"([^"]+)":\s*(.*?),?\s*$)re");
  std::string line;
  std::smatch m;
  while (std::getline(in, line)) {
    if (!std::regex_match(line, m, pair)) continue;
    std::string value = m[2];
    if (value.size() >= 2 && value.front() == '"') {
      std::string unquoted;
      for (size_t i = 1; i + 1 < value.size(); ++i) {
        if (value[i] == '\\' && i + 2 < value.size()) ++i;
        unquoted += value[i];
      }
      value = unquoted;
    }
    values[m[1]] = value;
  }
  return values;
}

struct Photo {
  std::string name;
  std::map<std::string, std::string> exiftool;
  std::unique_ptr<TimgData> data;
  const TImageInfo& exif() const { return *data->exif; }
  std::optional<std::string> Value(const std::string& key) const {
    const auto it = exiftool.find(key);
    if (it == exiftool.end()) return std::nullopt;
    return it->second;
  }
};

// The JPEG photos of a corpus folder, each with ExifTool's view of it.
std::vector<Photo> ReadCorpus(const fs::path& folder, const fs::path& views,
                              std::vector<Photo> photos = {}) {
  if (!fs::is_directory(folder)) return photos;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() != ".jpg") continue;
    Photo p;
    p.name = entry.path().filename().string();
    p.exiftool = ExifToolValues(views / (p.name + ".num.json"));
    p.data = std::make_unique<TimgData>(kBuildAll);
    p.data->ReadPicture(entry.path().string());
    photos.push_back(std::move(p));
  }
  return photos;
}

class Corpus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(kCorpus / "photos")) GTEST_SKIP() << "no corpus at " << kCorpus;
    SetDecimalSeparator('.');
    photos = ReadCorpus(kCorpus / "photos", kCorpus / "exiftool");
  }
  std::vector<Photo> photos;
};

// Text without trailing blanks and dots (a loose match; the exact one is
// TextsAndAperturesAsExifToolReadsThem).
std::string Unpadded(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '.')) text.pop_back();
  return text;
}

TEST_F(Corpus, EveryPhotoIsReadWithItsExifData) {
  for (const Photo& p : photos) {
    SCOPED_TRACE(p.name);
    EXPECT_EQ(p.data->errorText, "<none>");
    ASSERT_TRUE(p.data->HasExifSegment());
    EXPECT_GT(p.exif().tagCount(), 20);
  }
}

TEST_F(Corpus, ShootingDateFollowsTheDateRuleOnExifToolsValues) {
  for (const Photo& p : photos) {
    SCOPED_TRACE(p.name);
    TDateTime expected = 0;
    for (const char* key : {"ExifIFD:CreateDate", "ExifIFD:DateTimeOriginal", "IFD0:ModifyDate"})
      if (const auto text = p.Value(key); text && expected == 0) expected = ParseExifDateTime(*text);
    ASSERT_NE(expected, 0);
    EXPECT_EQ(FormatIsoDateTime(p.exif().ShotDateTime()), FormatIsoDateTime(expected));
  }
}

TEST_F(Corpus, SameCamera) {
  for (const Photo& p : photos) {
    SCOPED_TRACE(p.name);
    EXPECT_EQ(Unpadded(p.exif().cameraMake), Unpadded(p.Value("IFD0:Make").value_or("")));
    EXPECT_EQ(Unpadded(p.exif().cameraModel), Unpadded(p.Value("IFD0:Model").value_or("")));
  }
}

// Make and model as written (ExifTool leaves out trailing blanks), and the
// APEX apertures as f-numbers; the phone JPEGs too.
TEST_F(Corpus, TextsAndAperturesAsExifToolReadsThem) {
  const auto all =
      ReadCorpus(kCorpus / "phones", kCorpus / "phones" / "exiftool", std::move(photos));
  const auto unpadded = [](std::string s) { return s.erase(s.find_last_not_of(' ') + 1); };
  int apertures = 0;
  for (const Photo& p : all) {
    SCOPED_TRACE(p.name);
    EXPECT_EQ(unpadded(p.exif().cameraMake), p.Value("IFD0:Make").value_or("?"));
    EXPECT_EQ(unpadded(p.exif().cameraModel), p.Value("IFD0:Model").value_or("?"));
    for (const char* tag : {"ApertureValue", "MaxApertureValue"}) {
      const auto expected = p.Value(std::string("ExifIFD:") + tag);
      if (!expected) continue;
      const std::string fNumber = FormatNumber("F%0.1f", std::stod(*expected));
      EXPECT_EQ(p.exif().TagValueText(tag), fNumber) << tag;
      ++apertures;
    }
  }
  EXPECT_GT(all.size(), 15u);
  EXPECT_GT(apertures, 15);
}

TEST_F(Corpus, SameNumbers) {
  const std::pair<const char*, const char*> numbers[] = {
      {"ExposureTime", "ExifIFD:ExposureTime"}, {"FNumber", "ExifIFD:FNumber"},
      {"FocalLength", "ExifIFD:FocalLength"},   {"ISOSpeedRatings", "ExifIFD:ISO"},
      {"ExifImageWidth", "ExifIFD:ExifImageWidth"}, {"ExifImageLength", "ExifIFD:ExifImageHeight"},
      {"Flash", "ExifIFD:Flash"}};
  int compared = 0;
  for (const Photo& p : photos) {
    for (const auto& [ours, theirs] : numbers) {
      SCOPED_TRACE(p.name + " " + ours);
      const auto expected = p.Value(theirs);
      if (!expected) continue;
      EXPECT_GE(p.exif().TagIndex(ours), 0);
      const double value = std::stod(*expected);
      EXPECT_NEAR(p.exif().TagNumber(ours), value, 1e-6 * std::max(1.0, std::fabs(value)));
      ++compared;
    }
  }
  EXPECT_GT(compared, 60);
}

// Degrees, minutes and seconds as three rationals, in decimal degrees.
double Degrees(const TImageInfo& info, const char* name) {
  const int index = info.TagIndex(name);
  if (index < 0) return -1;
  const std::string& raw = info.tags[static_cast<size_t>(index)].rawBytes;
  double degrees = 0, unit = 1;
  for (size_t at = 0; at + 8 <= raw.size() && at < 24; at += 8, unit *= 60)
    degrees += info.NumericValue(raw.substr(at, 8), 5) / unit;
  return degrees;
}

TEST_F(Corpus, SameGpsPosition) {
  int compared = 0;
  for (const Photo& p : photos) {
    SCOPED_TRACE(p.name);
    for (const char* tag : {"GPSLatitude", "GPSLongitude"}) {
      const auto expected = p.Value(std::string("GPS:") + tag);
      if (!expected) continue;
      EXPECT_NEAR(Degrees(p.exif(), tag), std::stod(*expected), 1e-9);
      ++compared;
    }
  }
  EXPECT_GE(compared, 2);
}

}  // namespace
}  // namespace tessaly
