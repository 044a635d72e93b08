#include "JpegDecode.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

#include <jpeglib.h>
#include <jerror.h>

#include "JpegErrors.h"

namespace tessaly {

namespace {

// A file's data against the picture it claims. Photos hold well over one bit
// a pixel (phones two to four); a picture of one flat colour can hold far
// less, so up to kFreePixels any file may claim what it likes (a 45-megapixel
// PNG of a drawing is small), and beyond that a file needs a byte for every
// kPixelsPerByte pixels (0.33 bits a pixel). Both keep the work of any file
// of up to 2 MB near a second.
constexpr int64_t kFreePixels = 50'000'000;
constexpr int64_t kPixelsPerByte = 24;

// A progressive JPEG keeps all its DCT coefficients (two bytes a sample) until
// the last scan, allocated for the size its header claims. Past the limit
// libjpeg refuses the picture ("Backing store not supported"): up to
// kFreeCoefficientBytes for any file (a 50-megapixel picture at full colour
// resolution needs 300 MB), and then 128 bytes a byte of file up to 1 GiB
// (a 100-megapixel photo at full colour resolution needs 600 MB).
constexpr int64_t kFreeCoefficientBytes = int64_t(320) << 20;
constexpr int64_t kCoefficientBytesPerByte = 128;
constexpr int64_t kMaxCoefficientBytes = int64_t(1) << 30;

// Each scan of a progressive JPEG passes over the whole picture, however few
// bytes it has, so the number of scans bounds the time a picture takes.
// Encoders write about ten; a hundred leaves room for unusual ones.
constexpr int kMaxScans = 100;

// The work budget: every scan is charged its blocks times the coefficients
// it covers (64 for a sequential scan), arithmetic coding kArithmeticCost
// times that (its decoding is that much slower). Progressive encoders cover
// each coefficient two or three times (first pass and refinements); a
// picture may have kMaxPasses times its coefficients decoded, or kFreeWork
// whatever its size. At 50 megapixels the budget is about a second.
constexpr int64_t kMaxPasses = 6;
constexpr int64_t kArithmeticCost = 2;
constexpr int64_t kFreeWork = int64_t(1) << 26;

// Huffman-coded data needs at least one bit a code (ITU T.81, annex C: codes
// of 1 to 16 bits). A sequential scan codes every block with a DC code and at
// least an end-of-block code (F.1.2); a progressive picture codes each
// block's DC in its first DC scan (G.1.2.1).
constexpr int64_t kSequentialBitsPerBlock = 2;
constexpr int64_t kProgressiveBitsPerBlock = 1;

// Warnings that say data is lost. Others (bytes before a marker, an unknown
// JFIF version or Adobe transform, a bad ICC marker, odd spectral numbers in
// a sequential scan, which is decoded whole all the same) leave the picture
// whole.
bool IsDamage(int code) {
  switch (code) {
    case JWRN_ARITH_BAD_CODE:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_JPEG_EOF:
    case JWRN_MUST_RESYNC:
      return true;
    default:
      return false;
  }
}

bool IsCmyk(J_COLOR_SPACE space) { return space == JCS_CMYK || space == JCS_YCCK; }

}  // namespace

namespace {

std::string CannotHold(int64_t fileBytes, int64_t width, int64_t height) {
  return "A file of " + std::to_string(fileBytes) + " bytes cannot hold " + std::to_string(width) + " x " +
         std::to_string(height) + " pixels";
}

}  // namespace

std::string PlausibilityProblem(int64_t width, int64_t height, int64_t fileBytes) {
  const int64_t most = std::max(kFreePixels, kPixelsPerByte * std::max<int64_t>(fileBytes, 0));
  if (width > 0 && height > 0 && width <= INT32_MAX && height <= INT32_MAX && width * height <= most) return {};
  return CannotHold(fileBytes, width, height);
}

// The error manager with the decoder's bookkeeping; common first, so that
// libjpeg's pointer to the manager is a pointer to this.
struct ErrorState {
  JpegErrors common;
  char damage[JMSG_LENGTH_MAX] = {};
  bool refuseDamage = false;
  bool dataEnded = false;  // the data ran out (or, arithmetic-coded, went wrong)
  bool arithmetic = false;
  // The work budget.
  int64_t work = 0, maxWork = 0;
  int chargedScan = 0;
};

struct JpegDecode::State {
  jpeg_decompress_struct info;
  ErrorState err;
  jpeg_progress_mgr progress;
  bool created = false;
  bool endedAtStart = false;  // all the data was read (buffered) and ended early
  bool rowsCut = false;       // data ended while rows were decoded: the rest is grey
  int64_t fileBytes = 0;
  std::string error;
};

namespace {

ErrorState* StateOf(j_common_ptr info) { return reinterpret_cast<ErrorState*>(info->err); }

void OnWarning(j_common_ptr info) {
  ErrorState* err = StateOf(info);
  const int code = info->err->msg_code;
  if (!IsDamage(code)) return;
  if (err->damage[0] == '\0') (*info->err->format_message)(info, err->damage);
  // After the end of the data libjpeg goes on with zeros: nothing for
  // Huffman codes, noise at full cost for arithmetic ones.
  if (code == JWRN_JPEG_EOF || err->arithmetic) err->dataEnded = true;
  if (err->refuseDamage) JpegFail(info, "Picture data is damaged: %s", err->damage);
}

// Called by libjpeg before each step of input; charges each new scan to the
// budget before it is decoded and ends the decode like an error past it.
void OnProgress(j_common_ptr common) {
  auto* info = reinterpret_cast<j_decompress_ptr>(common);
  ErrorState* err = StateOf(common);
  if (info->input_scan_number == err->chargedScan) return;
  err->chargedScan = info->input_scan_number;
  if (info->input_scan_number > kMaxScans) JpegFail(common, "More than %d scans", kMaxScans);
  int64_t blocks = 0;
  for (int i = 0; i < info->comps_in_scan && i < MAX_COMPS_IN_SCAN; ++i)
    blocks += int64_t(info->cur_comp_info[i]->width_in_blocks) * info->cur_comp_info[i]->height_in_blocks;
  const int64_t coefficients = std::clamp(info->Se - info->Ss + 1, 1, DCTSIZE2);
  err->work += blocks * coefficients * (err->arithmetic ? kArithmeticCost : 1);
  if (err->work <= err->maxWork) return;
  JpegFail(common, "Too many scans for a picture of %u x %u pixels", info->image_width, info->image_height);
}

int64_t Blocks(const jpeg_decompress_struct& info) {
  int64_t blocks = 0;
  for (int c = 0; c < info.num_components; ++c)
    blocks += int64_t(info.comp_info[c].width_in_blocks) * info.comp_info[c].height_in_blocks;
  return blocks;
}

// The fences: plain C-style code, no objects with destructors between setjmp
// and the calls that may longjmp.
using State = JpegDecode::State;

bool FencedHeader(State* s, std::FILE* file, const uint8_t* data, size_t size) {
  s->info.err = UseJpegErrors(&s->err.common);
  s->err.common.onWarning = OnWarning;
  if (setjmp(s->err.common.jump)) return false;
  jpeg_create_decompress(&s->info);
  s->created = true;
  s->info.mem->max_memory_to_use =
      long(std::min(kMaxCoefficientBytes, std::max(kFreeCoefficientBytes, kCoefficientBytesPerByte * s->fileBytes)));
  s->progress.progress_monitor = OnProgress;
  s->info.progress = &s->progress;
  if (file)
    jpeg_stdio_src(&s->info, file);
  else
    jpeg_mem_src(&s->info, data, (unsigned long)size);
  jpeg_read_header(&s->info, TRUE);
  s->err.arithmetic = s->info.arith_code;
  s->err.maxWork = std::max(kFreeWork, kMaxPasses * DCTSIZE2 * Blocks(s->info));
  return true;
}

bool FencedStart(State* s, int eighths) {
  if (setjmp(s->err.common.jump)) return false;
  s->info.scale_num = (unsigned)eighths;
  s->info.scale_denom = 8;
  s->info.out_color_space = IsCmyk(s->info.jpeg_color_space) ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&s->info);
  return true;
}

bool FencedRead(State* s, JSAMPROW row) {
  if (setjmp(s->err.common.jump)) return false;
  // Returns 0 rows only past the last row, which the callers never ask for.
  jpeg_read_scanlines(&s->info, &row, 1);
  return true;
}

bool FencedSkip(State* s, int count) {
  if (setjmp(s->err.common.jump)) return false;
  jpeg_skip_scanlines(&s->info, (JDIMENSION)count);
  return true;
}

}  // namespace

