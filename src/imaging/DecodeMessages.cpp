#include "DecodeMessages.h"

#include <QLoggingCategory>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <tiffio.h>

namespace tessaly {

namespace {

thread_local DecodeMessages* collecting = nullptr;
QtMessageHandler previous = nullptr;

// libtiff's messages: "module: message" on stderr when nobody collects.
// Qt's TIFF plugin names its files "foo" for libtiff, which the messages
// repeat before their text; it is dropped.
void TiffMessage(QtMsgType type, const char* module, const char* format, va_list arguments) {
  char text[1024];
  std::vsnprintf(text, sizeof text, format, arguments);
  QString message = QString::fromLocal8Bit(text);
  if (message.startsWith(QLatin1String("foo: "))) message.remove(0, 5);
  if (collecting) {
    collecting->Add(type, message);
  } else {
    std::fprintf(stderr, "%s%s%s\n", module ? module : "", module ? ": " : "", text);
  }
}
void TiffError(const char* module, const char* format, va_list arguments) {
  TiffMessage(QtCriticalMsg, module, format, arguments);
}
void TiffWarning(const char* module, const char* format, va_list arguments) {
  TiffMessage(QtWarningMsg, module, format, arguments);
}

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
  std::call_once(once, [] {
    previous = qInstallMessageHandler(Handler);
    TIFFSetErrorHandler(TiffError);
    TIFFSetWarningHandler(TiffWarning);
  });
  collecting = this;
}

DecodeMessages::~DecodeMessages() { collecting = outer_; }

void DecodeMessages::Add(QtMsgType type, const QString& text) {
  // Qt's PNG plugin prefixes libpng's messages with "libpng error: " or
  // "libpng warning: "; libtiff's errors come here as critical messages.
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
