// The export copy: where it goes, what kind of JPEG it is, that the stamp
// changes the pixels under the text and nothing else, that streaming it gives
// the whole render, and what a failure leaves behind.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Export.h"
#include "JpegCodec.h"
#include "PathBytes.h"
#include "PhotoBuilder.h"
#include "PictureFiles.h"

namespace tessaly {
namespace {

using namespace testing;

RenderJob StampJob(const QString& file, const QString& date, const QString& comment, int points = 20) {
  RenderJob job{file, std::nullopt, true, {}, date, comment};
  job.font.SetSize(points);
  job.font.bold = true;
  job.font.SetColor(Qt::white);
  return job;
}

TEST(Export, WritesBaselineQuality100ColourWithoutMetadata) {
  const QString folder = TestFolder("export-kind");
  const QString source = folder + "/photo.jpg";
  TiffBuilder tiff(false);
  tiff.AddAscii(0, 0x0132, "2020:01:02 03:04:05");
  WriteJpegPicture(source, BlockPicture(320, 240), 90, ExifSegment(tiff.Build()));

  const QString written = ExportStampedCopy(StampJob(source, "02.01.2020", "sea"));
  EXPECT_EQ(written, folder + "/Export/photo.jpg");
  int tables = 0;
  std::string markers;
  for (const auto& [marker, payload] : JpegSegments(ReadBytes(written))) {
    markers += QString::number(marker, 16).toStdString() + " ";
    if (marker == 0xC0) {  // baseline frame: precision, height, width, components
      EXPECT_EQ(payload.substr(0, 6), std::string("\x08\x00\xF0\x01\x40\x03", 6));
    }
    // Quality 100 scales every quantiser to 1; baseline keeps the tables 8-bit.
    for (size_t pos = 0; marker == 0xDB && pos < payload.size(); pos += 65, ++tables)
      EXPECT_EQ(payload.substr(pos + 1, 64), std::string(64, '\x01')) << "table " << int(payload[pos]);
  }
  // JFIF, two tables, the baseline frame, Huffman tables, scan: no APP1.
  EXPECT_EQ(markers, "e0 db db c0 c4 c4 c4 c4 da ");
  EXPECT_EQ(tables, 2);
}

TEST(Export, StampChangesThePixelsUnderTheTextOnly) {
  const QString folder = TestFolder("export-pixels");
  const QString source = folder + "/blocks.bmp";  // lossless source
  const QImage picture = BlockPicture(960, 720);
  ASSERT_TRUE(picture.save(source));
  const QImage plain = DecodeReference(ExportStampedCopy(StampJob(source, "", "")));
  for (const QString comment : {"Summer", ""}) {  // no comment: the date on the bottom line
    const RenderJob job = StampJob(source, "14.07.2019", comment);
    const QImage stamped = DecodeReference(ExportStampedCopy(job));
    ASSERT_EQ(stamped.size(), picture.size());
    const int fh = 720 * 20 / 400;
    const QFontMetrics metrics(job.font.ToQFont(fh));
    const int right = 960 - metrics.horizontalAdvance("###");
    const int left = right - std::max(metrics.horizontalAdvance(job.dateText), metrics.horizontalAdvance(comment));
    const int top = 720 - fh - (comment.isEmpty() ? 1 : 2) * metrics.height();
    // JPEG codes 16 x 16 blocks (4:2:0) on their own, and chroma upsampling
    // reaches one pixel into the next block: blocks further from the text
    // come back exactly as without the stamp.
    const auto nearText = [&](int x, int y) {
      return (x + 1) / 16 >= left / 16 && (x - 1) / 16 <= right / 16 && (y + 1) / 16 >= top / 16 &&
             (y - 1) / 16 <= (720 - fh) / 16;
    };
    int differentAway = 0, changedUnder = 0, worstSource = 0;
    for (int y = 0; y < 720; ++y)
      for (int x = 0; x < 960; ++x) {
        const int d = ChannelDifference(stamped.pixel(x, y), plain.pixel(x, y));
        if (nearText(x, y)) {
          changedUnder += d > 60;
        } else {
          differentAway += d != 0;
          if (x % 16 > 1 && x % 16 < 14 && y % 16 > 1 && y % 16 < 14)  // inside a flat block
            worstSource = std::max(worstSource, ChannelDifference(stamped.pixel(x, y), picture.pixel(x, y)));
        }
      }
    EXPECT_EQ(differentAway, 0) << comment.toStdString();
    EXPECT_GT(changedUnder, 300) << comment.toStdString();
    EXPECT_LE(worstSource, 2) << comment.toStdString();
  }
}

TEST(Export, StreamedCopyIsTheWholeRenderEncoded) {
  // The export hands rows to the encoder as they are decoded and keeps only
  // the band with the text: the file must be the whole render encoded.
  const QString folder = TestFolder("export-streamed");
  const QString source = folder + "/wide.jpg";
  WriteJpegPicture(source, BlockPicture(480, 270), 90);
  struct Case {
    const char* name;
    std::optional<TRect> crop;
    int points;
  } const cases[] = {
      {"whole picture", std::nullopt, 20},
      {"band above the picture", TRect{0, -50, 480, 270}, 12},
      {"text taller than the picture", std::nullopt, 300},
      // A positive height is a cell height; its size in points is negative,
      // and so is the bottom margin: the text lies below the picture.
      {"text below the picture", TRect{0, -1500, 480, 270}, -15},
  };
  for (const Case& c : cases) {
    RenderJob job = StampJob(source, "14.07.2019", "Summer", c.points);
    job.crop = c.crop;
    const QString whole = folder + "/whole.jpg";
    const int fd = ::open(QFile::encodeName(whole).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    WriteJpeg(fd, Render(job, {0, 0, false}).image, whole);
    ::close(fd);
    EXPECT_EQ(ReadBytes(ExportStampedCopy(job)), ReadBytes(whole)) << c.name;
  }
}

// A copy is JPEG data, named so: a JPEG name is kept, any other gets .jpg
// for its extension, or added to the whole name when another file of the
// folder has that name first (letter case aside, by bytes).
TEST(Export, NamesTheCopyAsAJpegWhateverThePictureWas) {
  const QString folder = TestFolder("export-names");
  const QString longName = QString(123, u'Ф') + ".bmp";  // 250 bytes, near the longest a folder entry takes
  ASSERT_TRUE(BlockPicture(200, 100).save(folder + "/" + longName, "BMP"));
  EXPECT_EQ(ExportStampedCopy(StampJob(folder + "/" + longName, "d", "c")), folder + "/Export/" + QString(123, u'Ф') + ".jpg");
  EXPECT_EQ(DecodeReference(folder + "/Export/" + QString(123, u'Ф') + ".jpg").size(), QSize(200, 100));

  const struct { std::vector<QByteArray> beside; QByteArray picture, copy; } cases[] = {
      {{}, "shot.png", "shot.jpg"},
      {{"shot.jpg"}, "shot.png", "shot.png.jpg"},
      {{"shot.png"}, "shot.jpg", "shot.jpg"},
      {{"SHOT.JPEG"}, "shot.png", "shot.jpg"},  // its own copy is SHOT.JPEG
      {{"Shot.JPG"}, "shot.tif", "shot.tif.jpg"},
      {{"a.heic"}, "a.HEIC", "a.jpg"},
      {{"a.HEIC"}, "a.heic", "a.heic.jpg"},
      {{"B.gif", "b.txt"}, "b.tiff", "b.tiff.jpg"},
      {{"c.txt"}, "c.png", "c.jpg"},
      {{}, "scan.bmp", "scan.jpg"},
      {{}, "photo.jfif", "photo.jfif"},
      {{}, "no-extension", "no-extension.jpg"},
      {{"\xC9t\xE9.JPG"}, "\xC9t\xE9.png", "\xC9t\xE9.png.jpg"},
      {{"\xC9t\xE9.HEIC"}, "\xC9t\xE9.heic", "\xC9t\xE9.heic.jpg"}};
  int n = 0;
  for (const auto& c : cases) {
    const QByteArray sub = QFile::encodeName(folder) + "/" + QByteArray::number(++n);
    ASSERT_EQ(::mkdir(sub.constData(), 0755), 0);
    for (const QByteArray& name : c.beside) WriteFile((sub + "/" + name).toStdString(), "x");
    EXPECT_EQ(PathBytes(ExportFileName(PathFromBytes(sub + "/" + c.picture))), c.copy) << c.picture.constData();
  }
}

TEST(Export, FolderThatCannotBeMadeStopsBeforeWriting) {
  const QString folder = TestFolder("export-no-folder");
  ASSERT_TRUE(BlockPicture(64, 64).save(folder + "/p.png"));
  // A file named "Export" stands where the folder would go (the tests run
  // as root, whom permissions do not stop).
  WriteFile(QFile::encodeName(folder + "/Export").toStdString(), "not a folder");
  try {
    ExportStampedCopy(StampJob(folder + "/p.png", "d", "c"));
    ADD_FAILURE() << "no error";
  } catch (const PictureError& e) {
    EXPECT_EQ(e.Message(), "Cannot create " + folder + "/Export/\nNot a directory");
  }
  EXPECT_EQ(ReadBytes(folder + "/Export"), "not a folder");
}

TEST(Export, ReplacesAnEarlierExportButNotWithAFailedOne) {
  const QString folder = TestFolder("export-failed-write");
  const QString source = folder + "/p.png";
  ASSERT_TRUE(BlockPicture(400, 300).save(source));
  const QString path = ExportStampedCopy(StampJob(source, "first", ""));
  const std::string first = ReadBytes(path);
  EXPECT_EQ(ExportStampedCopy(StampJob(source, "good", "")), path);
  const std::string good = ReadBytes(path);
  EXPECT_NE(good, first);
  ASSERT_GT(good.size(), 4096u);

  // The file system refuses to let a file grow past 4 KiB.
  QString message;
  try {
    const FileSizeLimit small(4096);
    ExportStampedCopy(StampJob(source, "bad", "never written"));
  } catch (const PictureError& e) {
    message = e.Message();
  }

  EXPECT_EQ(message, "Cannot write " + path + ": File too large");
  EXPECT_EQ(ReadBytes(path), good);
  EXPECT_EQ(QDir(folder + "/Export").entryList(QDir::Files | QDir::Hidden), QStringList{"p.jpg"});
}

}  // namespace
}  // namespace tessaly
