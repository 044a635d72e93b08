// HEIF pictures: upright in every orientation, the file's own thumbnail only
// where it is large enough, the date from the EXIF item, the JPEG copy's name
// and kind, and broken files. The files are made here with libheif's encoder
// (x265); the phone photos of the shared corpus are checked when present.
#include <gtest/gtest.h>

#include <QDir>
#include <functional>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <libheif/heif.h>

#include "CameraExif.h"
#include "ColourProfiles.h"
#include "ExifReader.h"
#include "Export.h"
#include "FullReader.h"
#include "HeifBuilder.h"
#include "HeifCodec.h"
#include "HeifPreviewCache.h"
#include "JpegMetadata.h"
#include "ImgPanel.h"
#include "PhotoBuilder.h"
#include "PictureFiles.h"

namespace tessaly {
namespace {

using namespace testing;

void Ok(heif_error error) { ASSERT_EQ(error.code, heif_error_Ok) << error.message; }

heif_image* HeifImage(const QImage& picture) {
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
  heif_image* image = nullptr;
  heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
  heif_image_add_plane(image, heif_channel_interleaved, rgb.width(), rgb.height(), 8);
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
  for (int y = 0; y < rgb.height(); ++y) std::memcpy(plane + y * stride, rgb.constScanLine(y), rgb.width() * 3);
  return image;
}

// Writes stored as HEIC with the orientation (EXIF numbering) as rotation and
// mirror properties, an EXIF item, and a thumbnail of thumbnail's picture.
void WriteHeif(const QString& path, const QImage& stored, int orientation, const std::string& exif = {},
               const QImage& thumbnail = {},
               const std::function<void(heif_image*, heif_encoding_options*)>& colour = {}) {
  heif_context* context = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  Ok(heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder));
  heif_encoder_set_lossy_quality(encoder, 95);
  heif_encoding_options* options = heif_encoding_options_alloc();
  options->image_orientation = heif_orientation(orientation);
  heif_image* image = HeifImage(stored);
  if (colour) colour(image, options);
  heif_image_handle* handle = nullptr;
  Ok(heif_context_encode_image(context, image, encoder, options, &handle));
  if (!exif.empty()) Ok(heif_context_add_exif_metadata(context, handle, exif.data(), int(exif.size())));
  if (!thumbnail.isNull()) {
    heif_image* small = HeifImage(thumbnail);
    Ok(heif_context_encode_thumbnail(context, small, handle, encoder, options, thumbnail.width() - 1, nullptr));
    heif_image_release(small);
  }
  Ok(heif_context_write_to_file(context, QFile::encodeName(path).constData()));
  heif_image_handle_release(handle);
  heif_image_release(image);
  heif_encoding_options_free(options);
  heif_encoder_release(encoder);
  heif_context_free(context);
}

// The stored pixel an upright picture of orientation o shows at (x, y).
QPoint StoredPixel(int o, int x, int y, int w, int h) {
  const QPoint table[9] = {{}, {x, y}, {w - 1 - x, y}, {w - 1 - x, h - 1 - y}, {x, h - 1 - y},
                           {y, x}, {y, h - 1 - x}, {w - 1 - y, h - 1 - x}, {w - 1 - y, x}};
  return table[o];
}

RenderResult Whole(const QString& path, RenderTarget target = {0, 0, false}) {
  return Render(RenderJob{path, std::nullopt, false, {}, {}, {}}, target);
}

TEST(Heif, PicturesComeUprightInEveryOrientation) {
  const QString folder = TestFolder("heif-orientations");
  const QImage stored = BlockPicture(64, 48);
  const char* extensions[] = {"heic", "HEIC", "heif", "Heif", "hif", "HIF", "heic", "HEIC"};
  for (int o = 1; o <= 8; ++o) {
    const QString path = folder + QStringLiteral("/o%1.").arg(o) + extensions[o - 1];
    WriteHeif(path, stored, o);
    const QImage upright = Whole(path).image;
    ASSERT_EQ(upright.size(), o >= 5 ? QSize(48, 64) : QSize(64, 48)) << o;
    int worst = 0;
    for (int y = 8; y < upright.height(); y += 16)  // block centres
      for (int x = 8; x < upright.width(); x += 16)
        worst = std::max(worst, ChannelDifference(upright.pixel(x, y),
                                                  stored.pixel(StoredPixel(o, x, y, 64, 48))));
    EXPECT_LE(worst, 12) << "orientation " << o;
  }
}

TEST(Heif, OwnThumbnailServesSmallViewsOnlyNeverTheExport) {
  const QString folder = TestFolder("heif-thumbnail");
  const QString path = folder + "/thumb.heic";
  QImage green(64, 48, QImage::Format_RGB888);
  green.fill(qRgb(0, 200, 0));  // tells the thumbnail apart
  WriteHeif(path, BlockPicture(256, 192), 6, {}, green);
  const struct { RenderTarget target; bool fromThumbnail; } cases[] = {
      {{40, 40, true}, true}, {{100, 100, true}, false}, {{0, 0, false}, false}};
  for (const auto& c : cases) {
    const RenderResult r = Whole(path, c.target);
    EXPECT_EQ(QSize(r.pictureWidth, r.pictureHeight), QSize(192, 256));
    EXPECT_EQ(ChannelDifference(r.image.pixel(2, 2), qRgb(0, 200, 0)) < 20, c.fromThumbnail) << c.target.width;
  }
}

TEST(Heif, ViewsDecodeAPictureOnceUntilItChangesOrItsPanelCloses) {
  const QString folder = TestFolder("heif-cache");
  const QString path = folder + "/cached.heic";
  WriteHeif(path, BlockPicture(320, 240), 1);
  SetModificationTime(path, QDateTime::currentDateTime().addSecs(-60));
  RenderJob stamped{path, TRect{16, 0, 304, 240}, true, {}, QStringLiteral("1.2.2026"), QStringLiteral("c")};
  const RenderTarget preview{150, 100, true}, larger{300, 200, true};
  const int before = HeifPreviewCache::Decodes();
  const QImage first = Render(stamped, preview).image;
  EXPECT_EQ(HeifPreviewCache::Decodes(), before + 1);
  // Selected again, redrawn at another size, another crop: no new decode,
  // and the pixels of a fresh decode.
  EXPECT_EQ(Render(stamped, preview).image, first);
  stamped.crop = TRect{0, 8, 320, 232};
  const QImage recropped = Render(stamped, larger).image;
  EXPECT_EQ(HeifPreviewCache::Decodes(), before + 1);
  HeifPreviewCache::Drop(path);
  EXPECT_EQ(Render(stamped, larger).image, recropped);
  EXPECT_EQ(HeifPreviewCache::Decodes(), before + 2);

  // An export decodes on its own and keeps nothing.
  const int held = HeifPreviewCache::Held();
  ExportStampedCopy(stamped);
  EXPECT_EQ(HeifPreviewCache::Decodes(), before + 2);
  EXPECT_EQ(HeifPreviewCache::Held(), held);

  // The file changes: decoded afresh.
  QImage red(320, 240, QImage::Format_RGB888);
  red.fill(qRgb(220, 0, 0));
  WriteHeif(path, red, 1);
  EXPECT_NE(Render(stamped, larger).image, recropped);
  EXPECT_EQ(HeifPreviewCache::Decodes(), before + 3);

  // Its panel closes: the decode goes with it.
  {
    TImgPanel panel;
    panel.LoadInfo(path);
    panel.Render(*panel.Thumbnail, true);
    EXPECT_EQ(HeifPreviewCache::Held(), held);
  }
  EXPECT_EQ(HeifPreviewCache::Held(), held - 1);
}

TEST(Heif, PanelTakesTheExifDateAndExportsAnUprightJpegNamedAfterIt) {
  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  const QString folder = TestFolder("heif-export");
  TiffBuilder tiff(true);
  tiff.AddShort(0, 0x0112, {6});  // the picture's own rotation decides, not this
  const int exif = tiff.AddDirectory();
  tiff.Link(0, 0x8769, exif);
  tiff.AddAscii(exif, 0x9003, "2023:08:15 09:10:11");
  WriteHeif(folder + "/IMG_0042.HEIC", BlockPicture(64, 48), 1, "Exif" + std::string(2, '\0') + tiff.Build());
  // Its EXIF item's offset says 0 where the "Exif\0\0" signature stands before the TIFF header.
  std::string offsetZero = ReadBytes(folder + "/IMG_0042.HEIC");
  offsetZero.replace(offsetZero.find(std::string("\0\0\0\x06" "Exif\0\0", 10)), 4, std::string(4, '\0'));
  WriteFile(folder.toStdString() + "/IMG_0044.heic", offsetZero);
  WriteHeif(folder + "/IMG_0043.heif", BlockPicture(64, 48), 8);
  WriteJpegPicture(folder + "/img_0043.JPG", BlockPicture(32, 32));
  // The copy beside a JPEG of its name in another case is named after the
  // whole name; no date: the file's, not checked.
  const struct { const char *file, *exported; QSize size; const char* date; } cases[] = {
      {"IMG_0042.HEIC", "IMG_0042.jpg", {64, 48}, "15.08.2023"}, {"IMG_0044.heic", "IMG_0044.jpg", {64, 48}, "15.08.2023"},
      {"IMG_0043.heif", "IMG_0043.heif.jpg", {48, 64}, nullptr}, {"img_0043.JPG", "img_0043.JPG", {32, 32}, nullptr}};
  for (const auto& c : cases) {
    TImgPanel panel;
    panel.LoadFile(folder + "/" + c.file);
    EXPECT_EQ(panel.DateText, c.date ? c.date : panel.DateText) << c.file;
    const QString copy = folder + "/Export/" + c.exported;
    EXPECT_EQ(panel.ExportCopy(), copy);
    EXPECT_EQ(DecodeReference(copy).size(), c.size) << c.file;
    EXPECT_EQ(ReadBytes(copy).substr(0, 3), "\xFF\xD8\xFF");
  }
  QLocale::setDefault(saved);
}

TEST(Heif, BrokenFilesFailWithTheirMessageAndWriteNothing) {
  const QString folder = TestFolder("heif-broken");
  WriteHeif(folder + "/good.heic", BlockPicture(64, 48), 1);
  const std::string good = ReadBytes(folder + "/good.heic");
  WriteHeif(folder + "/thumbnailed.heic", BlockPicture(64, 48), 1, {}, BlockPicture(32, 24));
  // The image spatial extents of the first or of the second image (the thumbnail) claiming 40000 x 40000.
  const auto claimingHuge = [](std::string bytes, int which) {
    size_t ispe = bytes.find("ispe");
    if (which == 2) ispe = bytes.find("ispe", ispe + 4);
    return ispe == std::string::npos ? "" : bytes.replace(ispe + 8, 8, std::string("\0\0\x9C\x40\0\0\x9C\x40", 8));
  };
  const std::string coded = std::to_string(good.find("mdat") + 4);  // where the coded picture starts
  const struct { const char* file; std::string bytes, message; } cases[] = {  // named after their one fault
      {"cut_in_its_boxes.heic", good.substr(0, good.size() / 2), "Cannot read %1: Invalid input: No 'meta' box"},
      {"coded_data_cut_short.heic", good.substr(0, good.size() - 20),
       "Cannot read %1: Invalid input: Unexpected end of file: Extent in iloc box references data outside of "
       "file bounds (points to file position " + coded + ")"},
      {"claims_40000_squared.heic", claimingHuge(good, 1), "Cannot read %1: Picture too large: 40000 x 40000 pixels"},
      {"thumbnail_claims_40000_squared.heic", claimingHuge(ReadBytes(folder + "/thumbnailed.heic"), 2),
       "Cannot read %1: Picture too large: 40000 x 40000 pixels"},
      {"no_boxes.heic", "hello", "Cannot read %1: Invalid input: No 'ftyp' box"}};
  for (const auto& c : cases) {
    const QString path = folder + "/" + c.file;
    WriteFile(QFile::encodeName(path).toStdString(), c.bytes);
    std::string outcome = "no error";
    try {
      ExportStampedCopy(RenderJob{path, std::nullopt, true, {}, "d", "c"});
    } catch (const PictureError& e) {
      outcome = e.Message().toStdString();
    }
    EXPECT_EQ(outcome, QString::fromStdString(c.message).arg(path).toStdString()) << c.file;
    EXPECT_EQ(QDir(folder + "/Export").entryList(QDir::Files | QDir::Hidden), QStringList()) << c.file;
  }
}

// libheif and its codecs are loaded by the batch program only for a HEIF
// file (the dynamic loader's own log of the files it maps).
TEST(Heif, LibheifIsLoadedOnlyWhenAHeifFileIsMet) {
  const QString folder = TestFolder("heif-on-demand");
  WriteJpegPicture(folder + "/plain.jpg", BlockPicture(64, 48), 90);
  WriteHeif(folder + "/phone.heic", BlockPicture(64, 48), 1);
  const auto loaded = [](const QString& picture) {
    QProcess stamp;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_DEBUG", "files");
    stamp.setProcessEnvironment(environment);
    stamp.start(TESSALY_STAMP_PROGRAM, {picture});
    stamp.waitForFinished(-1);
    const QString log = QString::fromLocal8Bit(stamp.readAllStandardError());
    return QStringLiteral("exit %1, module %2, libheif %3")
        .arg(stamp.exitCode())
        .arg(log.contains("tessaly-heif.so") ? "loaded" : "not loaded")
        .arg(log.contains("libheif.so") ? "loaded" : "not loaded");
  };
  EXPECT_EQ(loaded(folder + "/plain.jpg"), "exit 0, module not loaded, libheif not loaded");
  EXPECT_EQ(loaded(folder + "/phone.heic"), "exit 0, module loaded, libheif loaded");
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(HeifModulePath())));
}

