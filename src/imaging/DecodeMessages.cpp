#include "DecodeMessages.h"

#include <QLoggingCategory>
#include <mutex>

namespace tessaly {

namespace {

thread_local DecodeMessages* collecting = nullptr;
QtMessageHandler previous = nullptr;

void Handler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (collecting && type != QtFatalMsg) {
    collecting->Add(type, text);
    return;
  }
  if (previous) previous(type, context, text);
}

}  // namespace

DecodeMessages::DecodeMessages() : outer_(collecting) {
  static std::once_flag once;
  std::call_once(once, [] { previous = qInstallMessageHandler(Handler); });
  collecting = this;
}

DecodeMessages::~DecodeMessages() { collecting = outer_; }

void DecodeMessages::Add(QtMsgType type, const QString& text) {
  // Qt's PNG plugin prefixes libpng's messages with "libpng error: " or
  // "libpng warning: "; its TIFF plugin passes libtiff's errors as critical
  // messages and its warnings as warnings.
  static const QString kPngError = QStringLiteral("libpng error: ");
  static const QString kPngWarning = QStringLiteral("libpng warning: ");
  QString reason = text.trimmed();
  bool error = type == QtCriticalMsg;
  if (reason.startsWith(kPngError)) {
    reason.remove(0, kPngError.size());
    error = true;
  } else if (reason.startsWith(kPngWarning)) {
    reason.remove(0, kPngWarning.size());
  }
  QStringList& list = error ? errors_ : warnings_;
  if (!list.contains(reason)) list << reason;
}

}  // namespace tessaly
