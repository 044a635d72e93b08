// Which names count as pictures, and what a list of files and folders opens.
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "PathBytes.h"
#include "PictureFiles.h"
#include "PictureList.h"

namespace tessaly {
namespace {

TEST(PictureList, PictureNamesByExtensionCaseBlind) {
  const struct { const char* name; bool picture; } cases[] = {
      {"a.jpg", true},  {"A.JPEG", true}, {"b.Jpe", true},  {"c.png", true},     {"d.BMP", true},
      {"e.gif", true},  {"f.heic", true}, {"g.HEIF", true}, {"h.hif", true},     {"notes.txt", false},
      {"jpg", false},   {"archive.jpg.zip", false},         {"no-extension", false}, {"dir.jpg/readme", false}};
  for (const auto& c : cases) EXPECT_EQ(IsPictureName(QString::fromUtf8(c.name)), c.picture) << c.name;
}

TEST(PictureList, FolderOpensItsOwnPicturesInNameOrder) {
  const QString root = testing::TestFolder("picturelist");
  const QDir dir(root);
  for (const char* name : {"B.jpg", "a.jpg", "c.PNG", "d.heic", "notes.txt", "sub/e.jpg",
                           "Export/a.jpg", "sub.jpg/f.jpg"}) {
    dir.mkpath(QFileInfo(dir.filePath(QString::fromLatin1(name))).path());
    QFile file(dir.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name;
  }
  const QString lone = dir.filePath("notes.txt");
  const QString missing = dir.filePath("missing.jpg");
  // A folder becomes its pictures; a named file stays, picture or not,
  // present or not, in its place in the list.
  EXPECT_EQ(ExpandPictureArguments({missing, root, lone}),
            QStringList({missing, dir.filePath("a.jpg"), dir.filePath("B.jpg"),
                         dir.filePath("c.PNG"), dir.filePath("d.heic"), lone}));
  EXPECT_EQ(ExpandPictureArguments({dir.filePath("Export")}), QStringList({dir.filePath("Export/a.jpg")}));
  EXPECT_EQ(ExpandPictureArguments({dir.filePath("sub.jpg")}), QStringList({dir.filePath("sub.jpg/f.jpg")}));
  EXPECT_EQ(ExpandPictureArguments({}), QStringList());
  // A name that is not UTF-8 keeps its bytes.
  ASSERT_EQ(::close(::open(QFile::encodeName(dir.filePath("sub")) + "/\xE9t\xE9.jpg", O_CREAT | O_WRONLY, 0644)), 0);
  const QStringList sub = ExpandPictureArguments({dir.filePath("sub")});
  ASSERT_EQ(sub.size(), 2);
  EXPECT_EQ(PathBytes(sub[1]), QFile::encodeName(dir.filePath("sub")) + "/\xE9t\xE9.jpg");
}

// The name says whether a file is a picture; its first bytes say which kind
// where the name lies (a phone's HEIF photo saved as .jpg).
TEST(PictureList, KindByNameCheckedAgainstTheFirstBytes) {
  const QString dir = testing::TestFolder("picturekind");
  const std::string jpeg = "\xFF\xD8\xFF\xE0 rest", png = "\x89PNG\r\n\x1A\n rest", tiff = std::string("II*\0 rest", 9);
  const std::string heic = std::string("\0\0\0\x18" "ftypheic\0\0\0\0mif1heic", 24);
  const std::string mif1 = std::string("\0\0\0\x14" "ftypavif\0\0\0\0mif1", 20);
  const struct { const char* name; std::string bytes; PictureKind kind; } cases[] = {
      {"a.jpg", jpeg, PictureKind::Jpeg},         {"b.JFIF", jpeg, PictureKind::Jpeg},
      {"c.HEIC", heic, PictureKind::Heif},        {"d.png", png, PictureKind::Other},
      {"phone.jpg", heic, PictureKind::Heif},     {"export.heic", jpeg, PictureKind::Jpeg},
      {"renamed.png", jpeg, PictureKind::Jpeg},   {"renamed.jpg", png, PictureKind::Other},
      {"scan.jpeg", tiff, PictureKind::Other},    {"family.hif", mif1, PictureKind::Heif},
      {"garbage.jpg", "hello", PictureKind::Jpeg}, {"empty.heic", "", PictureKind::Heif},
      {"notes.txt", jpeg, PictureKind::None},     {"no-extension", jpeg, PictureKind::None}};
  for (const auto& c : cases) {
    const QString path = dir + "/" + c.name;
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(c.bytes.data(), qint64(c.bytes.size())) == qint64(c.bytes.size()));
    file.close();
    EXPECT_EQ(KindOf(path), c.kind) << c.name;
  }
  // A missing file has its name's kind.
  EXPECT_EQ(KindOf(dir + "/missing.HEIF"), PictureKind::Heif);
  EXPECT_EQ(KindOf(dir + "/missing.bmp"), PictureKind::Other);
  // The Open dialog offers each kind in both letter cases.
  const QString filter = PictureFilter(QStringLiteral("All (%1)"));
  for (const char* pattern : {"*.jpg", "*.JPG", "*.jfif", "*.heic", "*.HEIC", "*.hif", "*.png", "*.PNG"})
    EXPECT_TRUE(filter.section(QStringLiteral(";;"), 0, 0).contains(QLatin1String(pattern))) << pattern;
}

}  // namespace
}  // namespace tessaly
