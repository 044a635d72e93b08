// The edits kept between runs: one SQLite database per user
// ("~/.local/share/tessaly/edits.sqlite"; TESSALY_EDITS_DB names another
// file) holding, per picture, the last applied PictureState. Every change is
// one transaction, written through the write-ahead log with full syncs, so a
// crash or a power cut after Save has returned loses nothing.
//
// A picture is found by its path, or, when it has moved or been renamed, by
// the fingerprint of its content (PhotoFingerprint.h).
//
// The store never stops its user: a database that cannot be made, is held by
// another window or is damaged leaves the store closed (or, for a damaged
// one, starts a new file beside the damaged one, which is kept) with one
// message in Problem(). Calls on a closed store do nothing.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "PictureState.h"

struct sqlite3;

namespace tessaly {

class EditStore {
 public:
  // Opens the database, creating it and its folder when missing.
  explicit EditStore(const QString& path = DefaultPath());
  ~EditStore();
  EditStore(const EditStore&) = delete;
  EditStore& operator=(const EditStore&) = delete;

  // TESSALY_EDITS_DB when set, else edits.sqlite in the user's data folder.
  static QString DefaultPath();

  bool IsOpen() const { return db_ != nullptr; }
  const QString& Path() const { return path_; }
  // What went wrong, for the user, in the window's language; "" when all is
  // well. Set by the opening and by the first failed change after it.
  const QString& Problem() const { return problem_; }
  // Problem() the first time it is asked for, "" afterwards: a window says
  // so once.
  QString TakeProblem();

  // Keeps state as the picture's edits; false (and Problem set) when the
  // change could not be written.
  bool Save(const QString& picturePath, const QByteArray& fingerprint, const PictureState& state);
  // The picture's edits: those kept under its path, else the latest kept
  // under its fingerprint (an empty fingerprint matches nothing).
  std::optional<PictureState> Find(const QString& picturePath, const QByteArray& fingerprint);
  // Drops what is kept under the path and under the fingerprint.
  bool Forget(const QString& picturePath, const QByteArray& fingerprint);
  // How many pictures have edits kept.
  int Count();

 private:
  void Open();
  // Checks and sets up an open database; SQLITE_OK or the failure's code.
  int Prepare();
  bool Exec(const char* sql);
  // Closes the store with the message; false, for returning on.
  bool Fail(const QString& message);
  QString SqliteError() const;
  // A damaged file goes aside with its log; the new name, "" on failure.
  QString MoveAside();

  QString path_;
  QString problem_;
  bool reported_ = false;
  sqlite3* db_ = nullptr;
};

}  // namespace tessaly
