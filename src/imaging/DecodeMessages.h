// What Qt's image plugins and the libraries under them say while they decode
// (Qt's own messages, and libtiff's warnings and errors, which Qt's TIFF
// plugin leaves to libtiff's handlers): collected for the picture being
// decoded on this thread instead of going to stderr line by line.
#pragma once

#include <QString>
#include <QStringList>

namespace tessaly {

// Collects the messages of the calling thread from construction on; other
// threads' messages and those after destruction go on as before.
class DecodeMessages {
 public:
  DecodeMessages();
  ~DecodeMessages();
  DecodeMessages(const DecodeMessages&) = delete;
  DecodeMessages& operator=(const DecodeMessages&) = delete;

  // The reasons the data is damaged (libpng's errors, libtiff's errors),
  // without the libraries' prefixes, each once in the order said.
  const QStringList& Errors() const { return errors_; }
  // The rest: warnings that leave a whole picture.
  const QStringList& Warnings() const { return warnings_; }

  void Add(QtMsgType type, const QString& text);

 private:
  DecodeMessages* outer_;
  QStringList errors_, warnings_;
};

}  // namespace tessaly
