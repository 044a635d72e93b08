// Writing only where it belongs: links in the Export folder's place or the
// copy's, the copy's permissions, leftovers of crashed exports, file names
// that are not UTF-8 (and names that look like markup), and a file-size
// limit met by the batch program.
#include <gtest/gtest.h>

#include <QDir>
#include <cstdlib>
#include <map>
#include <QFile>
#include <QTextDocumentFragment>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include "Export.h"
#include "ImgPanel.h"
#include "PathBytes.h"
#include "PhotoBuilder.h"
#include "PictureFiles.h"

// Failures show the texts rather than their UTF-16 units.
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }

namespace tessaly {
namespace {

using namespace testing;

RenderJob Job(const QString& file, const QString& date = "d") { return RenderJob{file, std::nullopt, true, {}, date, ""}; }

QString ExportError(const QString& file) {
  try {
    ExportStampedCopy(Job(file));
  } catch (const PictureError& e) {
    return e.Message();
  }
  return "no error";
}

QStringList Entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

TEST(ExportSafety, RefusesAnExportFolderThatIsNoneWithTheReason) {
  const QString folder = TestFolder("safety-refused");
  ASSERT_TRUE(QDir(folder).mkpath("elsewhere") && QDir(folder).mkpath("link") && QDir(folder).mkpath("dangling"));
  WriteFile(QFile::encodeName(folder + "/elsewhere/p.png").toStdString(), "theirs");
  ASSERT_EQ(::symlink("../elsewhere", QFile::encodeName(folder + "/link/Export").constData()), 0);
  ASSERT_EQ(::symlink("../nowhere", QFile::encodeName(folder + "/dangling/Export").constData()), 0);
  for (const char* sub : {"link", "dangling"}) ASSERT_TRUE(BlockPicture(32, 32).save(folder + "/" + sub + "/p.png"));
  EXPECT_EQ(ExportError(folder + "/link/p.png"), "Cannot create " + folder + "/link/Export/\nIs a symbolic link");
  EXPECT_EQ(ExportError(folder + "/dangling/p.png"), "Cannot create " + folder + "/dangling/Export/\nIs a symbolic link");
  EXPECT_EQ(ExportError(folder + "/gone/p.png"), "Cannot create " + folder + "/gone/Export/\nNo such file or directory");
  EXPECT_EQ(Entries(folder + "/elsewhere"), QStringList{"p.png"});
  EXPECT_EQ(ReadBytes(folder + "/elsewhere/p.png"), "theirs");
  EXPECT_EQ(Entries(folder), (QStringList{"dangling", "elsewhere", "link"}));
}

TEST(ExportSafety, ReplacesALinkInTheCopysPlaceAndKeepsThePicturesPrivacy) {
  const QString folder = TestFolder("safety-modes");
  WriteFile(QFile::encodeName(folder + "/outside.jpg").toStdString(), "outside");
  const mode_t savedMask = ::umask(022);
  const struct { mode_t picture, copy; } cases[] = {
      {0600, 0600}, {0644, 0644}, {0640, 0640}, {0444, 0644}, {0666, 0644}};
  for (const bool named : {false, true}) {
    UseNamedTemporaryFiles(named);
    for (const auto& c : cases) {
      const QString sub = folder + QString("/%1-%2").arg(int(named)).arg(c.picture, 0, 8);
      ASSERT_TRUE(QDir(sub).mkpath("Export") && BlockPicture(64, 48).save(sub + "/p.png"));
      ASSERT_EQ(::chmod(QFile::encodeName(sub + "/p.png").constData(), c.picture), 0);
      ASSERT_EQ(::symlink("../../outside.jpg", QFile::encodeName(sub + "/Export/p.jpg").constData()), 0);
      for (const QString date : {"first", "second"}) {  // made, then replaced
        const QString copy = ExportStampedCopy(Job(sub + "/p.png", date));
        struct stat facts;
        ASSERT_EQ(::lstat(PathBytes(copy).constData(), &facts), 0);
        EXPECT_TRUE(S_ISREG(facts.st_mode));
        EXPECT_EQ(facts.st_mode & 07777, c.copy) << named << " " << std::oct << c.picture;
        EXPECT_EQ(DecodeReference(copy).size(), QSize(64, 48));
      }
      EXPECT_EQ(Entries(sub + "/Export"), QStringList{"p.jpg"});
    }
  }
  UseNamedTemporaryFiles(false);
  ::umask(savedMask);
  EXPECT_EQ(ReadBytes(folder + "/outside.jpg"), "outside");
}

// A temporary file is locked while its export runs; one that no process
// holds any more was left by a killed one and goes with the next export,
// whatever its age. One held by a live process stays.
TEST(ExportSafety, RemovesTemporaryFilesThatKilledExportsLeftAtOnce) {
  const QString folder = TestFolder("safety-stale");
  ASSERT_TRUE(QDir(folder).mkpath("Export") && BlockPicture(32, 32).save(folder + "/p.png"));
  const QDateTime twoDaysAgo = QDateTime::currentDateTime().addDays(-2);
  for (const char* name : {".export.Old123", ".export.New123", ".export.Old1234", ".export.Held12", "old.png"}) {
    WriteFile(QFile::encodeName(folder + "/Export/" + name).toStdString(), "left");
    if (QString(name).contains("Old")) SetModificationTime(folder + "/Export/" + name, twoDaysAgo);
  }
  // A process holding .export.Held12 as a running export would, until told
  // to end; then, as if killed, it leaves the file behind.
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const QByteArray held = QFile::encodeName(folder + "/Export/.export.Held12");
  const pid_t child = ::fork();
  if (child == 0) {
    const int fd = ::open(held.constData(), O_RDONLY);
    char byte = ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
    (void)!::write(ready[1], &byte, 1);
    (void)!::read(release[0], &byte, 1);
    ::_exit(0);
  }
  char locked = 0;
  ASSERT_EQ(::read(ready[0], &locked, 1), 1);
  ASSERT_EQ(locked, 'y');
  ExportStampedCopy(Job(folder + "/p.png"));
  EXPECT_EQ(Entries(folder + "/Export"), (QStringList{".export.Held12", ".export.Old1234", "old.png", "p.jpg"}));
  ASSERT_EQ(::write(release[1], "x", 1), 1);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  for (const int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
  // The same with the named temporary files an export makes where the file
  // system has no unnamed ones: none is left by the exports themselves.
  UseNamedTemporaryFiles(true);
  ExportStampedCopy(Job(folder + "/p.png"));
  UseNamedTemporaryFiles(false);
  EXPECT_EQ(Entries(folder + "/Export"), (QStringList{".export.Old1234", "old.png", "p.jpg"}));
}

TEST(ExportSafety, FileNamesAreBytesAndShownWithTheirBadBytesReplaced) {
  // Latin-1, a sequence cut short, "/" in two bytes, a surrogate, beyond U+10FFFF.
  const struct { const char* bytes; const char16_t* shown; } cases[] = {
      {"plain.jpg", u"plain.jpg"}, {"\xD0\xBB\xD0\xB5\xD1\x82\xD0\xBE.jpg", u"лето.jpg"},
      {"\xF0\x9F\x93\xB7.jpg", u"\U0001F4F7.jpg"}, {"\xC9t\xE9.jpg", u"\uFFFDt\uFFFD.jpg"},
      {"cut\xE2\x82.jpg", u"cut\uFFFD\uFFFD.jpg"}, {"overlong\xC0\xAF.jpg", u"overlong\uFFFD\uFFFD.jpg"},
      {"surrogate\xED\xA0\x80.jpg", u"surrogate\uFFFD\uFFFD\uFFFD.jpg"},
      {"beyond\xF4\x90\x80\x80.jpg", u"beyond\uFFFD\uFFFD\uFFFD\uFFFD.jpg"}};
  for (const auto& c : cases) {
    const QString path = PathFromBytes(c.bytes);
    EXPECT_EQ(PathBytes(path), QByteArray(c.bytes)) << c.bytes;
    EXPECT_EQ(DisplayName(path), QString::fromUtf16(c.shown)) << c.bytes;
  }

  const QString folder = TestFolder("safety-bytes");
  const QByteArray name = "\xC9t\xE9 <b>PAID<u>.jpg";
  TiffBuilder tiff(false);
  tiff.AddAscii(0, 0x0132, "2020:01:02 03:04:05");
  WriteJpegPicture(folder + "/made.jpg", BlockPicture(64, 48), 90, ExifSegment(tiff.Build()));
  const QByteArray dir = QFile::encodeName(folder);
  ASSERT_EQ(::rename(dir + "/made.jpg", dir + "/" + name), 0);
  const QString path = PathFromBytes(dir + "/" + name);
  EXPECT_EQ(PathBytes(ExportStampedCopy(Job(path))), dir + "/Export/" + name);
  EXPECT_EQ(::access(dir + "/Export/" + name, F_OK), 0);
  EXPECT_EQ(ExportError(PathFromBytes(dir + "/\xFF.png")),
            "Cannot open " + folder + "/\uFFFD.png: No such file or directory");

  TImgPanel panel;
  panel.LoadFile(path);
  EXPECT_EQ(panel.PictureWidth, 64);
  EXPECT_EQ(panel.DateText, QLocale().toString(QDate(2020, 1, 2), QLocale::ShortFormat));  // from its EXIF data
  EXPECT_EQ(panel.NameLabel->text(), "\uFFFDt\uFFFD <b>PAID<u>.jpg");
  for (const QLabel* label : panel.findChildren<QLabel*>()) EXPECT_EQ(label->textFormat(), Qt::PlainText);
  // A load error naming such a file: its tool tip shows the markup as text.
  panel.ShowLoadError("Cannot read " + panel.NameLabel->text());
  EXPECT_EQ(QTextDocumentFragment::fromHtml(panel.toolTip()).toPlainText(), "Cannot read " + panel.NameLabel->text());
}

TEST(ExportSafety, BatchProgramTakesNamesAsBytesAndReportsAFileSizeLimit) {
  const QString folder = TestFolder("safety-program");
  const std::string dir = QFile::encodeName(folder).toStdString(), name = dir + "/\xC9t\xE9.png";
  ASSERT_TRUE(BlockPicture(400, 300).save(folder + "/made.png"));
  ASSERT_EQ(::rename((dir + "/made.png").c_str(), name.c_str()), 0);
  const auto run = [&](const std::string& limit, std::string& out) {
    const std::string command = limit + "exec '" TESSALY_STAMP_PROGRAM "' '" + name + "' 2>'" + dir + "/err'";
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    return ::pclose(pipe);
  };
  std::string out, limited;
  EXPECT_EQ(run("", out), 0);
  EXPECT_EQ(out, dir + "/Export/\xC9t\xE9.jpg\n");
  ASSERT_EQ(::unlink((dir + "/Export/\xC9t\xE9.jpg").c_str()), 0);
  // A limit of a few KiB on the size of a file.
  EXPECT_EQ(run("ulimit -f 4; ", limited), 1 << 8);
  EXPECT_NE(ReadBytes(folder + "/err").find("Cannot write " + dir + "/Export/\xEF\xBF\xBDt\xEF\xBF\xBD.jpg: File too large\n"),
            std::string::npos);
  EXPECT_EQ(Entries(folder + "/Export"), QStringList{});
}

// Runs the batch program with arguments (already quoted for the shell);
// its exit status, standard output and error.
struct Outcome {
  int status;
  std::string out, err;
};
Outcome RunStamp(const std::string& arguments, const QString& scratch) {
  const std::string files = QFile::encodeName(scratch).toStdString();
  const std::string command = "exec '" TESSALY_STAMP_PROGRAM "' " + arguments + " >'" + files + "/out' 2>'" + files + "/err'";
  const int status = std::system(command.c_str());
  // Only the program's own lines: Qt may say something of its own first.
  const std::string err = ReadBytes(scratch + "/err");
  const size_t own = err.find("[1/");
  return {WEXITSTATUS(status), ReadBytes(scratch + "/out"), own == std::string::npos ? err : err.substr(own)};
}

// Names holding an escape sequence and a line break: the progress lines
// show them escaped; with --null the paths written end in NUL bytes.
TEST(ExportSafety, BatchProgramEscapesNamesAndSeparatesPathsWithNul) {
  const QString folder = TestFolder("safety-texts"), scratch = TestFolder("safety-texts-out");
  const std::string dir = QFile::encodeName(folder).toStdString();
  const std::string names[] = {"red\x1B[31m.jpg", "two\nlines.jpg", "bell\x07\xC2\x9B.jpg"};
  for (const std::string& name : names) WriteJpegPicture(PathFromBytes(QByteArray::fromStdString(dir + "/" + name)), BlockPicture(64, 48));
  const struct { const char* option; char end; } modes[] = {{"", '\n'}, {"--null ", '\0'}, {"-0 ", '\0'}};
  for (const auto& mode : modes) {
    const Outcome run = RunStamp(std::string(mode.option) + "-j 2 '" + dir + "'", scratch);
    EXPECT_EQ(run.status, 0) << run.err;
    std::string expected;
    for (const char* name : {"bell\x07\xC2\x9B.jpg", "red\x1B[31m.jpg", "two\nlines.jpg"})
      expected += dir + "/Export/" + name + mode.end;
    EXPECT_EQ(run.out, expected) << mode.option;
    EXPECT_EQ(run.err, "[1/3] " + dir + "/bell\\x07\\u009B.jpg\n[2/3] " + dir + "/red\\x1B[31m.jpg\n[3/3] " + dir +
                           "/two\\x0Alines.jpg\n") << mode.option;
  }
}

// Twenty photos of different sizes and stamps, exported by one worker and
// by four at once, twice each: the copies are the same to the byte, however
// the photos fall to the workers.
TEST(ExportSafety, CopiesAreTheSameWhateverTheNumberOfWorkers) {
  const QString folder = TestFolder("safety-workers"), scratch = TestFolder("safety-workers-out");
  const std::string dir = QFile::encodeName(folder).toStdString();
  for (int i = 0; i < 20; ++i)
    WriteJpegPicture(folder + QStringLiteral("/p%1.jpg").arg(i, 2, 10, QLatin1Char('0')), BlockPicture(160 + 48 * i, 120 + 32 * (i % 7)));
  std::map<std::string, std::string> first;
  for (const char* workers : {"1", "4", "1", "4"}) {
    const Outcome run = RunStamp(std::string("-j ") + workers + " --comment 'Лето на даче' --outline --size 18 '" + dir + "'", scratch);
    ASSERT_EQ(run.status, 0) << run.err;
    const QStringList copies = QDir(folder + "/Export").entryList(QDir::Files);
    ASSERT_EQ(copies.size(), 20);
    for (const QString& copy : copies) {
      const std::string bytes = ReadBytes(folder + "/Export/" + copy);
      if (first.count(copy.toStdString()) == 0) first[copy.toStdString()] = bytes;
      EXPECT_EQ(bytes, first[copy.toStdString()]) << copy.toStdString() << " with -j " << workers;
    }
  }
}

}  // namespace
}  // namespace tessaly
