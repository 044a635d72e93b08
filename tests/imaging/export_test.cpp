// The export copy: where it goes, what kind of JPEG it is, that the stamp
// changes the pixels under the text and nothing else, and what a failure
// leaves behind.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <sys/resource.h>

#include "Export.h"
#include "JpegCodec.h"
#include "PhotoBuilder.h"
#include "PictureFiles.h"

namespace tessaly {
namespace {

using testing::BlockPicture;
using testing::ChannelDifference;
using testing::DecodeReference;
using testing::JpegSegments;
using testing::ReadBytes;
using testing::TestFolder;
using testing::WriteJpegPicture;

RenderJob StampJob(const QString& file, const QString& date, const QString& comment) {
  RenderJob job;
  job.fileName = file;
  job.withStamp = true;
  job.font.SetSize(20);
  job.font.bold = true;
  job.font.SetColor(Qt::white);
  job.dateText = date;
  job.comment = comment;
  return job;
}

std::string ExifApp1() {
  ::tessaly::testing::TiffBuilder tiff(false);
  tiff.AddAscii(0, 0x010F, "Maker");
  tiff.AddAscii(0, 0x0132, "2020:01:02 03:04:05");
  return ::tessaly::testing::ExifSegment(tiff.Build());
}

TEST(Export, WritesBaselineQuality100ColourWithoutMetadata) {
  const QString folder = TestFolder("export-kind");
  const QString source = folder + "/photo.jpg";
  WriteJpegPicture(source, BlockPicture(320, 240), 90, ExifApp1());
  ASSERT_EQ(JpegSegments(ReadBytes(source))[0].marker, 0xE1);  // the source has EXIF

  const QString written = ExportStampedCopy(StampJob(source, "02.01.2020", "sea"));
  EXPECT_EQ(written, folder + "/Export/photo.jpg");
  const std::string bytes = ReadBytes(written);
  ASSERT_EQ(bytes.substr(0, 2), "\xFF\xD8");
  int frames = 0, tables = 0;
  for (const auto& [marker, payload] : JpegSegments(bytes)) {
    EXPECT_NE(marker, 0xE1) << "no APP1 carried over";
    EXPECT_NE(marker, 0xED) << "no APP13 carried over";
    EXPECT_TRUE(marker != 0xC1 && marker != 0xC2) << "sequential baseline only";
    if (marker == 0xC0) {
      ++frames;
      ASSERT_GE(payload.size(), 6u);
      EXPECT_EQ(uint8_t(payload[0]), 8);  // precision
      EXPECT_EQ((uint8_t(payload[1]) << 8 | uint8_t(payload[2])), 240);
      EXPECT_EQ((uint8_t(payload[3]) << 8 | uint8_t(payload[4])), 320);
      EXPECT_EQ(uint8_t(payload[5]), 3);  // colour
    }
    if (marker == 0xDB) {
      // Quality 100 scales every quantiser to 1; baseline keeps them 8-bit.
      for (size_t pos = 0; pos < payload.size(); pos += 65, ++tables) {
        EXPECT_EQ(uint8_t(payload[pos]) >> 4, 0) << "8-bit table";
        EXPECT_EQ(payload.substr(pos + 1, 64), std::string(64, '\x01'));
      }
    }
  }
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(tables, 2);
}

TEST(Export, StampChangesThePixelsUnderTheTextOnly) {
  const QString folder = TestFolder("export-pixels");
  const QString source = folder + "/blocks.bmp";  // lossless source
  const QImage picture = BlockPicture(960, 720);
  ASSERT_TRUE(picture.save(source));
  const QImage plain = DecodeReference(ExportStampedCopy(StampJob(source, "", "")));
  const RenderJob job = StampJob(source, "14.07.2019", "Summer");
  const QImage stamped = DecodeReference(ExportStampedCopy(job));
  ASSERT_EQ(plain.size(), picture.size());
  ASSERT_EQ(stamped.size(), picture.size());

  const int fh = 720 * 20 / 400;
  const QFontMetrics metrics(job.font.ToQFont(fh));
  const int margin = metrics.horizontalAdvance("###");
  const int textTop = 720 - fh - 2 * metrics.height();
  const int textLeft = 960 - margin - std::max(metrics.horizontalAdvance("14.07.2019"),
                                                metrics.horizontalAdvance("Summer"));
  // JPEG codes 16 x 16 blocks (4:2:0) on their own, and the decoder's chroma
  // upsampling reaches one pixel into the next block: blocks further from
  // the text come back exactly as without the stamp.
  const auto nearText = [&](int x, int y) {
    return (x + 1) / 16 >= (textLeft - 1) / 16 && (x - 1) / 16 <= (960 - margin) / 16 &&
           (y + 1) / 16 >= (textTop - 1) / 16 && (y - 1) / 16 <= (720 - fh) / 16;
  };
  int differentAway = 0, changedUnder = 0, worstSource = 0;
  for (int y = 0; y < 720; ++y)
    for (int x = 0; x < 960; ++x) {
      if (!nearText(x, y))
        differentAway += stamped.pixel(x, y) != plain.pixel(x, y);
      else if (ChannelDifference(stamped.pixel(x, y), plain.pixel(x, y)) > 60)
        ++changedUnder;
      // Inside the source's flat blocks the copy is the source.
      if (x % 16 > 1 && x % 16 < 14 && y % 16 > 1 && y % 16 < 14 && !nearText(x, y))
        worstSource = std::max(worstSource, ChannelDifference(stamped.pixel(x, y), picture.pixel(x, y)));
    }
  EXPECT_EQ(differentAway, 0);
  EXPECT_GT(changedUnder, 500);
  EXPECT_LE(worstSource, 2);
}

TEST(Export, StreamedCopyIsTheWholeRenderEncoded) {
  // The export hands rows to the encoder as they are decoded and keeps only
  // the band with the text; the file must be what encoding the whole render
  // gives, byte for byte.
  const QString folder = TestFolder("export-streamed");
  const QString source = folder + "/wide.jpg";
  WriteJpegPicture(source, BlockPicture(480, 270), 90);
  struct Case {
    const char* name;
    std::optional<TRect> crop;
    int points;
    QString date, comment;
  };
  const Case cases[] = {
      {"whole picture", std::nullopt, 20, "14.07.2019", "Summer"},
      {"band above the picture", TRect{0, -50, 480, 270}, 12, "14.07.2019", ""},
      {"text taller than the picture", std::nullopt, 300, "14.07.2019", "Summer"},
      {"no text", TRect{10, 20, 300, 200}, 10, "", ""},
  };
  for (const Case& c : cases) {
    RenderJob job = StampJob(source, c.date, c.comment);
    job.crop = c.crop;
    job.font.SetSize(c.points);
    const QString whole = folder + "/whole.jpg";
    const int fd = ::open(QFile::encodeName(whole).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    WriteJpeg(fd, Render(job, {0, 0, false}).image, whole);
    ::close(fd);
    EXPECT_EQ(ReadBytes(ExportStampedCopy(job)), ReadBytes(whole)) << c.name;
  }
}

TEST(Export, EmptyCommentPutsTheDateOnTheBottomLine) {
  const QString folder = TestFolder("export-date-only");
  const QString source = folder + "/blocks.png";
  ASSERT_TRUE(BlockPicture(800, 400).save(source));
  const RenderJob job = StampJob(source, "01.02.2003", "");
  const RenderResult r = Render(job, {0, 0, false});
  const int fh = 400 * 20 / 400;
  const int lineHeight = QFontMetrics(job.font.ToQFont(fh)).height();
  const QImage picture(source);
  const auto changedRows = [&](int from, int to) {
    int changed = 0;
    for (int y = from; y < to; ++y)
      for (int x = 0; x < 800; ++x) changed += r.image.pixel(x, y) != picture.pixel(x, y);
    return changed;
  };
  EXPECT_GT(changedRows(400 - fh - lineHeight, 400 - fh), 100);
  EXPECT_EQ(changedRows(0, 400 - fh - lineHeight), 0);
  EXPECT_EQ(changedRows(400 - fh, 400), 0);
}

TEST(Export, BitmapKeepsItsNameWithJpegInside) {
  const QString folder = TestFolder("export-bmp");
  const QString source = folder + "/scan.bmp";
  ASSERT_TRUE(BlockPicture(200, 100).save(source));
  const QString written = ExportStampedCopy(StampJob(source, "d", "c"));
  EXPECT_EQ(written, folder + "/Export/scan.bmp");
  EXPECT_EQ(ReadBytes(written).substr(0, 3), "\xFF\xD8\xFF");
  EXPECT_EQ(DecodeReference(written).size(), QSize(200, 100));
}

TEST(Export, ReplacesAnEarlierExport) {
  const QString folder = TestFolder("export-twice");
  const QString source = folder + "/p.png";
  ASSERT_TRUE(BlockPicture(200, 160).save(source));
  const QString first = ExportStampedCopy(StampJob(source, "first", ""));
  const std::string firstBytes = ReadBytes(first);
  EXPECT_EQ(ExportStampedCopy(StampJob(source, "second", "")), first);
  EXPECT_NE(ReadBytes(first), firstBytes);
  EXPECT_EQ(QDir(folder + "/Export").entryList(QDir::Files | QDir::Hidden), QStringList{"p.png"});
}

TEST(Export, FolderThatCannotBeMadeStopsBeforeWriting) {
  const QString folder = TestFolder("export-no-folder");
  const QString source = folder + "/p.png";
  ASSERT_TRUE(BlockPicture(64, 64).save(source));
  // A file named "Export" stands where the folder would go (tests run as
  // root, whom permissions do not stop).
  testing::WriteFile(QFile::encodeName(folder + "/Export").toStdString(), "not a folder");
  try {
    ExportStampedCopy(StampJob(source, "d", "c"));
    ADD_FAILURE() << "no error";
  } catch (const PictureError& e) {
    EXPECT_EQ(e.Message(), "Cannot create " + folder + "/Export/");
  }
  EXPECT_EQ(ReadBytes(folder + "/Export"), "not a folder");
}

TEST(Export, FailedWriteKeepsTheEarlierExport) {
  const QString folder = TestFolder("export-failed-write");
  const QString source = folder + "/p.png";
  ASSERT_TRUE(BlockPicture(400, 300).save(source));
  const QString path = ExportStampedCopy(StampJob(source, "good", ""));
  const std::string good = ReadBytes(path);
  ASSERT_GT(good.size(), 4096u);

  // The file system refuses to let the file grow past 4 KiB.
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ::setrlimit(RLIMIT_FSIZE, &small);
  QString message;
  try {
    ExportStampedCopy(StampJob(source, "bad", "never written"));
  } catch (const PictureError& e) {
    message = e.Message();
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(message, "Cannot write " + path + ": File too large");
  EXPECT_EQ(ReadBytes(path), good);
  EXPECT_EQ(QDir(folder + "/Export").entryList(QDir::Files | QDir::Hidden), QStringList{"p.png"});
}

}  // namespace
}  // namespace tessaly
