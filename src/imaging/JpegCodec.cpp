#include "JpegCodec.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <unistd.h>

#include <QFile>

#include <jpeglib.h>
#include <jerror.h>

#include "PathBytes.h"
#include "Render.h"

namespace tessaly {

namespace {

// libjpeg error handler: keeps the message and jumps back to the fence.
struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr info) {
  auto* err = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, err->message);
  longjmp(err->jump, 1);
}

// Warnings about corrupt data are not printed; the picture is shown as far
// as it decodes, as picture viewers do.
void OnOutputMessage(j_common_ptr) {}

void InitErrors(ErrorManager* err) {
  jpeg_std_error(&err->pub);
  err->pub.error_exit = OnError;
  err->pub.output_message = OnOutputMessage;
  err->message[0] = '\0';
}

bool IsCmyk(J_COLOR_SPACE space) { return space == JCS_CMYK || space == JCS_YCCK; }

}  // namespace

// ---------------------------------------------------------------------------
// Decoding. The fenced functions below return false after a libjpeg error;
// the message is in err.message.

namespace {

// A progressive JPEG keeps all its DCT coefficients (two bytes a sample) until
// the last scan, allocated for the size its header claims, whatever the
// output scale. Past this libjpeg refuses the picture ("Backing store not
// supported") instead of letting a few hundred bytes claim gigabytes; a
// 100-megapixel photo at full colour resolution needs 600 MB.
constexpr long kMaxCoefficientBytes = 1L << 30;

// Each scan of a progressive JPEG passes over the whole picture, however few
// bytes it has, so the number of scans bounds the time a picture takes.
// Encoders write about ten; a hundred leaves room for unusual ones.
constexpr int kMaxScans = 100;

// Called by libjpeg as it reads the scans; ends the decode like an error.
void OnProgress(j_common_ptr info) {
  if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number <= kMaxScans) return;
  auto* err = reinterpret_cast<ErrorManager*>(info->err);
  std::snprintf(err->message, sizeof err->message, "More than %d scans", kMaxScans);
  longjmp(err->jump, 1);
}

}  // namespace

struct JpegDecoder::State {
  jpeg_decompress_struct info;
  ErrorManager err;
  jpeg_progress_mgr progress;
  FILE* file = nullptr;
  bool created = false;
};

// The fences: plain C-style code, no objects with destructors between setjmp
// and the calls that may longjmp.
namespace {

bool DecoderOpen(JpegDecoder::State* s) {
  InitErrors(&s->err);
  s->info.err = &s->err.pub;
  if (setjmp(s->err.jump)) return false;
  jpeg_create_decompress(&s->info);
  s->created = true;
  s->info.mem->max_memory_to_use = kMaxCoefficientBytes;
  s->progress.progress_monitor = OnProgress;
  s->info.progress = &s->progress;
  jpeg_stdio_src(&s->info, s->file);
  jpeg_read_header(&s->info, TRUE);
  return true;
}

bool DecoderStart(JpegDecoder::State* s, int eighths) {
  if (setjmp(s->err.jump)) return false;
  s->info.scale_num = (unsigned)eighths;
  s->info.scale_denom = 8;
  s->info.out_color_space = IsCmyk(s->info.jpeg_color_space) ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&s->info);
  return true;
}

bool DecoderRead(JpegDecoder::State* s, JSAMPROW row) {
  if (setjmp(s->err.jump)) return false;
  // Returns 0 rows only past the last row, which the callers never ask for.
  jpeg_read_scanlines(&s->info, &row, 1);
  return true;
}

bool DecoderSkip(JpegDecoder::State* s, int count) {
  if (setjmp(s->err.jump)) return false;
  jpeg_skip_scanlines(&s->info, (JDIMENSION)count);
  return true;
}

}  // namespace

JpegDecoder::JpegDecoder(const QString& path) : state_(std::make_unique<State>()), path_(path) {
  state_->file = std::fopen(PathBytes(path).constData(), "rb");
  if (!state_->file)
    throw PictureError(QStringLiteral("Cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
  if (!DecoderOpen(state_.get())) Fail();
}

JpegDecoder::~JpegDecoder() {
  if (state_->created) jpeg_destroy_decompress(&state_->info);
  if (state_->file) std::fclose(state_->file);
}

void JpegDecoder::Fail() const {
  throw PictureError(QStringLiteral("Cannot read %1: %2").arg(path_, QString::fromLocal8Bit(state_->err.message)));
}

int JpegDecoder::Width() const { return int(state_->info.image_width); }
int JpegDecoder::Height() const { return int(state_->info.image_height); }
int JpegDecoder::OutputWidth() const { return int(state_->info.output_width); }
int JpegDecoder::OutputHeight() const { return int(state_->info.output_height); }

void JpegDecoder::Start(int eighths) {
  if (!DecoderStart(state_.get(), eighths)) Fail();
  if (state_->info.out_color_space == JCS_CMYK) cmykRow_.resize(size_t(OutputWidth()) * 4);
}

void JpegDecoder::ReadRow(uint8_t* row) {
  if (cmykRow_.empty()) {
    if (!DecoderRead(state_.get(), row)) Fail();
    return;
  }
  if (!DecoderRead(state_.get(), cmykRow_.data())) Fail();
  // Adobe writes CMYK JPEGs inverted (the "Adobe" APP14 convention that
  // libjpeg follows): the stored value is 255 - ink, so the colour is value * k.
  const uint8_t* in = cmykRow_.data();
  for (int x = 0, w = OutputWidth(); x < w; ++x, in += 4, row += 3) {
    row[0] = uint8_t(in[0] * in[3] / 255);
    row[1] = uint8_t(in[1] * in[3] / 255);
    row[2] = uint8_t(in[2] * in[3] / 255);
  }
}

void JpegDecoder::SkipRows(int count) {
  if (count > 0 && !DecoderSkip(state_.get(), count)) Fail();
}

// ---------------------------------------------------------------------------
// Encoding, into a file descriptor through a small destination manager that
// keeps the errno of a failed write.

constexpr size_t kOutputBufferSize = 1 << 16;

struct JpegEncoder::State {
  jpeg_compress_struct info;
  ErrorManager err;
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
  InitErrors(&s->err);
  s->info.err = &s->err.pub;
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
  const QString reason = state_->writeErrno != 0 ? QString::fromLocal8Bit(std::strerror(state_->writeErrno))
                                                 : QString::fromLocal8Bit(state_->err.message);
  throw PictureError(QStringLiteral("Cannot write %1: %2").arg(path_, reason));
}

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