JpegDecode::JpegDecode() : state_(std::make_unique<State>()) {}

JpegDecode::~JpegDecode() {
  if (state_->created) jpeg_destroy_decompress(&state_->info);
}

bool JpegDecode::ReadHeader(std::FILE* file, int64_t fileBytes) {
  state_->fileBytes = fileBytes;
  if (FencedHeader(state_.get(), file, nullptr, 0)) return true;
  state_->error = state_->err.common.message;
  return false;
}

bool JpegDecode::ReadHeader(const uint8_t* data, size_t size) {
  state_->fileBytes = int64_t(size);
  if (FencedHeader(state_.get(), nullptr, data, size)) return true;
  state_->error = state_->err.common.message;
  return false;
}

std::string JpegDecode::ClaimProblem() const {
  const jpeg_decompress_struct& info = state_->info;
  const int64_t w = info.image_width, h = info.image_height, bytes = state_->fileBytes;
  std::string problem = PlausibilityProblem(w, h, bytes);
  if (!problem.empty() || info.arith_code) return problem;
  const int64_t bits = info.progressive_mode ? kProgressiveBitsPerBlock : kSequentialBitsPerBlock;
  if (Blocks(info) * bits <= bytes * 8) return {};
  return CannotHold(bytes, w, h);
}

void JpegDecode::RefuseDamage(bool refuse) { state_->err.refuseDamage = refuse; }