TEST(Heif, CopyCarriesTheExifItemAndTheColourProfile) {
  const QString folder = TestFolder("heif-metadata");
  const std::string wide = ProfileFromPrimaries({{0.64, 0.33}, {0.21, 0.71}, {0.15, 0.06}, {0.3127, 0.329}, 4}, "Wide");
  // nclx only: Display P3 primaries, the sRGB curve.
  const std::unique_ptr<heif_color_profile_nclx, void (*)(heif_color_profile_nclx*)> nclx(
      heif_nclx_color_profile_alloc(), heif_nclx_color_profile_free);
  heif_nclx_color_profile_set_color_primaries(nclx.get(), 12);
  heif_nclx_color_profile_set_transfer_characteristics(nclx.get(), 13);
  heif_nclx_color_profile_set_matrix_coefficients(nclx.get(), 1);
  const auto p3 = [&](heif_image* image, heif_encoding_options* options) {
    heif_image_set_nclx_color_profile(image, nclx.get());
    options->output_nclx_profile = nclx.get();
    options->macOS_compatibility_workaround_no_nclx_profile = 0;  // else no nclx is written
  };
  const struct {
    const char* name;
    std::function<void(heif_image*, heif_encoding_options*)> colour;
    std::string description;  // of the copy's profile
  } cases[] = {
      {"icc.heic", [&](heif_image* i, heif_encoding_options*) { heif_image_set_raw_color_profile(i, "prof", wide.data(), wide.size()); }, "Wide"},
      {"nclx.heic", p3, "Display P3"},
      {"plain.heic", {}, ""},
  };
  for (const auto& c : cases) {
    const QString path = folder + "/" + c.name;
    WriteHeif(path, BlockPicture(64, 48), 1, "Exif" + std::string(2, '\0') + CameraExifBlock(true).tiff, {}, c.colour);
    QString warning;
    const QString copy = ExportStampedCopy(RenderJob{path, std::nullopt, true, {}, "d", "c"}, CopySettings{}, &warning);
    EXPECT_EQ(warning, "") << c.name;
    std::vector<JpegMarker> segments;
    ASSERT_TRUE(ReadJpegAppSegments(QFile::encodeName(copy).toStdString(), segments, nullptr));
    const JpegMetadata meta = CollectJpegMetadata(segments);
    EXPECT_EQ(ProfileDescription(meta.icc), c.description) << c.name;
    if (c.name == std::string("icc.heic")) {
      EXPECT_EQ(meta.icc, wide);
    }
    TimgData data(kBuildAll, FullReader());
    data.ReadPicture(QFile::encodeName(copy).toStdString());
    ASSERT_TRUE(data.exif) << c.name;
    EXPECT_EQ(data.exif->cameraMake, "Canon") << c.name;
    EXPECT_EQ(FormatIsoDateTime(data.exif->OriginalDate()), "2021-05-06 07:08:09") << c.name;
    EXPECT_EQ(data.exif->orientation, 1) << c.name;
    EXPECT_LT(data.exif->TagIndex("GPSLatitude"), 0) << c.name;
  }
}

