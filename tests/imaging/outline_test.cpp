// The stamp's outline: a halo of the contrasting colour drawn around the
// letters only, the same in the preview and in the streamed export.
#include <gtest/gtest.h>

#include <QFile>
#include <fcntl.h>
#include <unistd.h>

#include "Export.h"
#include "JpegCodec.h"
#include "PictureFiles.h"
#include "Render.h"

namespace tessaly {
namespace {

using namespace testing;

// Bounding box of the pixels where two pictures of one size differ.
QRect Differences(const QImage& a, const QImage& b) {
  QRect box;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (a.pixel(x, y) != b.pixel(x, y)) box |= QRect(x, y, 1, 1);
  return box;
}

int CountNear(const QImage& image, const QColor& colour) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (ChannelDifference(image.pixel(x, y), colour.rgb()) <= 8) ++count;
  return count;
}

TEST(Outline, DrawnAroundTheGlyphsOnly) {
  const QString folder = TestFolder("outline-glyphs");
  const QString source = folder + "/grey.png";
  QImage grey(600, 400, QImage::Format_RGB888);
  grey.fill(QColor(128, 128, 128));
  ASSERT_TRUE(grey.save(source));
  const struct { const char* name; QColor text, halo; } cases[] = {
      {"black text, white halo", Qt::black, Qt::white}, {"white text, black halo", Qt::white, Qt::black}};
  for (const auto& c : cases) {
    RenderJob job{source, std::nullopt, true, TStampFont{}, QStringLiteral("14.07.2019"), QStringLiteral("Sea")};
    job.font.SetSize(24);
    job.font.SetColor(c.text);
    const QImage bare = Render(RenderJob{source, std::nullopt, false, {}, {}, {}}, {0, 0, false}).image;
    const QImage plain = Render(job, {0, 0, false}).image;
    job.font.outline = true;
    const QImage outlined = Render(job, {0, 0, false}).image;

    const QRect text = Differences(bare, plain);
    ASSERT_FALSE(text.isEmpty()) << c.name;
    const QRect halo = Differences(plain, outlined);
    ASSERT_FALSE(halo.isEmpty()) << c.name;
    // fh = 400 * 24 / 400 = 24 pixels of cell: a halo of 2 pixels, and a
    // pixel of antialiasing.
    const int reach = TStampFont::HaloWidth(24) + 1;
    EXPECT_TRUE(text.adjusted(-reach, -reach, reach, reach).contains(halo)) << c.name;
    EXPECT_GT(CountNear(outlined, c.text), 50) << c.name;
    EXPECT_GT(CountNear(outlined, c.halo), 50) << c.name;
    EXPECT_EQ(CountNear(plain, c.halo), 0) << c.name;

    // The export streams the rows and draws the text into a band: the same
    // picture as the whole render.
    job.fileName = folder + "/grey.png";
    const QString whole = folder + "/whole.jpg";
    const int fd = ::open(QFile::encodeName(whole).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    WriteJpeg(fd, outlined, whole);
    ::close(fd);
    EXPECT_EQ(ReadBytes(ExportStampedCopy(job)), ReadBytes(whole)) << c.name;
  }
}

}  // namespace
}  // namespace tessaly
