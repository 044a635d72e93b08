// JPEG decoding and encoding through libjpeg-turbo. libjpeg reports errors by
// longjmp; every call into it is fenced by setjmp inside a few small C-style
// functions (JpegCodec.cpp, JpegDecode.cpp) that hold no C++ objects, and the
// failures come out of these classes as PictureError.
#pragma once

#include <QImage>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "JpegDecode.h"

namespace tessaly {

// Reads one JPEG file row by row, optionally at a reduced DCT scale (the
// bounded decoder of JpegDecode.h with the file and Qt's texts around it).
class JpegDecoder {
 public:
  // Opens the file, reads its header and checks its claim: the render cap
  // ("Cannot make a picture of ...") and what the file's data can hold.
  // Throws PictureError; the file is closed again when it does.
  // With refuseDamage, data that is corrupt or ends early is an error.
  explicit JpegDecoder(const QString& path, bool refuseDamage = false);
  ~JpegDecoder();
  JpegDecoder(const JpegDecoder&) = delete;
  JpegDecoder& operator=(const JpegDecoder&) = delete;

  int Width() const;   // full size
  int Height() const;

  // Starts decoding at eighths/8 of the full size (1..8). Throws PictureError.
  void Start(int eighths);
  int OutputWidth() const;
  int OutputHeight() const;

  // The next rows of the output, as 8-bit RGB (OutputWidth() * 3 bytes).
  // Rows are read in order; SkipRows passes over rows without colour output.
  void ReadRow(uint8_t* row);
  void SkipRows(int count);

  // libjpeg's text when the data read so far is corrupt or ended early.
  QString Damage() const;

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, FileCloser> file_;
  JpegDecode decode_;  // destroyed before the file is closed
  QString path_;
  [[noreturn]] void Fail() const;
};

// Writes a JPEG row by row to an open file descriptor: 8-bit RGB input, the
// library's default parameters with the given quality (baseline tables),
// sequential, three colour components, no metadata. Errors throw
// PictureError naming path (the errno text of a failed write).
class JpegEncoder {
 public:
  JpegEncoder(int fd, const QString& path, int width, int height, int quality = 100);
  ~JpegEncoder();
  JpegEncoder(const JpegEncoder&) = delete;
  JpegEncoder& operator=(const JpegEncoder&) = delete;

  void WriteRows(const uint8_t* first, size_t stride, int count);
  void Finish();  // after all rows
  // The errno of the write that failed; 0 while none has.
  int WriteErrno() const;

  struct State;  // libjpeg's structures (JpegCodec.cpp)

 private:
  std::unique_ptr<State> state_;
  QString path_;
  int height_;
  int written_ = 0;
  [[noreturn]] void Fail() const;
};

// Encodes an image as 8-bit RGB to an open file descriptor: the library's
// default parameters with the given quality (baseline tables), sequential,
// three colour components, no metadata. Throws PictureError naming path.
void WriteJpeg(int fd, const QImage& image, const QString& path, int quality = 100);

}  // namespace tessaly
