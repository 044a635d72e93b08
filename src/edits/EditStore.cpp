#include "EditStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <sqlite3.h>

#include "FontDialogFile.h"
#include "PathBytes.h"

namespace tessaly {
namespace {

// How long a change waits for another window's change to end before the
// database counts as held.
constexpr int kBusyWaitMs = 1000;

QString Tr(const char* text) { return QCoreApplication::translate("tessaly::EditStore", text); }

// One statement, finalized on every way out.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
  ~Statement() { sqlite3_finalize(stmt_); }
  bool ok() const { return rc_ == SQLITE_OK; }
  int rc() const { return rc_; }
  void Bind(int i, const QByteArray& bytes) {
    sqlite3_bind_blob(stmt_, i, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
  }
  void Bind(int i, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(stmt_, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
  }
  void Bind(int i, int64_t value) { sqlite3_bind_int64(stmt_, i, value); }
  int Step() { return rc_ = sqlite3_step(stmt_); }
  QByteArray Blob(int i) const {
    return QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt_, i)), sqlite3_column_bytes(stmt_, i));
  }
  QString Text(int i) const {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i)),
                             sqlite3_column_bytes(stmt_, i));
  }
  int64_t Int(int i) const { return sqlite3_column_int64(stmt_, i); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_;
};

constexpr char kColumns[] =
    "date_text, date_source, comment, font, options, cropped, crop_left, crop_top, crop_right, crop_bottom";

PictureState StateFrom(const Statement& row) {
  PictureState state;
  state.dateText = row.Text(0);
  state.dateSource = row.Text(1);
  state.comment = row.Text(2);
  // A font the store cannot read back is the default one: the texts and the
  // crop are worth more than a lost font.
  TStampFont font;
  if (ReadFontDialogResource(row.Blob(3), font).isEmpty()) state.font = font;
  ReadStampOptions(row.Blob(4), state.font);
  state.cropped = row.Int(5) != 0;
  state.crop = TRect{int32_t(row.Int(6)), int32_t(row.Int(7)), int32_t(row.Int(8)), int32_t(row.Int(9))};
  return state;
}

bool Damaged(int rc) { return (rc & 0xFF) == SQLITE_CORRUPT || (rc & 0xFF) == SQLITE_NOTADB; }

}  // namespace

EditStore::EditStore(const QString& path) : path_(path) { Open(); }

EditStore::~EditStore() { sqlite3_close(db_); }

QString EditStore::DefaultPath() {
  const QByteArray chosen = qgetenv("TESSALY_EDITS_DB");
  if (!chosen.isEmpty()) return PathFromBytes(chosen);
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
         QStringLiteral("/tessaly/edits.sqlite");
}

QString EditStore::SqliteError() const {
  return db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString();
}

bool EditStore::Fail(const QString& message) {
  if (problem_.isEmpty()) problem_ = message;
  sqlite3_close(db_);
  db_ = nullptr;
  return false;
}

bool EditStore::Exec(const char* sql) {
  Statement statement(db_, sql);
  if (!statement.ok()) return false;
  int rc;
  while ((rc = statement.Step()) == SQLITE_ROW) {
  }
  return rc == SQLITE_DONE;
}