// Two photos whose names differ in letter case only, exported at once: each
// gets its own copy (a.HEIC the short name, as it comes first in byte order).
TEST(Heif, PhotosDifferingInCaseOnlyGetTwoCopies) {
  const QString folder = TestFolder("heif-two-cases");
  WriteHeif(folder + "/a.HEIC", BlockPicture(64, 48), 1);
  WriteHeif(folder + "/a.heic", BlockPicture(64, 48), 6);
  const std::string dir = QFile::encodeName(folder).toStdString();
  FILE* pipe = ::popen(("exec '" TESSALY_STAMP_PROGRAM "' -j 2 '" + dir + "/a.heic' '" + dir + "/a.HEIC' 2>/dev/null").c_str(), "r");
  std::string out;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  EXPECT_EQ(::pclose(pipe), 0);
  EXPECT_EQ(out, dir + "/Export/a.heic.jpg\n" + dir + "/Export/a.jpg\n");
  EXPECT_EQ(DecodeReference(folder + "/Export/a.jpg").size(), QSize(64, 48));
  EXPECT_EQ(DecodeReference(folder + "/Export/a.heic.jpg").size(), QSize(48, 64));
}

// Claims that only the boxes make: the overlay's canvas and the grid's
// output size live in their items' data, not in any 'ispe'; extents near
// 2^32 would wrap a 64-bit product of width, height and 3 bytes.
TEST(Heif, CanvasesAndExtentsPastTheCapAreRefusedBeforeAnyDecode) {
  const QString folder = TestFolder("heif-claims");
  const auto tile = [](uint32_t id) { return HeifItem{id, "hvc1", "", 64, 64, {}}; };
  const struct { const char* file; std::vector<HeifItem> items; const char* message; } cases[] = {
      {"overlay_30000.heic", {{1, "iovl", OverlayData(30000, 30000, false, 1), 64, 64, {2}}, tile(2)},
       "Picture too large: 30000 x 30000 pixels"},
      {"overlay_65535.heic", {{1, "iovl", OverlayData(65535, 65535, true, 1), 64, 64, {2}}, tile(2)},
       "Picture too large: 65535 x 65535 pixels"},
      {"grid_60000x40000.heic", {{1, "grid", GridData(1, 2, 60000, 40000, true), 128, 64, {2, 3}}, tile(2), tile(3)},
       "Picture too large: 60000 x 40000 pixels"},
      {"overlay_of_a_huge_grid.heic",
       {{1, "iovl", OverlayData(64, 64, false, 1), 64, 64, {2}}, {2, "grid", GridData(1, 1, 50000, 50000, true), 64, 64, {3}}, tile(3)},
       "Picture too large: 50000 x 50000 pixels"},
      {"ispe_near_2_32.heic", {{1, "hvc1", "", 0xFFFFFFFFu, 0xFFFFFFFEu, {}}}, "Picture too large: 4294967295 x 4294967294 pixels"},
      {"tile_ispe_near_2_32.heic", {{1, "grid", GridData(1, 1, 64, 64, false), 64, 64, {2}}, {2, "hvc1", "", 0x80000000u, 3, {}}},
       "Picture too large: 2147483648 x 3 pixels"},
      {"grid_of_a_missing_tile.heic", {{1, "grid", GridData(1, 2, 128, 64, false), 128, 64, {2, 9}}, tile(2)},
       "Item 1 is made of item 9, which does not exist"},
      {"grid_without_data.heic", {{1, "grid", "", 64, 64, {2}}, tile(2)}, "Cannot read the size of the grid of item 1"},
      {"overlay_cut_short.heic", {{1, "iovl", OverlayData(64, 64, true, 0).substr(0, 12), 64, 64, {2}}, tile(2)},
       "Cannot read the size of the iovl of item 1"}};
  for (const auto& c : cases) {
    const QString path = folder + "/" + c.file;
    WriteFile(QFile::encodeName(path).toStdString(), HeifWithItems(c.items, 1));
    std::string outcome = "no error";
    try {
      ExportStampedCopy(RenderJob{path, std::nullopt, true, {}, "d", "c"});
    } catch (const PictureError& e) {
      outcome = e.Message().toStdString();
    }
    EXPECT_EQ(outcome, "Cannot read " + path.toStdString() + ": " + c.message) << c.file;
    EXPECT_FALSE(ReadHeifExif(path)) << c.file;  // the metadata side refuses the file too
  }
  EXPECT_EQ(QDir(folder + "/Export").entryList(QDir::Files | QDir::Hidden), QStringList());
}