int JpegDecode::Width() const { return int(state_->info.image_width); }
int JpegDecode::Height() const { return int(state_->info.image_height); }
int JpegDecode::OutputWidth() const { return int(state_->info.output_width); }
int JpegDecode::OutputHeight() const { return int(state_->info.output_height); }
const std::string& JpegDecode::Error() const { return state_->error; }

std::string JpegDecode::Damage() const { return state_->err.damage; }

bool JpegDecode::Start(int eighths) {
  State* s = state_.get();
  if (!FencedStart(s, eighths)) {
    s->error = s->err.common.message;
    return false;
  }
  s->endedAtStart = s->err.dataEnded;
  if (s->info.out_color_space == JCS_CMYK) cmykRow_.resize(size_t(OutputWidth()) * 4);
  return true;
}

bool JpegDecode::ReadRow(uint8_t* row) {
  State* s = state_.get();
  if (s->rowsCut) {
    std::memset(row, 0x80, size_t(OutputWidth()) * 3);
    return true;
  }
  uint8_t* out = cmykRow_.empty() ? row : cmykRow_.data();
  if (!FencedRead(s, out)) {
    s->error = s->err.common.message;
    return false;
  }
  // Past the end of the data a sequential picture is decoded no further.
  s->rowsCut = s->err.dataEnded && !s->endedAtStart;
  if (cmykRow_.empty()) return true;
  // Adobe writes CMYK JPEGs inverted (the "Adobe" APP14 convention that
  // libjpeg follows): the stored value is 255 - ink, so the colour is value * k.
  const uint8_t* in = cmykRow_.data();
  for (int x = 0, w = OutputWidth(); x < w; ++x, in += 4, row += 3) {
    row[0] = uint8_t(in[0] * in[3] / 255);
    row[1] = uint8_t(in[1] * in[3] / 255);
    row[2] = uint8_t(in[2] * in[3] / 255);
  }
  return true;
}

bool JpegDecode::SkipRows(int count) {
  State* s = state_.get();
  if (count <= 0 || s->rowsCut) return true;
  if (!FencedSkip(s, count)) {
    s->error = s->err.common.message;
    return false;
  }
  s->rowsCut = s->err.dataEnded && !s->endedAtStart;
  return true;
}

}  // namespace tessaly
