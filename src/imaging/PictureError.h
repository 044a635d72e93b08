// The imaging side's one error type, and the messages the decoders, the
// orientation step and the export writer share. Codecs include this header
// to report a failure; nothing here draws.
#pragma once

#include <QString>
#include <cstdint>
#include <stdexcept>

#include "PathBytes.h"

namespace tessaly {

// A picture that cannot be read, decoded or written, or a folder that cannot
// be made. what() is the message shown to the user (UTF-8), a file name's
// bytes that are not UTF-8 shown as U+FFFD; Reason() is the cause alone,
// without the file it concerns (libjpeg's or the system's text, say).
class PictureError : public std::runtime_error {
 public:
  explicit PictureError(const QString& message, const QString& reason = {})
      : std::runtime_error(DisplayName(message).toStdString()), reason_(reason.isEmpty() ? message : reason) {}
  QString Message() const { return QString::fromUtf8(what()); }
  const QString& Reason() const { return reason_; }

 private:
  QString reason_;
};

// The messages the decoders share: "Cannot open <path>: <reason>" (the file
// itself), "Cannot read <path>: <reason>" (its contents) and "Cannot make a
// picture of W x H pixels" (the render cap).
PictureError OpenError(const QString& path, const QString& reason);
PictureError ReadError(const QString& path, const QString& reason);
PictureError PictureSizeError(int64_t width, int64_t height);
// The system's text for an errno value.
QString ErrnoText(int code);

// Throws PictureError ("Cannot make a picture of W x H pixels") for a
// picture past the render cap of 1 GiB at 3 bytes a pixel. Every decoder
// calls it with the size a file claims before decoding any of it.
void CheckPictureSize(int64_t width, int64_t height);

// CheckPictureSize, then whether a file of fileBytes can plausibly hold that
// many pixels ("Cannot read " + path + ": A file of N bytes cannot hold W x H
// pixels"): for a decoder to call with its header's claim before decoding.
void CheckClaimedSize(const QString& path, int64_t width, int64_t height, int64_t fileBytes);

}  // namespace tessaly
