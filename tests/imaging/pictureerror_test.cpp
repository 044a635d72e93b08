// The imaging side's error type: each way a picture fails gives the message
// the user sees and its reason alone, whether the failure is made by the
// shared helpers or comes out of libjpeg through the one error manager of the
// decoder and the encoder.
#include <gtest/gtest.h>

#include <QFile>
#include <cerrno>
#include <functional>
#include <vector>

#include "JpegCodec.h"
#include "PhotoBuilder.h"
#include "PictureError.h"
#include "PictureFiles.h"

namespace tessaly {
namespace {

using namespace testing;

TEST(PictureError, MessageAndReasonOfEachFailure) {
  const QString folder = TestFolder("picture-error");
  const std::string whole = [&] {
    WriteJpegPicture(folder + "/whole.jpg", BlockPicture(64, 48));
    return ReadBytes(folder + "/whole.jpg");
  }();
  const QString cut = folder + "/cut.jpg";
  WriteFile(QFile::encodeName(cut).toStdString(), whole.substr(0, whole.size() - 200));
  const QString notJpeg = folder + "/not.jpg";
  WriteFile(QFile::encodeName(notJpeg).toStdString(), "not a picture");

  const struct {
    const char* name;
    std::function<void()> fail;
    QString message, reason;
  } cases[] = {
      {"open", [] { throw OpenError("/x/a.jpg", "No such file or directory"); },
       "Cannot open /x/a.jpg: No such file or directory", "No such file or directory"},
      {"read", [] { throw ReadError("/x/a.jpg", "Not a JPEG file"); }, "Cannot read /x/a.jpg: Not a JPEG file",
       "Not a JPEG file"},
      {"render cap", [] { CheckClaimedSize("/x/a.ppm", 20000, 20000, 1000); },
       "Cannot make a picture of 20000 x 20000 pixels", "Cannot make a picture of 20000 x 20000 pixels"},
      {"implausible claim", [] { CheckClaimedSize("/x/a.ppm", 9000, 9000, 1000); },
       "Cannot read /x/a.ppm: A file of 1000 bytes cannot hold 9000 x 9000 pixels",
       "A file of 1000 bytes cannot hold 9000 x 9000 pixels"},
      {"decoder: damaged data refused",
       [&] {
         JpegDecoder decoder(cut, true);
         decoder.Start(8);
         std::vector<uint8_t> row(size_t(decoder.OutputWidth()) * 3);
         for (int y = 0; y < decoder.OutputHeight(); ++y) decoder.ReadRow(row.data());
       },
       "Cannot read " + cut + ": Picture data is damaged: Premature end of JPEG file",
       "Picture data is damaged: Premature end of JPEG file"},
      {"decoder: libjpeg's own error", [&] { JpegDecoder decoder(notJpeg); },
       "Cannot read " + notJpeg + ": Not a JPEG file: starts with 0x6e 0x6f",
       "Not a JPEG file: starts with 0x6e 0x6f"},
      {"encoder: the write fails", [] { WriteJpeg(-1, BlockPicture(16, 16), "/x/out.jpg"); },
       "Cannot write /x/out.jpg: " + ErrnoText(EBADF), ErrnoText(EBADF)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.fail();
      ADD_FAILURE() << "no error";
    } catch (const PictureError& e) {
      EXPECT_EQ(e.Message().toStdString(), c.message.toStdString());
      EXPECT_EQ(e.Reason().toStdString(), c.reason.toStdString());
    }
  }
}

}  // namespace
}  // namespace tessaly
