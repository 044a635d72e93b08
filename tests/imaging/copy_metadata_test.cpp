// What a stamped copy carries of its photo: the colour profile split as the
// photo's was, the EXIF data with the copy's orientation and size and
// without GPS or thumbnail, XMP with the comment as its caption, IPTC; the
// options of tessaly-stamp that change that; damaged EXIF left out with one
// warning; the conversion to sRGB.
#include <gtest/gtest.h>

#include <QColorSpace>
#include <QFile>
#include <QProcess>

#include "CameraExif.h"
#include "ColourProfiles.h"
#include "CopySettings.h"
#include "ExifReader.h"
#include "Export.h"
#include "FullReader.h"
#include "JpegMetadata.h"
#include "Orientation.h"
#include "PhotoBuilder.h"
#include "PictureFiles.h"

namespace tessaly {
namespace {

using namespace testing;

const std::string kXmpSignature("http://ns.adobe.com/xap/1.0/\0", 29);
const char kPhotoXmp[] =
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
    "<rdf:Description rdf:about=\"\" xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\" "
    "xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
    "tiff:Orientation=\"6\" exif:GPSLatitude=\"55,45.2N\" exif:PixelXDimension=\"640\">"
    "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Holiday</rdf:li></rdf:Alt></dc:title>"
    "</rdf:Description></rdf:RDF></x:xmpmeta>";
const std::string kIptc = std::string("8BIM\x04\x04\0\0\0\0\0\x08\x1C\x02\x78\0\x03Sea", 20);
const std::string kPhotoshopThumbnail = std::string("8BIM\x04\x0C\0\0\0\0\0\x06", 12) + "thumbs";

// The primaries and curve of Adobe RGB (1998); made once, as a profile holds
// the time it was made.
const std::string& WideGamutProfile() {
  static const std::string profile = ProfileFromPrimaries({{0.64, 0.33}, {0.21, 0.71}, {0.15, 0.06}, {0.3127, 0.3290}, 4}, "Wide test");
  return profile;
}

// The profile over three APP2 segments of uneven sizes.
std::string ProfileSegments(const std::string& icc) {
  const size_t cuts[] = {0, 100, 300, icc.size()};
  std::string segments;
  for (int i = 0; i < 3; ++i)
    segments += Segment(0xE2, std::string("ICC_PROFILE\0", 12) + char(i + 1) + '\3' +
                                  icc.substr(cuts[i], cuts[i + 1] - cuts[i]));
  return segments;
}

// A 64 x 48 photo stored sideways (Orientation 6) with everything a camera
// and a photo manager put into it.
QString CameraPhoto(const QString& folder, const std::string& tiff = CameraExifBlock(false).tiff) {
  const QString path = folder + "/photo.jpg";
  WriteJpegPicture(path, BlockPicture(64, 48), 95,
                   ExifSegment(tiff) + Segment(0xE1, kXmpSignature + kPhotoXmp) + ProfileSegments(WideGamutProfile()) +
                       Segment(0xED, std::string("Photoshop 3.0\0", 14) + kIptc + kPhotoshopThumbnail));
  return path;
}

JpegMetadata MetadataOf(const QString& path) {
  std::vector<JpegMarker> segments;
  EXPECT_TRUE(ReadJpegAppSegments(QFile::encodeName(path).toStdString(), segments, nullptr));
  return CollectJpegMetadata(segments);
}

std::string Markers(const QString& path) {
  std::string markers;
  for (const auto& [marker, payload] : JpegSegments(ReadBytes(path)))
    if (marker >= 0xE0 && marker <= 0xEF) markers += QString::number(marker, 16).toStdString() + " ";
  return markers;
}

std::unique_ptr<TimgData> ReadExif(const QString& path) {
  auto data = std::make_unique<TimgData>(kBuildAll, FullReader());
  data->ReadPicture(QFile::encodeName(path).toStdString());
  return data;
}

RenderJob Job(const QString& file, const QString& comment, int orientation = 1) {
  RenderJob job{file, std::nullopt, true, {}, "06.05.2021", comment};
  job.font.SetSize(20);
  job.orientation = Orientation::FromExif(orientation);
  return job;
}

// Runs tessaly-stamp; its stderr lines that are warnings.
QStringList Stamp(QStringList arguments) {
  QProcess program;
  program.start(QStringLiteral(TESSALY_STAMP_PROGRAM), arguments);
  EXPECT_TRUE(program.waitForFinished(-1));
  EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
  QStringList warnings;
  for (const QString& line : QString::fromUtf8(program.readAllStandardError()).split(u'\n'))
    if (line.startsWith(QStringLiteral("Warning:"))) warnings << line;
  return warnings;
}

TEST(CopyMetadata, CopyCarriesProfileExifXmpAndIptcAsTheCopyNeedsThem) {
  const QString folder = TestFolder("copy-everything");
  const QString photo = CameraPhoto(folder);
  QString warning = "not set";
  const QString copy = ExportStampedCopy(Job(photo, QStringLiteral("Море и солнце"), 6), CopySettings{}, &warning);
  EXPECT_EQ(warning, "");
  EXPECT_EQ(Markers(copy), "e1 e1 e2 e2 e2 ed ");  // EXIF first: no JFIF header

  const JpegMetadata source = MetadataOf(photo), copied = MetadataOf(copy);
  EXPECT_EQ(copied.icc, WideGamutProfile());
  EXPECT_EQ(copied.iccChunks, (std::vector<size_t>{100, 200, WideGamutProfile().size() - 300}));

  const auto before = ReadExif(photo), after = ReadExif(copy);
  ASSERT_TRUE(before->exif && after->exif);
  const TImageInfo &p = *before->exif, &c = *after->exif;
  EXPECT_EQ(c.cameraMake, p.cameraMake);
  EXPECT_EQ(c.cameraModel, p.cameraModel);
  EXPECT_EQ(c.OriginalDate(), p.OriginalDate());
  EXPECT_EQ(c.DigitizedDate(), p.DigitizedDate());
  EXPECT_TRUE(c.makerNoteRead);
  EXPECT_EQ(c.makerNoteBytes, p.makerNoteBytes);
  EXPECT_EQ(c.TagValueText("ExposureTime"), p.TagValueText("ExposureTime"));
  EXPECT_EQ(c.makerNoteText, p.makerNoteText);
  EXPECT_EQ(c.orientation, 1);
  EXPECT_EQ(c.TagValueText("ExifImageWidth"), "48");  // the copy is upright: 48 x 64
  EXPECT_EQ(c.TagValueText("ExifImageLength"), "64");
  EXPECT_LT(c.TagIndex("GPSLatitude"), 0);
  EXPECT_LT(c.TagIndex("ImageDescription"), 0);  // not ASCII: the XMP caption only
  EXPECT_EQ(ReadBytes(copy).find(CameraExifBlock(false).thumbnail), std::string::npos);

  const std::string xmp = copied.xmp;
  EXPECT_NE(xmp.find("Море и солнце"), std::string::npos) << xmp;
  EXPECT_NE(xmp.find("dc:description"), std::string::npos);
  EXPECT_NE(xmp.find("Holiday"), std::string::npos);
  EXPECT_NE(xmp.find("PixelXDimension>48<"), std::string::npos) << xmp;
  EXPECT_EQ(xmp.find("Orientation"), std::string::npos);
  EXPECT_EQ(xmp.find("GPS"), std::string::npos);
  EXPECT_EQ(copied.photoshop, kIptc);  // without the Photoshop thumbnail
}

TEST(CopyMetadata, StampOptionsKeepLocationLeaveMetadataOutAndSetQuality) {
  const QString folder = TestFolder("copy-options");
  const QString photo = CameraPhoto(folder);
  const QString copy = folder + "/Export/photo.jpg";
  const QStringList common = {"--comment", "Sea", "--metadata", "--no-srgb", photo};
  EXPECT_EQ(Stamp(QStringList{"--keep-location"} + common), QStringList());
  EXPECT_EQ(ReadExif(copy)->exif->TagValueText("GPSLatitude"), ReadExif(photo)->exif->TagValueText("GPSLatitude"));
  EXPECT_EQ(ReadExif(copy)->exif->TagValueText("ImageDescription"), "Sea");
  EXPECT_NE(MetadataOf(copy).xmp.find("GPSLatitude"), std::string::npos);

  EXPECT_EQ(Stamp({"--no-metadata", photo}), QStringList());
  EXPECT_EQ(Markers(copy), "e0 e2 e2 e2 ");
  EXPECT_EQ(MetadataOf(copy).icc, WideGamutProfile());

  EXPECT_EQ(Stamp({"--quality", "80", "--no-location", photo}), QStringList());
  for (const auto& [marker, payload] : JpegSegments(ReadBytes(copy)))
    if (marker == 0xDB) {
      EXPECT_NE(payload.substr(1, 64), std::string(64, '\x01'));
    }
}

TEST(CopyMetadata, DamagedExifGivesACopyWithoutItAndOneWarning) {
  const QString folder = TestFolder("copy-damaged");
  TiffBuilder tiff(false);
  tiff.AddAscii(0, 0x010F, "Canon");
  tiff.AddRawOffset(0, 0x8769, 40000);  // the EXIF directory far outside
  const QString photo = CameraPhoto(folder, tiff.Build());
  EXPECT_EQ(Stamp({"--no-srgb", photo}),
            QStringList("Warning: " + photo + ": EXIF left out: damaged EXIF data: a directory lies outside the EXIF data"));
  const QString copy = folder + "/Export/photo.jpg";
  EXPECT_EQ(Markers(copy), "e0 e1 e2 e2 e2 ed ");  // JFIF, XMP, the profile, IPTC
  EXPECT_EQ(MetadataOf(copy).icc, WideGamutProfile());
  EXPECT_EQ(MetadataOf(copy).exif, "");
}

TEST(CopyMetadata, ConversionToSrgbChangesWideGamutPixelsOnly) {
  const QString folder = TestFolder("copy-srgb");
  const struct {
    const char* name;
    std::string profile;
    bool converted;
  } cases[] = {{"wide", WideGamutProfile(), true}, {"srgb", SrgbProfile(), false}, {"none", "", false}};
  for (const auto& c : cases) {
    const QString photo = folder + "/" + c.name + ".jpg";
    WriteJpegPicture(photo, BlockPicture(64, 48), 95, c.profile.empty() ? "" : ProfileSegments(c.profile));
    CopySettings settings;
    const QImage kept = DecodeReference(ExportStampedCopy(Job(photo, ""), settings, nullptr));
    settings.convertToSrgb = true;
    const QString copy = ExportStampedCopy(Job(photo, ""), settings, nullptr);
    EXPECT_EQ(MetadataOf(copy).icc, c.converted ? SrgbProfile() : c.profile) << c.name;
    const QImage converted = DecodeReference(copy);
    int worst = 0;
    for (int y = 0; y < 48; y += 4)
      for (int x = 0; x < 64; x += 4) worst = std::max(worst, ChannelDifference(kept.pixel(x, y), converted.pixel(x, y)));
    EXPECT_EQ(worst > 10, c.converted) << c.name << " " << worst;
  }
}

// A PNG's profile comes from its iCCP chunk, read before the picture data.
TEST(CopyMetadata, PngCopyCarriesTheProfileOfItsChunk) {
  const QString photo = TestFolder("copy-png") + "/wide.png";
  QImage picture = BlockPicture(64, 48);
  picture.setColorSpace(QColorSpace::fromIccProfile(QByteArray::fromStdString(WideGamutProfile())));
  ASSERT_TRUE(picture.save(photo, "PNG"));
  QString warning = "not set";
  EXPECT_EQ(MetadataOf(ExportStampedCopy(Job(photo, ""), CopySettings{}, &warning)).icc, WideGamutProfile());
  EXPECT_EQ(warning, "");
}

TEST(CopyMetadata, SettingsTextKeepsEveryChoiceAndPassesOverWhatDoesNotParse) {
  const CopySettings chosen{true, true, true, 72};
  CopySettings read;
  ReadCopySettings(CopySettingsText(chosen), read);
  EXPECT_EQ(read, chosen);
  CopySettings kept = chosen;
  ReadCopySettings("[Copy]\nQuality=0\nQuality=101\nQuality=high\nNoMetadata=maybe\nColour=1\n", kept);
  EXPECT_EQ(kept, chosen);
  ReadCopySettings("quality = 55\nKEEPLOCATION=0\n", kept);
  EXPECT_EQ(kept, (CopySettings{true, false, true, 55}));
}

}  // namespace
}  // namespace tessaly
