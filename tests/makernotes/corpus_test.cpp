// Maker notes of real photos, when the shared corpus is present. Each value
// checked here agrees with what ExifTool reads from the same bytes (its names
// and printed forms differ: ISO 400 is "ISO Speed = 0, 400" here).
#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>

#include "MakerNoteReading.h"

namespace tessaly {
namespace {

struct CorpusPhoto {
  const char* file;
  bool recognised;
  std::vector<std::string> lines;  // listing lines that must be present
};

std::vector<std::string> Lines(const std::string& listing) {
  std::vector<std::string> lines;
  size_t from = 0;
  while (from <= listing.size()) {
    const size_t end = listing.find("\r\n", from);
    lines.push_back(listing.substr(from, end == std::string::npos ? std::string::npos : end - from));
    if (end == std::string::npos) break;
    from = end + 2;
  }
  return lines;
}

TEST(CorpusMakerNotes, ListTheValuesExifToolFinds) {
  const std::filesystem::path photos = std::filesystem::path(TESSALY_CORPUS_DIR) / "photos";
  if (!std::filesystem::is_directory(photos)) GTEST_SKIP() << "no corpus at " << photos;
  SetDecimalSeparator('.');
  const CorpusPhoto corpus[] = {
      {"Canon_EOS_350D.jpg", true,
       {"Macro mode = Normal", "Compression Rate = SuperFine", "Flash Mode = On+red eye",
        "Drive Mode = Continuous", "Focus Mode = One-Shot", "White balance = Sunny",
        "ImageType = \"Canon EOS 350D DIGITAL\""}},
      // ExifTool finds the same text: the camera stored the type one word early.
      {"Canon_PowerShot_S40_1.jpg", true,
       {"ImageType = \"werShot S40 JPEG\"", "OwnerName = \"Ekholm\"", "ImageNumber = 1010118"}},
      {"Casio_QV-3000EX.jpg", true,
       {"RecordingMode = Single Shutter", "Quality = Fine", "FocusingMode = Macro", "FlashMode = On",
        "FlashIntensity = Normal", "ObjectDistance = 179", "WhiteBalance = Auto",
        "DigitalZoom = Off", "Sharpness = Normal", "Contrast = Normal", "Saturation = Normal",
        "CCDSensitivity = Normal"}},
      // A later Casio layout ("QVC" header) that no row describes: read, meaningless.
      {"Casio_EX-Z3.jpg", true, {}},
      {"FujiFilm_FinePix40i.jpg", true,
       {"Version = \"0130\"", "Quality = \"NORMAL \"", "WhiteBalance = Auto", "FlashMode = On",
        "Macro = Off", "Focusmode = Auto Focus", "SlowSync = Off", "PictureMode = Portrait scene",
        "ContTake/Bracket = Off", "BlurWarning = No blur warning",
        "FocusWarning = Auto Focus good", "AEWarning = AE good"}},
      {"FujiFilm_FinePixS2Pro.jpg", false, {}},  // saved by an editor without its maker note
      {"Konica_Q-M100_1.jpg", false, {}},
      {"Minolta_DiMAGE_7.jpg", true,
       {"ModelID = \"mlt0\"", "PIMdata = \"PrintIM.0100............................\""}},
      {"Nikon_D70.jpg", true,
       {"ISO Speed = 0, 400", "Quality = \"NORMAL \"", "White Balance = \"AUTO        \"",
        "Focus Mode = \"MANUAL\"", "Flash Setting = \"RED-EYE     \"",
        "Auto Flash Mode = \"Built-in,TTL\"", "Lens information = 18.0-70.0(mm)  F3.5-F4.5",
        "Color Mode = Mode1 (sRGB)", "Hue Adjustment = 0", "Noise Reduction = \"OFF \""}},
      {"Nikon_E950.jpg", true,
       {"Quality = 2 Mpixel Fine", "ColorMode = Color", "ImageAdjustment = Contrast+",
        "ISOSpeed = ISO80", "WhiteBalance = Auto", "Converter = Not used"}},
      {"Nikon_E995_iptc.jpg", true,
       {"Color Mode = \"COLOR\"", "Quality = \"NORMAL \"", "Focus Mode = \"AF-C  \"",
        "Flash Setting = \"NORMAL      \"", "Adapter = \"OFF         \"", "Saturation = 0",
        "Noise Reduction = \"FPNR\""}},
      {"Olympus_C960.jpg", true, {"JpegQual = HQ", "Macro = Normal"}},
      {"Olympus_E-20.jpg", true,
       {"SpecialMode = 0, 0, 0", "JpegQual = SHQ", "Macro = Normal", "Zoom = 29",
        "Macro Focus = 296", "Black Level = 32, 31, 32, 31", "Red Bias = 380, 64",
        "Blue Bias = 392, 64", "SerialNumber = \"203001592\""}},
      {"Sanyo_SR6.jpg", true, {"Special Mode = 0, 0, 0"}},
      {"Seiko_Epson_PhotoPC_3000Z.jpg", true,
       {"Special Mode = 256, 208, 0", "JpegQuality = 3", "Macro = 1", "DigiZoom = 100/100",
        "Width = 2048", "Height = 1536", "SoftRelease = \"SX321\""}},
  };
  for (const CorpusPhoto& photo : corpus) {
    SCOPED_TRACE(photo.file);
    auto data = std::make_unique<TimgData>(kBuildAll, FullReader());
    data->ReadPicture((photos / photo.file).string());
    ASSERT_TRUE(data->exif);
    EXPECT_EQ(data->errorText, "<none>");
    EXPECT_EQ(data->exif->makerNoteRead, photo.recognised);
    EXPECT_EQ(data->exif->makerNoteText.empty(), !photo.recognised);
    const std::vector<std::string> lines = Lines(data->exif->makerNoteText);
    for (const std::string& line : photo.lines)
      EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
  }
}

}  // namespace
}  // namespace tessaly
