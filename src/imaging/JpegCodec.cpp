#include "JpegCodec.h"

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

#include <jpeglib.h>
#include <jerror.h>

#include "JpegErrors.h"
#include "PathBytes.h"
#include "PictureError.h"

namespace tessaly {

// ---------------------------------------------------------------------------
// Decoding.

JpegDecoder::JpegDecoder(const QString& path, bool refuseDamage) : path_(path) {
  file_.reset(std::fopen(PathBytes(path).constData(), "rb"));
  if (!file_)
    throw OpenError(path, ErrnoText(errno));
  struct stat st {};
  const int64_t bytes = ::fstat(fileno(file_.get()), &st) == 0 ? int64_t(st.st_size) : 0;
  decode_.RefuseDamage(refuseDamage);
  if (!decode_.ReadHeader(file_.get(), bytes)) Fail();
  // Nothing is decoded before the claim is known to fit.
  CheckPictureSize(Width(), Height());
  const std::string problem = decode_.ClaimProblem();
  if (!problem.empty())
    throw ReadError(path, QString::fromStdString(problem));
}

JpegDecoder::~JpegDecoder() = default;

void JpegDecoder::Fail() const {
  throw ReadError(path_, QString::fromStdString(decode_.Error()));
}

int JpegDecoder::Width() const { return decode_.Width(); }
int JpegDecoder::Height() const { return decode_.Height(); }
int JpegDecoder::OutputWidth() const { return decode_.OutputWidth(); }
int JpegDecoder::OutputHeight() const { return decode_.OutputHeight(); }
QString JpegDecoder::Damage() const { return QString::fromStdString(decode_.Damage()); }

void JpegDecoder::Start(int eighths) {
  if (!decode_.Start(eighths)) Fail();
}

void JpegDecoder::ReadRow(uint8_t* row) {
  if (!decode_.ReadRow(row)) Fail();
}

void JpegDecoder::SkipRows(int count) {
  if (!decode_.SkipRows(count)) Fail();
}

// ---------------------------------------------------------------------------
// Encoding, into a file descriptor through a small destination manager that
// keeps the errno of a failed write.

constexpr size_t kOutputBufferSize = 1 << 16;

struct JpegEncoder::State {
  jpeg_compress_struct info;
  JpegErrors err;  // the encoder's warnings concern its caller's use, not data: dropped
  jpeg_destination_mgr dest;
  int fd = -1;
  int writeErrno = 0;
  bool created = false;
  JOCTET buffer[kOutputBufferSize];
};

namespace {

using EncoderState = JpegEncoder::State;

bool WriteAll(EncoderState* s, size_t count) {
  const JOCTET* p = s->buffer;
  while (count > 0) {
    const ssize_t n = ::write(s->fd, p, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      s->writeErrno = n < 0 ? errno : ENOSPC;
      return false;
    }
    p += n;
    count -= size_t(n);
  }
  return true;
}

EncoderState* StateOf(j_compress_ptr info) {
  return reinterpret_cast<EncoderState*>(reinterpret_cast<char*>(info) - offsetof(EncoderState, info));
}

void InitDestination(j_compress_ptr info) {
  EncoderState* s = StateOf(info);
  s->dest.next_output_byte = s->buffer;
  s->dest.free_in_buffer = kOutputBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr info) {
  EncoderState* s = StateOf(info);
  if (!WriteAll(s, kOutputBufferSize)) ERREXIT(info, JERR_FILE_WRITE);
  InitDestination(info);
  return TRUE;
}

void TermDestination(j_compress_ptr info) {
  EncoderState* s = StateOf(info);
  if (!WriteAll(s, kOutputBufferSize - s->dest.free_in_buffer)) ERREXIT(info, JERR_FILE_WRITE);
}

bool EncoderStart(EncoderState* s, int width, int height, int quality) {
  s->info.err = UseJpegErrors(&s->err);
  if (setjmp(s->err.jump)) return false;
  jpeg_create_compress(&s->info);
  s->created = true;
  s->dest.init_destination = InitDestination;
  s->dest.empty_output_buffer = EmptyOutputBuffer;
  s->dest.term_destination = TermDestination;
  s->info.dest = &s->dest;
  s->info.image_width = (JDIMENSION)width;
  s->info.image_height = (JDIMENSION)height;
  s->info.input_components = 3;
  s->info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&s->info);
  jpeg_set_quality(&s->info, quality, TRUE);
  jpeg_start_compress(&s->info, TRUE);
  return true;
}

bool EncoderWrite(EncoderState* s, JSAMPARRAY rows, int count) {
  if (setjmp(s->err.jump)) return false;
  jpeg_write_scanlines(&s->info, rows, (JDIMENSION)count);
  return true;
}

bool EncoderFinish(EncoderState* s) {
  if (setjmp(s->err.jump)) return false;
  jpeg_finish_compress(&s->info);
  return true;
}

}  // namespace

JpegEncoder::JpegEncoder(int fd, const QString& path, int width, int height, int quality)
    : state_(std::make_unique<State>()), path_(path), height_(height) {
  state_->fd = fd;
  if (!EncoderStart(state_.get(), width, height, quality)) Fail();
}

JpegEncoder::~JpegEncoder() {
  if (state_->created) jpeg_destroy_compress(&state_->info);
}

void JpegEncoder::Fail() const {
  const QString reason = state_->writeErrno != 0 ? ErrnoText(state_->writeErrno)
                                                 : QString::fromLocal8Bit(state_->err.message);
  throw PictureError(QStringLiteral("Cannot write %1: %2").arg(path_, reason), reason);
}

int JpegEncoder::WriteErrno() const { return state_->writeErrno; }

void JpegEncoder::WriteRows(const uint8_t* first, size_t stride, int count) {
  JSAMPROW rows[16];
  for (int done = 0; done < count;) {
    const int n = std::min(16, count - done);
    for (int i = 0; i < n; ++i) rows[i] = const_cast<JSAMPROW>(first + size_t(done + i) * stride);
    if (!EncoderWrite(state_.get(), rows, n)) Fail();
    done += n;
  }
  written_ += count;
}

void JpegEncoder::Finish() {
  if (written_ != height_)
    throw PictureError(QStringLiteral("Cannot write %1: the picture is incomplete").arg(path_));
  if (!EncoderFinish(state_.get())) Fail();
}

void WriteJpeg(int fd, const QImage& image, const QString& path, int quality) {
  const QImage rgb = image.format() == QImage::Format_RGB888
                         ? image
                         : image.convertToFormat(QImage::Format_RGB888);
  JpegEncoder encoder(fd, path, rgb.width(), rgb.height(), quality);
  encoder.WriteRows(rgb.constBits(), size_t(rgb.bytesPerLine()), rgb.height());
  encoder.Finish();
}

}  // namespace tessaly
