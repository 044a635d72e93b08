#include "HeifFile.h"

#include "HeifClaims.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <libheif/heif.h>

namespace tessaly {

namespace {

// libheif's own limit on an image's side (its default in 1.15, which
// version 1.15 also applies to grids and overlays). It is set explicitly so
// that it never rises above that; the render cap, checked on every claim
// first, bounds the area.
constexpr int kLibheifMaxSide = 32768;

// The largest EXIF item taken: a JPEG's EXIF segment holds at most 64 KB; a
// HEIF item has no such bound, but a megabyte leaves room for large maker notes.
constexpr size_t kMaxExifBytes = size_t(1) << 20;

std::string ErrnoText() { return std::strerror(errno); }

// The file, read by libheif through these callbacks (reader API version 1).
int64_t ReaderPosition(void* file) { return static_cast<HeifInput*>(file)->position; }

int ReaderRead(void* data, size_t count, void* userdata) {
  auto* file = static_cast<HeifInput*>(userdata);
  if (!file->ReadAt(file->position, data, count)) return 1;
  file->position += int64_t(count);
  return 0;
}

int ReaderSeek(int64_t position, void* userdata) {
  auto* file = static_cast<HeifInput*>(userdata);
  if (position < 0 || position > file->size) return 1;
  file->position = position;
  return 0;
}

heif_reader_grow_status ReaderWait(int64_t target, void* userdata) {
  return target > static_cast<HeifInput*>(userdata)->size ? heif_reader_grow_status_size_beyond_eof
                                                          : heif_reader_grow_status_size_reached;
}

const heif_reader kReader = {1, ReaderPosition, ReaderRead, ReaderSeek, ReaderWait};

uint32_t BigEndian32(const unsigned char* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Whether a claim needs more than the render cap of RGB: in 128 bits, so
// that no claim (two 32-bit sides, or libheif's ints) can wrap.
bool TooLarge(uint64_t width, uint64_t height) {
  return static_cast<unsigned __int128>(width) * height * 3 > static_cast<unsigned __int128>(kMaxRenderBytes);
}

[[noreturn]] void ThrowTooLarge(uint64_t width, uint64_t height) {
  throw HeifError("Picture too large: " + std::to_string(width) + " x " + std::to_string(height) + " pixels");
}

void Check(heif_error error) {
  if (error.code == heif_error_Ok) return;
  std::string message = error.message ? error.message : "libheif error";
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  throw HeifError(message);
}

}  // namespace

struct HeifFile::State {
  HeifInput file;
  heif_context* context = nullptr;
  heif_image_handle* primary = nullptr;
  heif_image_handle* thumbnail = nullptr;
  heif_image* image = nullptr;
  const uint8_t* pixels = nullptr;
  int stride = 0, width = 0, height = 0;