// The phone photos: a tiled iPhone HEIC and a Samsung one turned upright by
// its rotation property, against ExifTool's sizes and dates.
TEST(Heif, PhonePhotosOfTheCorpusAreUprightWithTheirDates) {
  const QString phones = QStringLiteral(TESSALY_CORPUS_DIR "/phones");
  if (!QDir(phones).exists()) GTEST_SKIP() << "no corpus at " << TESSALY_CORPUS_DIR;
  for (const char* name : {"Apple_iPhone_IMG_2927.HEIC", "Samsung_SM-G975F.heic"}) {
    QFile json(phones + "/exiftool/" + name + ".num.json");
    ASSERT_TRUE(json.open(QIODevice::ReadOnly)) << name;
    const QJsonObject tool = QJsonDocument::fromJson(json.readAll()).array().at(0).toObject();
    QSize size(tool["File:ImageWidth"].toInt(), tool["File:ImageHeight"].toInt());
    if (tool["QuickTime:Rotation"].toInt() % 180 == 90) size.transpose();
    const QString path = phones + "/" + name;
    const RenderResult small = Whole(path, {96, 128, true});
    EXPECT_EQ(QSize(small.pictureWidth, small.pictureHeight), size) << name;
    TimgData data(kBuildAll, FullReader());
    ASSERT_TRUE(data.ReadExifBlock(ReadHeifExif(path).value_or(""), QFile::encodeName(path).toStdString()));
    EXPECT_EQ(QString::fromStdString(FormatIsoDateTime(data.exif->ShotDateTime())),
              tool["ExifIFD:DateTimeOriginal"].toString().replace(4, 1, '-').replace(7, 1, '-')) << name;
  }
}

}  // namespace
}  // namespace tessaly
