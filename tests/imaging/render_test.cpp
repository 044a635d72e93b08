// Render: output sizes, the nearest-neighbour copy of the crop rectangle
// (exact pixels from lossless sources), the band outside the picture, reduced
// DCT decoding for small targets, and pictures that cannot be read.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "PhotoBuilder.h"
#include "PictureFiles.h"
#include "Render.h"

namespace tessaly {
namespace {

using namespace testing;

TEST(OutputSize, FollowsTheTargetAndTheProportion) {
  struct Case {
    const char* name;
    int64_t sw, sh;
    RenderTarget target;
    QSize expected;
  };
  const Case cases[] = {
      {"landscape into a wide view: width from the view", 3000, 2000, {600, 100, true}, {600, 400}},
      {"landscape into a tall view: height may exceed it", 4000, 1000, {300, 900, true}, {300, 75}},
      {"portrait: height from the view", 2000, 3000, {900, 300, true}, {200, 300}},
      {"square counts as portrait", 500, 500, {800, 200, true}, {200, 200}},
      {"half rounds to even, down", 4, 1, {10, 10, true}, {10, 2}},
      {"half rounds to even, up", 4, 1, {6, 10, true}, {6, 2}},
      {"no stretch: the source's own size", 4000, 2667, {10, 10, false}, {4000, 2667}},
      {"empty source", 0, 10, {10, 10, true}, {0, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(OutputSize(c.sw, c.sh, c.target), c.expected) << c.name;
}

TEST(Render, CopiesTheCropWithoutAveraging) {
  const QString folder = TestFolder("render-copy");
  const QString png = folder + "/position.png";
  const QImage source = PositionPicture(30, 10);  // wider than 3:2
  ASSERT_TRUE(source.save(png));
  const QRgb white = kOutsideColor;
  const auto at = [&](int64_t x, int64_t y) {
    return x < 0 || y < 0 || x >= 30 || y >= 10 ? white : source.pixel(int(x), int(y));
  };
  struct Case {
    const char* name;
    TRect crop;
    RenderTarget target;
    QSize size;
    std::function<QRgb(int, int)> expected;
  };
  const Case cases[] = {
      {"crop at its own size", {2, 3, 12, 8}, {0, 0, false}, {10, 5},
       [&](int x, int y) { return at(2 + x, 3 + y); }},
      {"enlarged twice: each pixel repeated", {0, 0, 30, 10}, {60, 0, true}, {60, 20},
       [&](int x, int y) { return at(x / 2, y / 2); }},
      {"halved: the pixel under each centre", {0, 0, 30, 10}, {15, 0, true}, {15, 5},
       [&](int x, int y) { return at(2 * x + 1, 2 * y + 1); }},
      {"band above the picture filled", {0, -5, 30, 10}, {0, 0, false}, {30, 15},
       [&](int x, int y) { return at(x, y - 5); }},
      {"band left of the picture filled", {-3, 0, 27, 10}, {0, 0, false}, {30, 10},
       [&](int x, int y) { return at(x - 3, y); }},
      {"band beyond the right and bottom edges", {20, 5, 40, 15}, {0, 0, false}, {20, 10},
       [&](int x, int y) { return at(20 + x, 5 + y); }},
      {"band above, scaled", {0, -5, 30, 10}, {60, 0, true}, {60, 30},
       [&](int x, int y) { return at(x / 2, y / 2 - 5); }},
  };
  for (const Case& c : cases) {
    RenderJob job{png, c.crop, true, TStampFont{}, QString(), QString()};
    const RenderResult r = Render(job, c.target);
    ASSERT_EQ(r.image.size(), c.size) << c.name;
    EXPECT_EQ(r.pictureWidth, 30) << c.name;
    EXPECT_EQ(r.pictureHeight, 10) << c.name;
    int wrong = 0;
    for (int y = 0; y < c.size.height(); ++y)
      for (int x = 0; x < c.size.width(); ++x) wrong += r.image.pixel(x, y) != c.expected(x, y);
    EXPECT_EQ(wrong, 0) << c.name;
  }
}

TEST(Render, SmallTargetsOfJpegKeepTheirColours) {
  // A thumbnail of a large JPEG is decoded at a reduced scale; every output
  // pixel must still come from the right place of the picture.
  const QString jpg = TestFolder("render-reduced") + "/blocks.jpg";
  const QImage source = BlockPicture(1024, 768);
  WriteJpegPicture(jpg, source, 95);
  for (const int width : {128, 200, 333, 1024}) {
    const RenderResult r = Render(RenderJob{jpg, std::nullopt, false, {}, {}, {}}, {width, 0, true});
    ASSERT_EQ(r.image.width(), width);
    ASSERT_EQ(r.image.height(), qRound(width * 0.75));
    int worst = 0;
    for (int y = 0; y < r.image.height(); y += 3)
      for (int x = 0; x < width; x += 3) {
        // Compare with the middle of the source block under the pixel, away
        // from block edges where the reduced decode blends neighbours.
        const int sx = int((2 * int64_t(x) + 1) * 1024 / (2 * width));
        const int sy = int((2 * int64_t(y) + 1) * 768 / (2 * r.image.height()));
        if (sx % 16 < 4 || sx % 16 > 11 || sy % 16 < 4 || sy % 16 > 11) continue;
        worst = std::max(worst, ChannelDifference(r.image.pixel(x, y), source.pixel(sx, sy)));
      }
    EXPECT_LE(worst, 8) << width;
  }
}

TEST(Render, CropOfAJpegIsThePictureItselfThere) {
  // Rows above a crop are skipped in the decoder, not decoded; what follows
  // must be the rows a whole decode gives.
  const QString jpg = TestFolder("render-skip") + "/p.jpg";
  WriteJpegPicture(jpg, BlockPicture(320, 480), 90);
  const QImage whole = Render(RenderJob{jpg, std::nullopt, false, {}, {}, {}}, {0, 0, false}).image;
  for (const int top : {1, 17, 150, 333}) {
    const QImage crop = Render(RenderJob{jpg, TRect{0, top, 320, top + 100}, true, {}, {}, {}}, {0, 0, false}).image;
    EXPECT_EQ(crop, whole.copy(0, top, 320, 100)) << top;
  }
}

TEST(Render, PicturesThatCannotBeReadRaiseTheirMessage) {
  const QString folder = TestFolder("render-bad");
  WriteJpegPicture(folder + "/good.jpg", BlockPicture(64, 48), 90);
  const std::string good = ReadBytes(folder + "/good.jpg");
  const size_t sof = good.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  const auto patched = [&](size_t at, std::string bytes) {
    std::string b = good;
    b.replace(sof + at, bytes.size(), bytes);
    return b;
  };
  // A progressive JPEG holds every coefficient until its last scan, so its
  // header alone decides how much the decoder asks for, also for a thumbnail;
  // and every scan passes over the whole picture, so their number decides
  // the time.
  QBuffer progressive;
  progressive.open(QIODevice::WriteOnly);
  QImageWriter writer(&progressive, "jpeg");
  writer.setProgressiveScanWrite(true);
  ASSERT_TRUE(writer.write(BlockPicture(64, 48)));
  const std::string small = progressive.data().toStdString();
  const size_t sof2 = small.find("\xFF\xC2");
  ASSERT_NE(sof2, std::string::npos);
  std::string hugeProgressive = small;
  hugeProgressive.replace(sof2 + 5, 4, "\xFF\xDC\xFF\xDC");
  const size_t lastScan = small.rfind("\xFF\xDA"), end = small.rfind("\xFF\xD9");
  ASSERT_LT(lastScan, end);
  std::string manyScans = small.substr(0, end);
  for (int i = 0; i < 100; ++i) manyScans += small.substr(lastScan, end - lastScan);
  manyScans += "\xFF\xD9";
  const RenderTarget thumbnail{160, 120, true};
  struct Case {
    const char* file;  // named after its one fault
    std::string bytes;
    const char* message;  // after "Cannot ...: "
    RenderTarget target{0, 0, false};
  };
  const Case cases[] = {
      {"missing_file.jpg", "", "Cannot open %1: No such file or directory"},
      {"empty_file.jpg", "", "Cannot read %1: Empty input file"},
      {"bitmap_bytes.jpg", std::string("BM\0\0\0\0", 6), "Cannot read %1: Not a JPEG file: starts with 0x42 0x4d"},
      {"truncated_header.jpg", good.substr(0, 30), "Cannot read %1: JPEG datastream contains no image"},
      {"no_frame.jpg", "\xFF\xD8\xFF\xD9", "Cannot read %1: JPEG datastream contains no image"},
      {"zero_width.jpg", patched(7, std::string(2, '\0')), "Cannot read %1: Empty JPEG image (DNL not supported)"},
      {"component_count_beyond_length.jpg", patched(9, "\x07"), "Cannot read %1: Bogus marker length"},
      {"huge_dimensions.jpg", patched(5, "\xFF\xDC\xFF\xDC"), "Cannot make a picture of 65500 x 65500 pixels"},
      {"garbage.bmp", "BMxxxxxxxxxxxxxxxx", "Cannot read %1: Unable to read image data"},
      {"unknown_extension.xyz", "hello", "Cannot read %1: Unsupported image format"},
      {"progressive_huge_dimensions.jpg", hugeProgressive, "Cannot make a picture of 65500 x 65500 pixels", thumbnail},
      {"more_than_100_scans.jpg", manyScans, "Cannot read %1: More than 100 scans", thumbnail},
  };
  for (const Case& c : cases) {
    const QString path = folder + "/" + c.file;
    if (std::string(c.file) != "missing_file.jpg")
      WriteFile(QFile::encodeName(path).toStdString(), c.bytes);
    try {
      Render(RenderJob{path, std::nullopt, true, {}, "d", "c"}, c.target);
      ADD_FAILURE() << c.file << ": no error";
    } catch (const PictureError& e) {
      EXPECT_EQ(e.Message(), QString::fromUtf8(c.message).arg(path)) << c.file;
    }
  }
}

TEST(Render, NamesThatAreNoFilesAreRefusedWithoutWaiting) {
  const QString folder = TestFolder("render-no-file");
  for (const char* name : {"folder.jpg", "folder.png"}) ASSERT_TRUE(QDir(folder).mkdir(name));
  for (const char* name : {"pipe.jpg", "pipe.png"})
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + "/" + name).constData(), 0644), 0);
  for (const char* name : {"folder.jpg", "folder.png", "pipe.jpg", "pipe.png"}) {
    const QByteArray path = QFile::encodeName(folder + "/" + name);
    // A writer that comes when the pipe is opened for reading, so that a
    // render that opens it fails instead of waiting; it is let go at the end.
    std::thread writer([&] {
      if (std::string(name).starts_with("pipe")) ::close(::open(path.constData(), O_WRONLY));
    });
    try {
      Render(RenderJob{folder + "/" + name, std::nullopt, true, {}, "d", "c"}, {160, 120, true});
      ADD_FAILURE() << name << ": no error";
    } catch (const PictureError& e) {
      EXPECT_EQ(e.Message(), "Cannot open " + folder + "/" + name + ": Not a regular file") << name;
    }
    const int reader = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
    writer.join();
    ::close(reader);
  }
}

}  // namespace
}  // namespace tessaly
