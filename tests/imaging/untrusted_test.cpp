// Pictures that claim more than they hold: the claim refused before any
// decoding, the work budget, damaged data refused for export (and shown
// otherwise), no descriptor left behind by a failed open, and Qt's readers
// bounded by the render cap instead of their own limit.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <cstdio>
#include <functional>
#include <jpeglib.h>
#include <sys/resource.h>

#include "Export.h"
#include "PhotoBuilder.h"
#include "PictureFiles.h"
#include "Render.h"

namespace tessaly {
namespace {

using namespace testing;

enum Coding { kBaseline, kProgressive, kArithmetic, kArithmeticProgressive };

// A JPEG of image (4:2:0) through libjpeg itself, in the codings our own
// encoder does not write.
std::string EncodeJpeg(const QImage& image, Coding coding, int quality = 90) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  jpeg_compress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = JDIMENSION(rgb.width());
  info.image_height = JDIMENSION(rgb.height());
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  info.arith_code = coding == kArithmetic || coding == kArithmeticProgressive;
  if (coding == kProgressive || coding == kArithmeticProgressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  for (int y = 0; y < rgb.height(); ++y) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(y));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string bytes(reinterpret_cast<const char*>(out), size);
  std::free(out);
  return bytes;
}

// The same data with its frame header (SOF) claiming width x height.
std::string Claiming(std::string jpeg, int width, int height) {
  size_t sof = 2;
  while (sof + 9 < jpeg.size() && !(uint8_t(jpeg[sof]) == 0xFF && (uint8_t(jpeg[sof + 1]) & 0xF0) == 0xC0 &&
                                    uint8_t(jpeg[sof + 1]) != 0xC4 && uint8_t(jpeg[sof + 1]) != 0xCC))
    ++sof;
  const char size[4] = {char(height >> 8), char(height), char(width >> 8), char(width)};
  jpeg.replace(sof + 5, 4, size, 4);
  return jpeg;
}

rusage Usage() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage;
}