void EditStore::Open() {
  const QString display = DisplayName(path_);
  if (!QDir().mkpath(QFileInfo(path_).absolutePath()))
    return void(Fail(Tr("Правки не сохраняются: не могу создать папку для %1.").arg(display)));
  for (bool fresh = false;; fresh = true) {
    if (sqlite3_open_v2(PathBytes(path_).constData(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
      const QString reason = SqliteError();
      return void(Fail(Tr("Правки не сохраняются: не могу открыть %1 (%2).").arg(display, reason)));
    }
    sqlite3_busy_timeout(db_, kBusyWaitMs);
    const int rc = Prepare();
    if (rc == SQLITE_OK) return;
    const QString reason = SqliteError();
    if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED)
      return void(Fail(Tr("Правки не сохраняются: %1 занят другим окном Tessaly Orvanel.").arg(display)));
    if (!Damaged(rc) || fresh)
      return void(Fail(Tr("Правки не сохраняются: %1 (%2).").arg(display, reason)));
    sqlite3_close(db_);
    db_ = nullptr;
    const QString aside = MoveAside();
    if (aside.isEmpty())
      return void(Fail(Tr("Правки не сохраняются: %1 повреждён, и его не удалось отложить.").arg(display)));
    problem_ = Tr("%1 был повреждён. Он сохранён как %2; правки пишутся в новый файл.")
                   .arg(display, DisplayName(aside));
  }
}

int EditStore::Prepare() {
  // quick_check reads every page: a file that is not a database, or a
  // damaged one, shows here rather than at the first change.
  {
    Statement check(db_, "PRAGMA quick_check");
    if (!check.ok()) return sqlite3_extended_errcode(db_);
    if (check.Step() != SQLITE_ROW) return sqlite3_extended_errcode(db_);
    if (check.Text(0) != QLatin1String("ok")) return SQLITE_CORRUPT;
  }
  // Full syncs in WAL mode: a change is on the disk when Save returns.
  // Taking the write lock once tells a database held by another window.
  const bool ready =
      Exec("PRAGMA journal_mode=WAL") && Exec("PRAGMA synchronous=FULL") && Exec("BEGIN IMMEDIATE") &&
      Exec("CREATE TABLE IF NOT EXISTS edits("
           " path BLOB PRIMARY KEY, fingerprint BLOB NOT NULL,"
           " date_text TEXT NOT NULL, date_source TEXT NOT NULL, comment TEXT NOT NULL,"
           " font BLOB NOT NULL, options BLOB NOT NULL, cropped INTEGER NOT NULL,"
           " crop_left INTEGER NOT NULL, crop_top INTEGER NOT NULL,"
           " crop_right INTEGER NOT NULL, crop_bottom INTEGER NOT NULL,"
           " changed INTEGER NOT NULL)") &&
      Exec("CREATE INDEX IF NOT EXISTS edits_by_fingerprint ON edits(fingerprint, changed)") && Exec("COMMIT");
  return ready ? SQLITE_OK : sqlite3_extended_errcode(db_);
}

QString EditStore::MoveAside() {
  for (int n = 0; n < 1000; ++n) {
    QString aside = path_ + QStringLiteral(".damaged");
    if (n > 0) aside += QStringLiteral("-%1").arg(n);
    if (QFileInfo::exists(aside)) continue;
    if (!QFile::rename(path_, aside)) return {};
    // The log belongs to the damaged file; a new database must not take it.
    for (const char* suffix : {"-wal", "-shm"})
      if (QFileInfo::exists(path_ + QLatin1String(suffix))) QFile::rename(path_ + QLatin1String(suffix), aside + QLatin1String(suffix));
    return aside;
  }
  return {};
}

bool EditStore::Save(const QString& picturePath, const QByteArray& fingerprint, const PictureState& state) {
  if (!db_) return false;
  Statement insert(db_,
                   "INSERT OR REPLACE INTO edits(path, fingerprint, date_text, date_source, comment, font,"
                   " options, cropped, crop_left, crop_top, crop_right, crop_bottom, changed)"
                   " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12,"
                   " (SELECT IFNULL(MAX(changed), 0) + 1 FROM edits))");
  if (insert.ok()) {
    insert.Bind(1, PathBytes(picturePath));
    insert.Bind(2, fingerprint);
    insert.Bind(3, state.dateText);
    insert.Bind(4, state.dateSource);
    insert.Bind(5, state.comment);
    insert.Bind(6, FontDialogResource(state.font));
    insert.Bind(7, StampOptionsText(state.font));
    insert.Bind(8, int64_t(state.cropped));
    insert.Bind(9, int64_t(state.crop.Left));
    insert.Bind(10, int64_t(state.crop.Top));
    insert.Bind(11, int64_t(state.crop.Right));
    insert.Bind(12, int64_t(state.crop.Bottom));
    if (insert.Step() == SQLITE_DONE) return true;
  }
  return Fail(Tr("Правки не сохраняются: %1 (%2).").arg(DisplayName(path_), SqliteError()));
}

std::optional<PictureState> EditStore::Find(const QString& picturePath, const QByteArray& fingerprint) {
  if (!db_) return std::nullopt;
  const QByteArray byPath = QByteArray("SELECT ") + kColumns + " FROM edits WHERE path = ?1";
  Statement path(db_, byPath.constData());
  if (path.ok()) {
    path.Bind(1, PathBytes(picturePath));
    if (path.Step() == SQLITE_ROW) return StateFrom(path);
  }
  if (fingerprint.isEmpty()) return std::nullopt;
  const QByteArray byPrint =
      QByteArray("SELECT ") + kColumns + " FROM edits WHERE fingerprint = ?1 ORDER BY changed DESC LIMIT 1";
  Statement print(db_, byPrint.constData());
  if (print.ok()) {
    print.Bind(1, fingerprint);
    if (print.Step() == SQLITE_ROW) return StateFrom(print);
  }
  return std::nullopt;
}

bool EditStore::Forget(const QString& picturePath, const QByteArray& fingerprint) {
  if (!db_) return false;
  Statement remove(db_, "DELETE FROM edits WHERE path = ?1 OR (length(?2) > 0 AND fingerprint = ?2)");
  if (remove.ok()) {
    remove.Bind(1, PathBytes(picturePath));
    remove.Bind(2, fingerprint);
    if (remove.Step() == SQLITE_DONE) return true;
  }
  return Fail(Tr("Правки не сохраняются: %1 (%2).").arg(DisplayName(path_), SqliteError()));
}

QString EditStore::TakeProblem() {
  if (reported_) return {};
  reported_ = !problem_.isEmpty();
  return problem_;
}

int EditStore::Count() {
  if (!db_) return 0;
  Statement count(db_, "SELECT COUNT(*) FROM edits");
  return count.ok() && count.Step() == SQLITE_ROW ? int(count.Int(0)) : 0;
}

}  // namespace tessaly
