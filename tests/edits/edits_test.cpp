// The edit store (kept edits found by path and by fingerprint, damaged and
// unreachable databases), the fingerprint, and the undo steps over a
// stand-in for the window.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QUndoStack>

#include "EditCommands.h"
#include "EditStore.h"
#include "PhotoBuilder.h"
#include "PhotoFingerprint.h"
#include "SamplePhotos.h"

namespace tessaly {
namespace {

using namespace tessaly::testing;

QString Dir(const char* name) { return QString::fromStdString(TempDir(std::string("edits-") + name)); }

PictureState Edited(const QString& comment, bool cropped = false) {
  PictureState s;
  s.dateText = QStringLiteral("12.09.2014");
  s.dateSource = QStringLiteral("original");
  s.comment = comment;
  s.cropped = cropped;
  if (cropped) s.crop = TRect{0, -200, 1920, 1080};
  return s;
}

TEST(EditStore, KeepsEveryPartOfAnEditAcrossReopening) {
  const QString db = Dir("roundtrip") + "/sub/edits.sqlite";  // the folder is made
  TStampFont font;
  font.name = QStringLiteral("DejaVu Serif");
  font.height = -27;
  font.bold = font.italic = font.underline = true;
  font.color = 0x0000FFu;
  font.charset = 204;
  font.pitch = 2;
  font.outline = true;
  struct Case {
    const char* name;
    PictureState state;
  } cases[] = {
      {"texts only", Edited(QStringLiteral("Лето в Крыму"))},
      {"typed date, no source", [] { PictureState s = Edited({}); s.dateText = "когда-то"; s.dateSource = ""; return s; }()},
      {"font with outline", [&] { PictureState s = Edited("x"); s.font = font; return s; }()},
      {"crop beginning above the picture", Edited("y", true)},
      {"file date source", [] { PictureState s = Edited("z"); s.dateText = "04.03.2021 05:06:06"; s.dateSource = "file"; return s; }()},
  };
  {
    EditStore store(db);
    ASSERT_TRUE(store.IsOpen()) << store.Problem().toStdString();
    for (const Case& c : cases)
      ASSERT_TRUE(store.Save(QStringLiteral("/photos/%1.jpg").arg(c.name), QByteArray("print-") + c.name, c.state));
  }
  EditStore again(db);
  EXPECT_EQ(again.Problem(), QString());
  EXPECT_EQ(again.Count(), 5);
  for (const Case& c : cases) {
    // By its path; moved (another path) by its fingerprint.
    EXPECT_EQ(again.Find(QStringLiteral("/photos/%1.jpg").arg(c.name), {}), c.state) << c.name;
    EXPECT_EQ(again.Find(QStringLiteral("/moved/%1.jpg").arg(c.name), QByteArray("print-") + c.name), c.state) << c.name;
  }
  EXPECT_FALSE(again.Find("/moved/other.jpg", "print-other"));
  EXPECT_FALSE(again.Find("/moved/other.jpg", {})) << "an empty fingerprint matches nothing";

  // A later save replaces; of two pictures with one fingerprint the latest
  // change is found; forgetting drops both path and fingerprint.
  ASSERT_TRUE(again.Save("/photos/texts only.jpg", "print-texts only", Edited("second")));
  ASSERT_TRUE(again.Save("/copy/a.jpg", "shared", Edited("older")));
  ASSERT_TRUE(again.Save("/copy/b.jpg", "shared", Edited("newer")));
  EXPECT_EQ(again.Find("/photos/texts only.jpg", {})->comment, "second");
  EXPECT_EQ(again.Find("/elsewhere.jpg", "shared")->comment, "newer");
  ASSERT_TRUE(again.Forget("/copy/a.jpg", "shared"));
  EXPECT_FALSE(again.Find("/copy/b.jpg", "shared"));
  EXPECT_EQ(again.Count(), 5);
}

// A damaged file is kept aside and a new one used; one that cannot be made
// leaves the store closed. (Files that are no database and ones held by
// another window: the window's tests.)
TEST(EditStore, BrokenDatabasesSaySoOnceAndStopNothing) {
  const QString dir = Dir("broken");
  // A real database with a page overwritten.
  const QString torn = dir + "/torn.sqlite";
  {
    EditStore store(torn);
    for (int i = 0; i < 200; ++i) store.Save(QStringLiteral("/p%1.jpg").arg(i), "print", Edited(QString(300, u'ж')));
  }
  {  // the last close has put the log into the file: the page is in it
    QFile file(torn);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(4096 * 3);
    file.write(QByteArray(4096, '\xA5'));
  }
  {
    EditStore store(torn);
    EXPECT_TRUE(store.IsOpen());
    EXPECT_TRUE(store.Problem().endsWith(".damaged; правки пишутся в новый файл.")) << store.Problem().toStdString();
    EXPECT_EQ(store.Count(), 0);
    EXPECT_TRUE(QFile::exists(torn + ".damaged"));
  }

  // A folder that cannot be made: a file stands where it would be.
  WriteFile((dir + "/file").toStdString(), "x");
  EditStore nowhere(dir + "/file/edits.sqlite");
  EXPECT_FALSE(nowhere.IsOpen());
  EXPECT_EQ(nowhere.Problem(), "Правки не сохраняются: не могу создать папку для " + dir + "/file/edits.sqlite.");
}

TEST(PhotoFingerprint, FollowsTheContentNotTheName) {
  const std::string dir = TempDir("edits-fingerprint");
  const std::string photo = SampleJpeg();
  std::string big = photo;
  big.insert(big.size() - 2, std::string(100000, '\0'));  // past the hashed head
  std::string bigOther = big;
  bigOther[bigOther.size() - 1000] = 1;  // beyond the head: only the size counts, and it is equal
  std::string headChanged = photo;
  headChanged[headChanged.size() - 4] ^= 1;
  const auto print = [&](const std::string& name, const std::string& bytes) {
    const QString path = QString::fromStdString(WriteFile(dir + "/" + name, bytes));
    return PhotoFingerprint(path, FingerprintExifDate(path));
  };
  const QByteArray original = print("a.jpg", photo);
  ASSERT_FALSE(original.isEmpty());
  EXPECT_TRUE(original.endsWith("2024-05-06 07:08:01")) << "the date taken";
  EXPECT_EQ(print("renamed.jpg", photo), original);
  EXPECT_NE(print("head.jpg", headChanged), original);
  EXPECT_NE(print("big.jpg", big), original);
  EXPECT_EQ(print("big2.jpg", bigOther), print("big.jpg", big));
  EXPECT_EQ(PhotoFingerprint(QString::fromStdString(dir + "/missing.jpg"), {}), QByteArray());
  EXPECT_EQ(FingerprintExifDate(QString::fromStdString(WriteFile(dir + "/plain.jpg", JpegFile({})))), QByteArray());
}

// The window as far as the undo steps see it: pictures by id, open or
// closed, at their places.
class Pictures : public PictureEditor {
 public:
  QMap<PictureId, PictureState> states;
  QList<PictureId> column;  // open ones, top first
  QStringList log;
  void SetPictureState(PictureId id, const PictureState& state) override {
    if (!column.contains(id)) return;
    states[id] = state;
    log << QStringLiteral("set %1 %2").arg(id).arg(state.comment);
  }
  void ClosePicture(PictureId id) override {
    column.removeOne(id);
    log << QStringLiteral("close %1").arg(id);
  }
  void ReopenPicture(const ClosedPicture& p) override {
    column.insert(p.position, p.id);
    states[p.id] = p.state;
    log << QStringLiteral("reopen %1 at %2").arg(p.id).arg(p.position);
  }
};

TEST(EditCommands, EachChangeIsOneStepBackAndForth) {
  Pictures pictures;
  pictures.column = {1, 2, 3};
  for (PictureId id : pictures.column) pictures.states[id] = Edited(QStringLiteral("c%1").arg(id));
  QUndoStack stack;
  const auto change = [&](PictureId id, const QString& comment) {
    PictureState after = pictures.states[id];
    after.comment = comment;
    return PictureChange{id, pictures.states[id], after};
  };
  stack.push(new ChangePicturesCommand(pictures, {change(2, "typed")}, "Применить"));
  // For all: three pictures, one step; the one already so is left out.
  stack.push(new ChangePicturesCommand(pictures, RealChanges({change(1, "typed"), change(2, "typed"), change(3, "typed")}),
                                       "Комментарий для всех"));
  EXPECT_EQ(static_cast<const ChangePicturesCommand*>(stack.command(1))->Changes().size(), 2);
  stack.push(new ClosePictureCommand(pictures, {2, "/p/2.jpg", 1, pictures.states[2]}, "Закрыть"));
  EXPECT_EQ(pictures.column, (QList<PictureId>{1, 3}));
  EXPECT_EQ(stack.undoText(), "Закрыть");

  pictures.log.clear();
  stack.undo();  // the panel comes back where it was, as it was
  EXPECT_EQ(pictures.column, (QList<PictureId>{1, 2, 3}));
  EXPECT_EQ(pictures.states[2].comment, "typed");
  stack.undo();  // for all: every picture back at once, in the reverse order
  EXPECT_EQ(pictures.log, (QStringList{"reopen 2 at 1", "set 3 c3", "set 1 c1"}));
  EXPECT_EQ(pictures.states[1].comment, "c1");
  EXPECT_EQ(pictures.states[2].comment, "typed");
  stack.undo();
  EXPECT_EQ(pictures.states[2].comment, "c2");
  EXPECT_FALSE(stack.canUndo());

  while (stack.canRedo()) stack.redo();
  EXPECT_EQ(pictures.column, (QList<PictureId>{1, 3}));
  EXPECT_EQ(pictures.states[1].comment, "typed");
  EXPECT_EQ(pictures.states[3].comment, "typed");
}

}  // namespace
}  // namespace tessaly