double CpuSeconds() {
  const rusage u = Usage();
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A render of the whole picture, no stamp.
RenderJob JobOf(const QString& path) {
  RenderJob job;
  job.fileName = path;
  return job;
}

QString Outcome(const std::function<QString()>& run) {
  try {
    return run();
  } catch (const PictureError& e) {
    return e.Message();
  }
}

TEST(Untrusted, CraftedPicturesAreRefusedBeforeTheirClaimCostsTime) {
  const QString folder = TestFolder("untrusted-claims");
  const QImage small = PositionPicture(64, 48);
  const std::string baseline = EncodeJpeg(small, kBaseline), progressive = EncodeJpeg(small, kProgressive),
                    arithmetic = EncodeJpeg(small, kArithmetic);
  // Scans that really are there: a large flat picture whose last scan (a
  // refinement) is repeated, so each costs a pass over the picture.
  const std::string flat = EncodeJpeg(BlockPicture(3000, 3000), kArithmeticProgressive, 50);
  const size_t lastScan = flat.rfind("\xFF\xDA"), end = flat.rfind("\xFF\xD9");
  std::string manyScans = flat.substr(0, end);
  for (int i = 0; i < 60; ++i) manyScans += flat.substr(lastScan, end - lastScan);
  manyScans += "\xFF\xD9";
  const auto cannotHold = [](const std::string& bytes, int w, int h = 0) {
    h = h ? h : w;
    return QStringLiteral("Cannot read %1: A file of ") + QString::number(bytes.size()) +
           QStringLiteral(" bytes cannot hold ") + QString::number(w) + " x " + QString::number(h) + " pixels";
  };
  const std::string arithmeticClaim = Claiming(arithmetic, 6000, 4000);
  const RenderTarget thumbnail{160, 120, true}, fullSize{0, 0, false};
  // Each file named after its one fault; %1 in the message for its path.
  const struct { const char* file; std::string bytes; QString message; RenderTarget target; } cases[] = {
      {"baseline_claims_18000_square.jpg", Claiming(baseline, 18000, 18000), cannotHold(baseline, 18000), thumbnail},
      {"progressive_claims_18000_square.jpg", Claiming(progressive, 18000, 18000), cannotHold(progressive, 18000),
       fullSize},
      {"arithmetic_claims_18000_square.jpg", Claiming(arithmetic, 18000, 18000), cannotHold(arithmetic, 18000),
       thumbnail},
      {"arithmetic_claims_65500_square.jpg", Claiming(arithmetic, 65500, 65500),
       "Cannot make a picture of 65500 x 65500 pixels", thumbnail},
      // Within the pixels any file may claim, but not in so few Huffman codes.
      {"baseline_claims_6000_by_4000.jpg", Claiming(baseline, 6000, 4000), cannotHold(baseline, 6000, 4000), thumbnail},
      {"progressive_claims_6000_by_4000.jpg", Claiming(progressive, 6000, 4000), cannotHold(progressive, 6000, 4000),
       thumbnail},
      // Arithmetic codes may be that short, and their decoder takes the
      // marker after the data for zeros (ITU T.81, D.2.6): what the picture
      // claims is decoded, as noise, within the pixels any file may claim.
      {"arithmetic_claims_6000_by_4000.jpg", arithmeticClaim, "written", fullSize},
      {"arithmetic_cut_short.jpg", arithmeticClaim.substr(0, arithmeticClaim.size() - 4),
       "Cannot read %1: Picture data is damaged: Premature end of JPEG file", fullSize},
      // libjpeg warns of bytes before a marker, but nothing of the picture is lost.
      {"extra_bytes_before_a_marker.jpg", baseline.substr(0, 2) + "junk" + baseline.substr(2), "written", fullSize},
      {"arithmetic_repeats_its_last_scan.jpg", manyScans,
       "Cannot read %1: Too many scans for a picture of 3000 x 3000 pixels", thumbnail},
  };
  for (const auto& c : cases) {
    const QString path = folder + "/" + c.file;
    WriteFile(QFile::encodeName(path).toStdString(), c.bytes);
    const double cpu = CpuSeconds();
    const QString outcome = Outcome([&] {
      const RenderJob job{path, std::nullopt, true, {}, "d", "c"};
      if (c.target.stretch) return Render(job, c.target).image.isNull() ? "nothing shown" : QStringLiteral("shown");
      QFile::remove(ExportStampedCopy(job));
      return QStringLiteral("written");
    });
    EXPECT_EQ(outcome.toStdString(), QString(c.message).replace("%1", path).toStdString()) << c.file;
    // Each took half a minute to minutes and up to a gigabyte before.
    EXPECT_LT(CpuSeconds() - cpu, 10.0) << c.file;
  }
  EXPECT_LT(Usage().ru_maxrss, 700 * 1024);  // kilobytes
  EXPECT_TRUE(QDir(folder + "/Export").entryList(QDir::Files | QDir::Hidden).isEmpty());

  // The same damaged data is shown as far as it goes, and says so.
  const RenderResult shown = Render(JobOf(folder + "/arithmetic_cut_short.jpg"), thumbnail);
  EXPECT_EQ(shown.image.size(), QSize(160, 107));
  EXPECT_EQ(shown.damage.toStdString(), "Premature end of JPEG file");
}

// PNG and TIFF damage comes from libpng and libtiff through Qt: refused for
// export with the library's reason, shown as far as it goes in a view;
// none of it reaches stderr.
TEST(Untrusted, DamagedPngAndTiffAreRefusedWithTheLibrarysReason) {
  const QString folder = TestFolder("untrusted-png-tiff");
  QBuffer pngBuffer, tiffBuffer;
  pngBuffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(PositionPicture(64, 48).save(&pngBuffer, "PNG"));
  QImageWriter tiffWriter(&tiffBuffer, "tiff");
  tiffBuffer.open(QIODevice::WriteOnly);
  tiffWriter.setCompression(1);  // LZW
  ASSERT_TRUE(tiffWriter.write(PositionPicture(256, 192)));
  const std::string png = pngBuffer.data().toStdString(), tiff = tiffBuffer.data().toStdString();
  // A PNG chunk: length, type, data, then the CRC of type and data.
  const auto badCrc = [&](const char* type) {
    std::string bytes = png;
    const size_t at = bytes.find(type), length = size_t(uint8_t(bytes[at - 2])) << 8 | uint8_t(bytes[at - 1]);
    bytes[at + 4 + length] ^= 0x55;
    return bytes;
  };
  std::string withText = png;
  withText.insert(33, std::string("\0\0\0\x05tEXtA\0abc\0\0\0\0", 17));  // a comment chunk with a wrong CRC
  // Qt writes the directory after the strips; its offset is in the header.
  const uint32_t directory = uint8_t(tiff[4]) | uint8_t(tiff[5]) << 8 | uint8_t(tiff[6]) << 16 | uint32_t(uint8_t(tiff[7])) << 24;
  std::string scrambled = tiff;
  scrambled.replace(2000, 4000, std::string(4000, '\xFF'));
  const struct { const char* file; std::string bytes; std::string message; } cases[] = {
      {"good.png", png, "written"},
      {"good.tif", tiff, "written"},
      {"idat_crc.png", badCrc("IDAT"), "Cannot read %1: Picture data is damaged: IDAT: CRC error"},
      {"cut_in_idat.png", png.substr(0, png.size() - 30), "Cannot read %1: Picture data is damaged: Read Error"},
      {"comment_crc.png", withText, "written, warned: tEXt: CRC error"},
      {"cut_lzw.tif", tiff.substr(0, tiff.size() / 2),
       "Cannot read %1: Picture data is damaged: Can not read TIFF directory count; Failed to read directory at offset " +
           std::to_string(directory)},
      {"scrambled_lzw.tif", scrambled, "Cannot read %1: Picture data is damaged: Using code not yet in table"}};
  for (const auto& c : cases) {
    const QString path = folder + "/" + c.file;
    WriteFile(QFile::encodeName(path).toStdString(), c.bytes);
    // A picture read whole is written; what the decoder warned of comes
    // with it, in one line.
    const QString outcome = Outcome([&] {
      QString warning;
      QFile::remove(ExportStampedCopy(RenderJob{path, std::nullopt, true, {}, "d", "c"}, std::nullopt, &warning));
      return warning.isEmpty() ? QStringLiteral("written") : QStringLiteral("written, warned: ") + warning;
    });
    EXPECT_EQ(outcome.toStdString(), QString::fromStdString(c.message).replace("%1", path).toStdString()) << c.file;
  }
  EXPECT_TRUE(QDir(folder + "/Export").entryList(QDir::Files | QDir::Hidden).isEmpty());
  const RenderResult shown = Render(JobOf(folder + "/idat_crc.png"), {64, 48, true});
  EXPECT_EQ(shown.damage.toStdString(), "IDAT: CRC error");
}

TEST(Untrusted, EveryCutInsideTheScanDataIsRefusedForExport) {
  const QString folder = TestFolder("untrusted-cuts");
  const QImage photo = PositionPicture(64, 48);
  int cuts = 0;
  for (const Coding coding : {kBaseline, kProgressive, kArithmetic}) {
    const std::string whole = EncodeJpeg(photo, coding);
    const size_t firstScan = whole.find("\xFF\xDA"), end = whole.rfind("\xFF\xD9");
    ASSERT_LT(firstScan, end);
    const size_t scanData = firstScan + 2 + (size_t(uint8_t(whole[firstScan + 2])) << 8 | uint8_t(whole[firstScan + 3]));
    const QString path = folder + "/photo.jpg";
    for (size_t cut = scanData; cut < end; ++cut, ++cuts) {
      WriteFile(QFile::encodeName(path).toStdString(), whole.substr(0, cut));
      const QString outcome = Outcome([&] { return ExportStampedCopy(JobOf(path)); });
      EXPECT_EQ(outcome, "Cannot read " + path + ": Picture data is damaged: Premature end of JPEG file")
          << coding << " " << cut;
      ASSERT_TRUE(QDir(folder + "/Export").entryList(QDir::Files | QDir::Hidden).isEmpty()) << coding << " " << cut;
    }
    WriteFile(QFile::encodeName(path).toStdString(), whole);
    EXPECT_EQ(Outcome([&] { return ExportStampedCopy(JobOf(path)); }), folder + "/Export/photo.jpg");
    QFile::remove(folder + "/Export/photo.jpg");
  }
  EXPECT_GT(cuts, 500);  // the sweep reached the scan data of all three
}

int OpenDescriptors() { return int(QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size()); }

TEST(Untrusted, FailedOpensLeaveNoDescriptorBehind) {
  const QString folder = TestFolder("untrusted-leaks");
  const std::string good = EncodeJpeg(BlockPicture(64, 48), kBaseline);
  const std::pair<const char*, std::string> failing[] = {
      {"header_cut.jpg", good.substr(0, 30)}, {"claim_too_large.jpg", Claiming(good, 65500, 65500)},
      {"claim_beyond_data.jpg", Claiming(good, 6000, 4000)},
      {"scan_without_tables.jpg", good.substr(0, 2) + good.substr(good.find("\xFF\xDA"))}};
  for (const auto& [name, bytes] : failing) WriteFile(QFile::encodeName(folder + "/" + name).toStdString(), bytes);
  const int before = OpenDescriptors();
  for (int i = 0; i < 1000; ++i) {
    const QString path = folder + "/" + failing[i % 4].first;
    EXPECT_THROW(Render(JobOf(path), {160, 120, true}), PictureError) << path.toStdString();
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST(Untrusted, QtReadersFollowTheRenderCap) {
  const QString folder = TestFolder("untrusted-qt");
  // 45 megapixels: past Qt's own 128 MB, within ours.
  QImage large(8200, 5500, QImage::Format_RGB888);
  large.fill(qRgb(90, 120, 150));
  QImageWriter writer(folder + "/large.png");
  writer.setQuality(100);  // fastest compression
  ASSERT_TRUE(writer.write(large));
  large = QImage();
  EXPECT_EQ(Outcome([&] { return ExportStampedCopy(JobOf(folder + "/large.png")); }).toStdString(),
            (folder + "/Export/large.jpg").toStdString());

  // A portable pixmap's header claims its size in text.
  const auto claiming = [&](const char* name, int w, int h) {
    const std::string bytes = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n" + std::string(300, 'x');
    WriteFile(QFile::encodeName(folder + "/" + name).toStdString(), bytes);
    return Outcome([&] { return ExportStampedCopy(JobOf(folder + "/" + name)); }).toStdString();
  };
  EXPECT_EQ(claiming("huge.ppm", 20000, 20000), "Cannot make a picture of 20000 x 20000 pixels");
  EXPECT_EQ(claiming("implausible.ppm", 9000, 9000),
            "Cannot read " + folder.toStdString() + "/implausible.ppm: A file of 317 bytes cannot hold 9000 x 9000 pixels");
}

}  // namespace
}  // namespace tessaly
