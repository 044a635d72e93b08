// tessaly-exif's output: no byte of a photo's metadata reaches the terminal
// as a control character, and the JSON is valid UTF-8 whatever the file name.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>

#include "IptcSeeds.h"
#include "OutputText.h"
#include "SamplePhotos.h"

namespace tessaly {
namespace {

using namespace tessaly::testing;

std::string Output(const std::string& arguments) {
  std::string output;
  FILE* pipe = popen((std::string(TESSALY_EXIF_PROGRAM) + " " + arguments).c_str(), "r");
  char block[4096];
  for (size_t n; pipe && (n = fread(block, 1, sizeof block, pipe)) > 0;) output.append(block, n);
  if (pipe) pclose(pipe);
  return output;
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char block[4096];
    for (size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) bytes.append(block, n);
    std::fclose(file);
  }
  return bytes;
}

// A caption with colour and link sequences, a name that is not UTF-8, and the
// three dates, one of them no date.
TEST(ExifProgram, EscapesMetadataAndNamesAndListsTheDates) {
  EXPECT_EQ(TerminalText("DEL\x7F CSI \xC2\x9B" "31m Фото"), "DEL\\x7F CSI \\u009B31m Фото");
  const std::string caption = IptcDataset(2, 120, "\x1B[41mred\x1B]8;;x\x07");
  const std::string exif = ExifSegment(SampleTiff(false, "2005:02:30 10:00:00"));
  const std::string dir = TempDir("exif_program");
  const std::string photo = WriteFile(
      dir + "/photo\xFF.jpg", JpegFile({exif, Segment(0xED, PhotoshopBlock(caption))}));

  const std::string text = Output("'" + photo + "'");
  EXPECT_EQ(text.find('\x1B'), std::string::npos);
  EXPECT_NE(text.find("Caption = \\x1B[41mred\\x1B]8;;x\\x07\n"), std::string::npos) << text;

  const std::string json = Output("--json '" + photo + "'");
  EXPECT_EQ(ValidUtf8(json), json);
  EXPECT_NE(json.find("/photo\uFFFD.jpg\","), std::string::npos) << json;
  EXPECT_NE(json.find("\"dates\": {\"original\": \"2024-05-06 07:08:01\", \"digitized\": null, "
                      "\"modified\": \"2024-05-06 07:08:09\"},"), std::string::npos);
  // The date taken, as the window stamps it, beside the reader's own choice.
  EXPECT_NE(json.find("\"dateTaken\": \"2024-05-06 07:08:01\","), std::string::npos) << json;
}

// Exit 1 with the reason on stderr for a file that cannot be read at all;
// a file read with no metadata in it is no failure. The listing of the
// others still comes.
TEST(ExifProgram, ExitsWithOneForAMissingOrUnreadableFile) {
  const std::string dir = TempDir("exif_program_exits");
  const std::string photo = WriteFile(dir + "/photo.jpg", JpegFile({ExifSegment(SampleTiff(false, "2005:02:03 10:00:00"))}));
  const std::string text = WriteFile(dir + "/notes.jpg", "no picture");
  const struct { std::string arguments; int status; std::string error; bool listsPhoto; } cases[] = {
      {"'" + photo + "'", 0, "", true},
      {"'" + text + "'", 0, "", false},
      {"'" + dir + "/missing.jpg'", 1, "tessaly-exif: cannot read " + dir + "/missing.jpg: No such file or directory\n", false},
      {"'" + dir + "/gone\x1B[31m.jpg' '" + photo + "'", 1,
       "tessaly-exif: cannot read " + dir + "/gone\\x1B[31m.jpg: No such file or directory\n", true},
      {"--json '" + dir + "' '" + photo + "'", 1, "tessaly-exif: cannot read " + dir + ": Is a directory\n", true}};
  for (const auto& c : cases) {
    const std::string command = std::string(TESSALY_EXIF_PROGRAM) + " " + c.arguments + " >'" + dir + "/out' 2>'" + dir + "/err'";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), c.status) << c.arguments;
    EXPECT_EQ(ReadFile(dir + "/err"), c.error) << c.arguments;
    EXPECT_EQ(ReadFile(dir + "/out").find(photo) != std::string::npos, c.listsPhoto) << c.arguments;
  }
}

}  // namespace
}  // namespace tessaly
