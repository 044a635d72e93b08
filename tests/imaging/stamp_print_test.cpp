// The batch program's print options: formats cut and padded, a PDF of the
// run, and the messages for values it cannot use.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <cstdio>

#include "PictureFiles.h"

namespace tessaly {
namespace {

using namespace testing;

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Stamp(const QString& folder, const std::string& arguments) {
  const std::string dir = QFile::encodeName(folder).toStdString();
  const std::string command = "exec '" TESSALY_STAMP_PROGRAM "' " + arguments + " 2>'" + dir + "/err'";
  FILE* pipe = ::popen(command.c_str(), "r");
  Outcome run;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
  run.status = ::pclose(pipe);
  run.err = ReadBytes(folder + "/err");
  return run;
}

TEST(StampPrintOptions, FormatsAreCutOrPaddedAsAsked) {
  const QString folder = TestFolder("stamp-print-sizes");
  const std::string dir = QFile::encodeName(folder).toStdString();
  ASSERT_TRUE(BlockPicture(1920, 1080).save(folder + "/wide.png"));
  ASSERT_TRUE(BlockPicture(800, 600).save(folder + "/four.png"));
  struct Case {
    const char* name;
    const char* file;
    std::string options;
    QSize size;
  };
  const Case cases[] = {
      {"10x15 on 16:9: the sides trimmed", "wide.png", "--crop 10x15", {1620, 1080}},
      {"16:9 at the top of 4:3", "four.png", "--crop 16:9@0", {800, 450}},
      {"a bare percentage: 10x15 as before", "four.png", "--crop 20", {800, 533}},
      {"A4 on 4:3", "four.png", "--crop a4", {800, 566}},
      {"square on 16:9", "wide.png", "--crop square@100", {1080, 1080}},
      {"4:3 in 10x15 with borders", "four.png", "--fit 10x15 --position top-left --safe-margins", {900, 600}},
      {"the film look", "four.png", "--film --date-format film", {800, 600}},
  };
  for (const Case& c : cases) {
    const Outcome run = Stamp(folder, c.options + " '" + dir + "/" + c.file + "'");
    EXPECT_EQ(run.status, 0) << c.name << ": " << run.err;
    // A copy is named as the JPEG it is.
    const QString copyName = QString(c.file).replace(QStringLiteral(".png"), QStringLiteral(".jpg"));
    EXPECT_EQ(run.out, dir + "/Export/" + copyName.toStdString() + "\n") << c.name;
    const QImage copy(folder + "/Export/" + copyName);
    EXPECT_EQ(copy.size(), c.size) << c.name;
    if (std::string(c.options).starts_with("--fit")) {
      EXPECT_EQ(copy.pixel(10, 300), qRgb(255, 255, 255)) << c.name;
    }
  }
}

TEST(StampPrintOptions, APdfOfTheRunWithAPagePerPicture) {
  const QString folder = TestFolder("stamp-print-pdf");
  const std::string dir = QFile::encodeName(folder).toStdString();
  ASSERT_TRUE(BlockPicture(600, 400).save(folder + "/a.png"));
  ASSERT_TRUE(BlockPicture(400, 600).save(folder + "/b.png"));
  ASSERT_TRUE(BlockPicture(640, 360).save(folder + "/c.png"));
  const Outcome run = Stamp(folder, "--pdf '" + dir + "/prints.pdf' '" + dir + "/a.png' '" + dir + "/b.png' '" + dir +
                                    "/c.png' --crop 10x15");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, dir + "/prints.pdf\n");
  EXPECT_NE(run.err.find("[3/3] " + dir + "/c.png"), std::string::npos) << run.err;
  EXPECT_FALSE(QFile::exists(folder + "/Export"));  // the PDF instead of the copies
  const QString pdf = QString::fromLatin1(ReadBytes(folder + "/prints.pdf"));
  static const QRegularExpression box(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"));
  QStringList pages;
  for (auto m = box.globalMatch(pdf); m.hasNext();) {
    const auto match = m.next();
    pages.append(QStringLiteral("%1x%2").arg(qRound(match.captured(1).toDouble() * 25.4 / 72))
                     .arg(qRound(match.captured(2).toDouble() * 25.4 / 72)));
  }
  EXPECT_EQ(pages, QStringList({"150x100", "100x150", "150x100"}));
  EXPECT_EQ(pdf.count(QStringLiteral("/Subtype /Image")), 3);
}

TEST(StampPrintOptions, ValuesItCannotUseAreNamed) {
  const QString folder = TestFolder("stamp-print-bad");
  const std::string dir = QFile::encodeName(folder).toStdString();
  ASSERT_TRUE(BlockPicture(64, 48).save(folder + "/p.png"));
  struct Case {
    std::string options;
    std::string message;
  };
  const Case cases[] = {
      {"--crop 10x16", "--crop wants a format (9x13, 10x15, 13x18, 15x21, 20x30, A4, square, 4:3, 16:9), FORMAT@P or a percentage\n"},
      {"--crop 10x15@120", "--crop wants a percentage from 0 to 100\n"},
      {"--crop 140", "--crop wants a percentage from 0 to 100\n"},
      {"--fit 3x5", "--fit wants a format: 9x13, 10x15, 13x18, 15x21, 20x30, A4, square, 4:3, 16:9\n"},
      {"--crop 4:3 --fit 4:3", "--crop and --fit exclude each other\n"},
      {"--position middle", "--position wants bottom-right, bottom-left, top-right, top-left, bottom-center\n"},
      {"--date-format 'xz!'", "--date-format wants short, dmy, iso, long, short-time, dmy-time, iso-time, long-time, "
                              "film or a date pattern\n"},
      {"--color orange", "--color wants #RRGGBB\n"},
  };
  for (const Case& c : cases) {
    const Outcome run = Stamp(folder, c.options + " '" + dir + "/p.png'");
    EXPECT_EQ(run.status, 2 << 8) << c.options;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.options << ": " << run.err;
  }
  EXPECT_FALSE(QFile::exists(folder + "/Export"));
}

}  // namespace
}  // namespace tessaly
