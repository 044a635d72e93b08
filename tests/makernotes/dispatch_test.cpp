// Each maker's layout read from a whole photo: the listing, the stored
// records, the hidden rows, the Nikon variants and the origins of offsets.
#include <gtest/gtest.h>

#include "MakerNoteReading.h"
#include "MakerNotes.h"

namespace tessaly {
namespace {

using namespace tessaly::testing;
using Records = std::vector<std::string>;

struct MakerCase {
  const char* name;
  MakerNotePhoto (*photo)(bool bigEndian);
  std::string listing;
  Records records;
};

class MakerLayouts : public ::testing::Test {
 protected:
  void SetUp() override { SetDecimalSeparator('.'); }
};

TEST_F(MakerLayouts, EachMakerListsAndStoresItsTagsInBothByteOrders) {
  const std::string canon1 = CanonSettings1Text("92, 2, 0, 3, 4, 0, 0, 1");
  const std::string canon2 = CanonSettings2Text("0, 0, 0, 0, 0, 0, 0, 1");
  const MakerCase cases[] = {
      {"Nikon type 3", NikonType3Photo,
       "\r\nFamily ID = \"....\"\r\nISO Speed = 0, 200\r\nQuality = \"FINE \""
       "\r\nLens information = 18.0-55.0(mm)  F3.5-F5.6\r\nColor Mode = Mode 2 (Adobe RGB)",
       {"ISOSpeed=0, 200", "Quality=\"FINE \"", "LensInformation=18.0-55.0(mm)  F3.5-F5.6",
        "ColorMode=Mode 2 (Adobe RGB)"}},
      {"Nikon type 1", NikonType1Photo,
       "\r\nFamilyID = 7\r\nQuality = 2 Mpixel Fine\r\nWhiteBalance = Incandescense"
       "\r\nFocus = \"AF-C   \"\r\nConverter = Used",
       {"Quality=2 Mpixel Fine", "WhiteBalance=Incandescense", "Focus=\"AF-C   \"",
        "Converter=Used"}},
      {"Nikon without header", NikonHeaderlessPhoto,
       "\r\nColor Mode = \"COLOR\"\r\nQuality = \"FINE  \"",
       {"ColorMode=\"COLOR\"", "Quality=\"FINE  \""}},
      {"Olympus", OlympusPhoto,
       "\r\nSpecialMode = 0, 0, 0\r\nJpegQual = SHQ\r\nMacro = Macro\r\nFirmware = \"SX756\""
       "\r\nCamera ID = \"OLYMPUS DIGITAL CAMERA\"",
       {"JpegQual=SHQ", "Macro=Macro", "Firmware=\"SX756\"", "CameraID=\"OLYMPUS DIGITAL CAMERA\""}},
      {"Casio", CasioPhoto,
       "\r\nRecordingMode = Single Shutter\r\nQuality = Fine\r\nDigitalZoom = 2X Digital Zoom"
       "\r\nCCDSensitivity = Normal\r\nObjectDistance = \"far off\"",
       {"Quality=Fine", "DigitalZoom=2X Digital Zoom", "CCDSensitivity=Normal",
        "ObjectDistance=\"far off\""}},
      {"Fujifilm", FujifilmPhoto,
       "\r\nVersion = \"0130\"\r\nQuality = \"NORMAL \"\r\nSharpness = Normal"
       "\r\nWhiteBalance = Daylight\r\nFlashMode = On\r\nFocusWarning = Out of focus",
       {"Quality=\"NORMAL \"", "Sharpness=Normal", "WhiteBalance=Daylight", "FlashMode=On",
        "FocusWarning=Out of focus"}},
      {"Canon", CanonPhoto,
       "\r\nExposureInfo1 = " + canon1 + "\r\nExposureInfo2 = " + canon2 +
           "\r\nImageType = \"IMG:PowerShot S40 JPEG\"\r\nImageNumber = 1000123"
           "\r\nCustomFunctions = 10, 257, 1024, 3585\r\nNoise Reduction =  On"
           "\r\nExposure Level = 1/2 stop",
       {"ExposureInfo1=" + canon1, "ExposureInfo2=" + canon2,
        "ImageType=\"IMG:PowerShot S40 JPEG\"", "ImageNumber=1000123",
        "CustomFunctions=10, 257, 1024, 3585\r\nNoise Reduction =  On\r\nExposure Level = 1/2 stop"}},
      {"Epson", EpsonPhoto,
       "\r\nSpecial Mode = 0, 0, 0\r\nJpegQuality = 2\r\nCameraID = \"EPSON DIGITAL CAMERA\""
       "\r\n?? = 5",
       {"JpegQuality=2", "CameraID=\"EPSON DIGITAL CAMERA\"", "?" "?=5"}},
      {"Sanyo", SanyoPhoto,
       "\r\nSpecial Mode = 0, 0, 0\r\nMacro = 1\r\nUnknown = 5\r\nDataDump = \"DUMP\"",
       {"Macro=1", "DataDump=\"DUMP\""}},
      {"Minolta", MinoltaPhoto,
       "\r\nModelID = \"MLT0\"\r\nPIMdata = \"PrintIM data\"",
       {"PIMdata=\"PrintIM data\""}},
  };
  for (const MakerCase& c : cases) {
    for (bool bigEndian : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (bigEndian ? " MM" : " II"));
      const auto data = ReadJpeg(c.photo(bigEndian));
      ASSERT_TRUE(data->exif);
      EXPECT_EQ(data->errorText, "<none>");
      EXPECT_TRUE(data->exif->makerNoteRead);
      EXPECT_EQ(data->exif->makerNoteText, c.listing);
      EXPECT_EQ(MakerNoteRecords(*data->exif), c.records);
      // The walk gives the buffer and byte order back to the main walk,
      // which goes on to the tag after the note.
      EXPECT_EQ(data->exif->bigEndian, bigEndian);
      EXPECT_EQ(data->exif->imageWidth, 640);
    }
  }
}

TEST_F(MakerLayouts, StoredRecordsCarryTheRowAndTheRawValue) {
  const auto data = ReadJpeg(CasioPhoto(true));
  for (const TTagEntry& tag : data->exif->tags) {
    if (tag.sourceKind != 1 || tag.tagId != 0x000A) continue;
    EXPECT_EQ(tag.tagName, "DigitalZoom");
    EXPECT_EQ(tag.caption, "DigitalZoom");
    EXPECT_EQ(tag.decodeList, "65536:Off,65537:2X Digital Zoom");
    EXPECT_EQ(tag.valueFormat, 4);
    EXPECT_EQ(tag.rawBytes, std::string("\0\x01\0\x01", 4));
    EXPECT_EQ(tag.dataSize, 4);
    return;
  }
  FAIL() << "no DigitalZoom record";
}

TEST_F(MakerLayouts, MakesMatchTheirFirstFiveLettersInAnyCase) {
  struct MakeCase {
    const char* make;
    bool recognised;
  };
  const MakeCase makes[] = {{"Minolta Co., Ltd.", true}, {"MINOLTA", true},  {"minol", true},
                            {"KONICA MINOLTA", false},   {"Minol", true},    {"Mino", false},
                            {"", false},                 {" MINOLTA", false}};
  for (const MakeCase& m : makes) {
    SCOPED_TRACE(m.make);
    MakerNotePhoto photo = MinoltaPhoto(false);
    photo.make = m.make;
    const auto data = ReadJpeg(photo);
    EXPECT_EQ(data->exif->makerNoteRead, m.recognised);
    EXPECT_EQ(data->exif->makerNoteText.empty(), !m.recognised);
    EXPECT_EQ(data->errorText, "<none>");
  }
}

TEST_F(MakerLayouts, FujifilmReadsLittleEndianInsideBigEndianData) {
  const MakerNotePhoto photo = FujifilmPhoto(true);
  ASSERT_EQ(photo.Tiff().substr(0, 2), "MM");
  const auto data = ReadJpeg(photo);
  EXPECT_NE(data->exif->makerNoteText.find("\r\nWhiteBalance = Daylight"), std::string::npos);
  EXPECT_TRUE(data->exif->bigEndian);
  EXPECT_EQ(data->exif->imageWidth, 640);  // the EXIF tag after the note, read big-endian

  // A broken Fujifilm note ends its walk with an error; the byte order is
  // still given back.
  TimgData owner(kBuildAll, FullReader());
  TImageInfo info(&owner, kBuildAll);
  info.bigEndian = true;
  info.cameraMake = "FUJIFILM";
  info.makerNoteBytes = "FUJIFILM";
  EXPECT_TRUE(ReadMakerNoteHook(info));
  EXPECT_TRUE(info.bigEndian);
  EXPECT_EQ(owner.errorText, "Error Detected = Read outside the data at position 13");
}

struct NikonCase {
  const char* name;
  MakerNotePhoto photo;
  const char* extension;
  std::string listingStart;  // empty: nothing listed
};

MakerNotePhoto WithVersion(MakerNotePhoto photo, std::optional<std::string> version) {
  photo.exifVersion = std::move(version);
  return photo;
}

MakerNotePhoto WithModel(MakerNotePhoto photo, std::string make, std::string model) {
  photo.make = std::move(make);
  photo.model = std::move(model);
  return photo;
}

TEST_F(MakerLayouts, NikonVariantFollowsVersionModelAndHeader) {
  const std::string type3 = "\r\nFamily ID = \"....\"\r\nISO Speed = 0, 200";
  const std::string type1 = "\r\nFamilyID = 7\r\nQuality = 2 Mpixel Fine";
  const std::string headerless = "\r\nColor Mode = \"COLOR\"";
  // A third-kind note read as the first kind finds the count 0 at byte 8.
  const NikonCase cases[] = {
      {"version 0220 over a Nikon header", WithModel(NikonType3Photo(false), "Nikon", "E5700"), ".jpg", type3},
      {"version 0221", NikonType3Photo(true), ".jpg", type3},
      {"version 02100", WithVersion(NikonType3Photo(false), "02100"), ".jpg", type3},
      {"version 0210 takes the Nikon header", WithVersion(NikonType3Photo(false), "0210"), ".jpg", ""},
      {"version 0200", WithVersion(NikonType1Photo(false), "0200"), ".jpg", type1},
      {"version 021", WithVersion(NikonType1Photo(true), "021"), ".jpg", type1},
      {"type 1", NikonType1Photo(true), ".jpg", type1},
      {"no header", NikonHeaderlessPhoto(false), ".jpg", headerless},
      {"no header, big-endian", NikonHeaderlessPhoto(true), ".jpg", headerless},
      {"NEF of a D70", WithVersion(NikonType3Photo(false), std::nullopt), ".tif", type3},
      {"NEF of a model without blank", WithModel(WithVersion(NikonType3Photo(true), std::nullopt), "NIKON", "D1X"), ".tif", type3},
      {"NEF, model letter in lower case", WithModel(WithVersion(NikonType3Photo(false), std::nullopt), "NIKON", "NIKON d70"), ".tif", ""},
      {"NEF of a model ending in a blank", WithModel(WithVersion(NikonType3Photo(false), std::nullopt), "NIKON", "D70 "), ".tif", ""},
      {"NEF, letter after the blank not D", WithModel(WithVersion(NikonType3Photo(false), std::nullopt), "NIKON", "D 70"), ".tif", ""},
      {"D70 data in a JPEG", WithVersion(NikonType3Photo(false), std::nullopt), ".jpg", ""},
      {"empty version in a NEF of a coolpix", WithModel(WithVersion(NikonType1Photo(false), std::nullopt), "NIKON", "E5700"), ".tif", type1},
  };
  for (const NikonCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = std::string(c.extension) == ".tif" ? c.photo.Tiff() : c.photo.Jpeg();
    const auto data = ReadBytes(bytes, c.extension);
    ASSERT_TRUE(data->exif);
    EXPECT_TRUE(data->exif->makerNoteRead);
    EXPECT_EQ(data->exif->makerNoteText.substr(0, c.listingStart.size()), c.listingStart);
    if (c.listingStart.empty()) {
      EXPECT_EQ(data->exif->makerNoteText, "");
    }
  }
}

TEST_F(MakerLayouts, OffsetsCountFromTheTiffHeaderInSegmentsAndTiffFiles) {
  // The same Casio note read from a JPEG and from a TIFF file: its offsets
  // count from the TIFF header, which is at 9 in the segment and at -7 in the
  // bytes of the TIFF file.
  for (bool bigEndian : {false, true}) {
    const MakerNotePhoto photo = CasioPhoto(bigEndian);
    const auto jpeg = ReadBytes(photo.Jpeg(), ".jpg");
    const auto tiff = ReadBytes(photo.Tiff(), ".tif");
    ASSERT_TRUE(tiff->exif);
    EXPECT_TRUE(tiff->exif->tiffMode);
    EXPECT_EQ(tiff->exif->makerNoteText, jpeg->exif->makerNoteText);
    EXPECT_NE(tiff->exif->makerNoteText.find("\r\nObjectDistance = \"far off\""), std::string::npos);
    EXPECT_EQ(MakerNoteRecords(*tiff->exif), MakerNoteRecords(*jpeg->exif));
  }
}

struct OutsideCase {
  const char* name;
  MakerNotePhoto (*photo)(bool bigEndian);
  uint16_t tag;
  std::string caption;
  std::string expected;  // the value text found
};

TEST_F(MakerLayouts, ValuesBeyondTheNoteAreReadFromTheExifData) {
  // The note's last entry points at the ImageUniqueID text, which lies after
  // the note. Offsets that count from the TIFF header find it there, in EXIF
  // segments and TIFF files alike; Fujifilm's offsets count from the note and
  // read the EXIF data from its first byte.
  const OutsideCase cases[] = {
      {"Nikon type 1", NikonType1Photo, 0x0008, "Focus", "\"ABCDEF\""},
      {"Nikon without header", NikonHeaderlessPhoto, 0x0004, "Quality", "\"ABCDEF\""},
      {"Olympus", OlympusPhoto, 0x0207, "Firmware", "\"ABCDEF\""},
      {"Casio", CasioPhoto, 0x0006, "ObjectDistance", "\"ABCDEF\""},
      {"Canon", CanonPhoto, 0x0009, "OwnerName", "\"ABCDEF\""},
      {"Epson", EpsonPhoto, 0x0209, "CameraID", "\"ABCDEF\""},
      {"Sanyo", SanyoPhoto, 0x0202, "Macro", "\"ABCDEF\""},
      {"Minolta", MinoltaPhoto, 0x0E00, "PIMdata", "\"ABCDEF\""},
  };
  for (const OutsideCase& c : cases) {
    for (bool bigEndian : {false, true}) {
      MakerNotePhoto photo = c.photo(bigEndian);
      photo.uniqueId = "ABCDEFGHIJKLMNOP";
      photo.entries.push_back(NoteEntry{c.tag, 2, 6, "", 0});
      photo.entries.back().offset = photo.ExifValueOffset(0xA420);
      for (const char* extension : {".jpg", ".tif"}) {
        SCOPED_TRACE(std::string(c.name) + " " + extension + (bigEndian ? " MM" : " II"));
        const bool jpeg = extension == std::string(".jpg");
        const auto data = ReadBytes(jpeg ? photo.Jpeg() : photo.Tiff(), extension);
        const std::string& listing = data->exif->makerNoteText;
        EXPECT_EQ(listing.substr(listing.rfind("\r\n")), "\r\n" + c.caption + " = " + c.expected);
      }
    }
  }
  MakerNotePhoto fujifilm = FujifilmPhoto(true);
  fujifilm.uniqueId = "ABCDEFGHIJKLMNOP";
  fujifilm.entries.push_back(NoteEntry{0x1000, 2, 6, "", 0});
  fujifilm.entries.back().offset = fujifilm.ExifValueOffset(0xA420) + 9 + 2;
  const auto data = ReadJpeg(fujifilm);
  EXPECT_EQ(data->exif->makerNoteText.substr(data->exif->makerNoteText.rfind("\r\n")),
            "\r\nQuality = \"CDEFGH\"");
}

}  // namespace
}  // namespace tessaly