  ~State() {
    if (image) heif_image_release(image);
    if (thumbnail) heif_image_handle_release(thumbnail);
    if (primary) heif_image_handle_release(primary);
    if (context) heif_context_free(context);
    if (file.fd >= 0) ::close(file.fd);
  }
};

HeifFile::HeifFile(const std::string& path) : state_(std::make_unique<State>()) {
  State& s = *state_;
  // Without blocking: a named pipe would wait for a writer; it, a folder or a
  // device is refused as no file.
  s.file.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (s.file.fd < 0) throw HeifOpenError(ErrnoText());
  struct stat facts {};
  if (::fstat(s.file.fd, &facts) != 0) throw HeifOpenError(ErrnoText());
  if (!S_ISREG(facts.st_mode)) throw HeifOpenError("Not a regular file");
  s.file.size = facts.st_size;
  Open();
}

HeifFile::HeifFile(std::string_view bytes, FromMemory) : state_(std::make_unique<State>()) {
  state_->file.bytes = bytes;
  state_->file.size = int64_t(bytes.size());
  Open();
}

void HeifFile::Open() {
  State& s = *state_;
  // Every size the decode may allocate for is checked before libheif sees
  // the file at all.
  for (const HeifClaim& claim : ReadHeifClaims(s.file))
    if (TooLarge(claim.width, claim.height)) ThrowTooLarge(claim.width, claim.height);

  s.context = heif_context_alloc();
  if (!s.context) throw HeifError("Out of memory");
  heif_context_set_maximum_image_size_limit(s.context, kLibheifMaxSide);
  Check(heif_context_read_from_reader(s.context, &kReader, &s.file, nullptr));
  Check(heif_context_get_primary_image_handle(s.context, &s.primary));

  heif_item_id id = 0;
  if (heif_image_handle_get_list_of_thumbnail_IDs(s.primary, &id, 1) == 1 &&
      heif_image_handle_get_thumbnail(s.primary, id, &s.thumbnail).code != heif_error_Ok)
    s.thumbnail = nullptr;
}

HeifFile::~HeifFile() = default;

int HeifFile::Width() const { return heif_image_handle_get_width(state_->primary); }
int HeifFile::Height() const { return heif_image_handle_get_height(state_->primary); }

void HeifFile::CheckClaimedSizes() const {
  // The claims in the boxes were checked when the file was opened; what
  // libheif made of them is checked again.
  const auto width = uint64_t(std::max(Width(), 0)), height = uint64_t(std::max(Height(), 0));
  if (TooLarge(width, height)) ThrowTooLarge(width, height);
}

std::optional<std::pair<int, int>> HeifFile::ThumbnailSize() const {
  if (!state_->thumbnail) return std::nullopt;
  const int64_t w = heif_image_handle_get_width(state_->thumbnail);
  const int64_t h = heif_image_handle_get_height(state_->thumbnail);
  const int64_t W = Width(), H = Height();
  // A thumbnail stored without the rotation, or cut to another shape, is
  // not the picture in small.
  if (w <= 0 || h <= 0 || std::abs(w * H - h * W) > std::max(W, H)) return std::nullopt;
  return std::pair<int, int>(int(w), int(h));
}

void HeifFile::Decode(bool thumbnail) {
  State& s = *state_;
  heif_image_handle* handle = thumbnail && s.thumbnail ? s.thumbnail : s.primary;
  std::unique_ptr<heif_decoding_options, void (*)(heif_decoding_options*)> options(
      heif_decoding_options_alloc(), heif_decoding_options_free);
  if (!options) throw HeifError("Out of memory");
  options->ignore_transformations = 0;  // rotation, mirror and crop applied
  options->convert_hdr_to_8bit = 1;     // 10-bit pictures come as 8-bit RGB too
  if (s.image) heif_image_release(s.image);
  s.image = nullptr;
  Check(heif_decode_image(handle, &s.image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, options.get()));
  s.pixels = heif_image_get_plane_readonly(s.image, heif_channel_interleaved, &s.stride);
  s.width = heif_image_get_width(s.image, heif_channel_interleaved);
  s.height = heif_image_get_height(s.image, heif_channel_interleaved);
  if (!s.pixels || s.width <= 0 || s.height <= 0 || s.stride < s.width * 3)
    throw HeifError("No picture decoded");
}

int HeifFile::DecodedWidth() const { return state_->width; }
int HeifFile::DecodedHeight() const { return state_->height; }
const uint8_t* HeifFile::Row(int y) const { return state_->pixels + int64_t(y) * state_->stride; }

std::optional<std::string> HeifFile::Exif() const {
  heif_image_handle* primary = state_->primary;
  heif_item_id id = 0;
  if (heif_image_handle_get_list_of_metadata_block_IDs(primary, "Exif", &id, 1) != 1) return std::nullopt;
  const size_t size = heif_image_handle_get_metadata_size(primary, id);
  if (size < 4 || size > kMaxExifBytes) return std::nullopt;
  std::string bytes(size, '\0');
  if (heif_image_handle_get_metadata(primary, id, bytes.data()).code != heif_error_Ok) return std::nullopt;
  const uint32_t offset = BigEndian32(reinterpret_cast<const unsigned char*>(bytes.data()));
  if (offset > size - 4) return std::nullopt;
  // Some writers put the offset 0 before the "Exif\0\0" signature of a JPEG
  // segment instead of the TIFF header's offset after it.
  const std::string_view signature("Exif\0\0", 6);
  const size_t header = 4 + size_t(offset);
  if (bytes.compare(header, signature.size(), signature) == 0) return bytes.substr(header + signature.size());
  return bytes.substr(header);
}

std::optional<std::string> HeifFile::Xmp() const {
  heif_image_handle* primary = state_->primary;
  heif_item_id ids[16];
  const int count = heif_image_handle_get_list_of_metadata_block_IDs(primary, "mime", ids, 16);
  for (int i = 0; i < count; ++i) {
    const char* type = heif_image_handle_get_metadata_content_type(primary, ids[i]);
    if (!type || std::string_view(type) != "application/rdf+xml") continue;
    const size_t size = heif_image_handle_get_metadata_size(primary, ids[i]);
    if (size == 0 || size > kMaxExifBytes) return std::nullopt;
    std::string bytes(size, '\0');
    if (heif_image_handle_get_metadata(primary, ids[i], bytes.data()).code != heif_error_Ok) return std::nullopt;
    return bytes;
  }
  return std::nullopt;
}

HeifFile::Colour HeifFile::ColourOf() const {
  heif_image_handle* primary = state_->primary;
  Colour colour;
  // A profile larger than any real one is no profile.
  const size_t size = heif_image_handle_get_raw_color_profile_size(primary);
  if (size > 0 && size <= kMaxExifBytes) {
    colour.icc.resize(size);
    if (heif_image_handle_get_raw_color_profile(primary, colour.icc.data()).code != heif_error_Ok) colour.icc.clear();
  }
  heif_color_profile_nclx* nclx = nullptr;
  if (heif_image_handle_get_nclx_color_profile(primary, &nclx).code == heif_error_Ok && nclx) {
    colour.nclx = true;
    colour.red[0] = nclx->color_primary_red_x, colour.red[1] = nclx->color_primary_red_y;
    colour.green[0] = nclx->color_primary_green_x, colour.green[1] = nclx->color_primary_green_y;
    colour.blue[0] = nclx->color_primary_blue_x, colour.blue[1] = nclx->color_primary_blue_y;
    colour.white[0] = nclx->color_primary_white_x, colour.white[1] = nclx->color_primary_white_y;
    colour.transfer = int(nclx->transfer_characteristics);
    heif_nclx_color_profile_free(nclx);
  }
  return colour;
}

}  // namespace tessaly
