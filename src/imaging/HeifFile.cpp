#include "HeifFile.h"

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

// libheif refuses any image item wider or higher than this itself, before
// our own check of the area; 2^16 is well above the sides of any camera's
// picture and of the widest phone panoramas.
constexpr int kMaxSide = 1 << 16;

// The largest EXIF item taken: a JPEG's EXIF segment holds at most 64 KB; a
// HEIF item has no such bound, but a megabyte leaves room for large maker notes.
constexpr size_t kMaxExifBytes = size_t(1) << 20;

// Boxes looked at while collecting the sizes the images claim: a real file
// has a few dozen; a file made of nothing but tiny boxes is not walked for ever.
constexpr int kMaxBoxes = 1 << 16;

std::string ErrnoText() { return std::strerror(errno); }

// The file, read by libheif through these callbacks (reader API version 1).
struct InputFile {
  int fd = -1;
  int64_t size = 0;
  int64_t position = 0;

  // Reads exactly count bytes at offset; false when the file has fewer.
  bool ReadAt(int64_t offset, void* data, size_t count) const {
    auto* out = static_cast<char*>(data);
    while (count > 0) {
      const ssize_t got = ::pread(fd, out, count, offset);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      out += got;
      offset += got;
      count -= size_t(got);
    }
    return true;
  }
};

int64_t ReaderPosition(void* file) { return static_cast<InputFile*>(file)->position; }

int ReaderRead(void* data, size_t count, void* userdata) {
  auto* file = static_cast<InputFile*>(userdata);
  if (!file->ReadAt(file->position, data, count)) return 1;
  file->position += int64_t(count);
  return 0;
}

int ReaderSeek(int64_t position, void* userdata) {
  auto* file = static_cast<InputFile*>(userdata);
  if (position < 0 || position > file->size) return 1;
  file->position = position;
  return 0;
}

heif_reader_grow_status ReaderWait(int64_t target, void* userdata) {
  return target > static_cast<InputFile*>(userdata)->size ? heif_reader_grow_status_size_beyond_eof
                                                          : heif_reader_grow_status_size_reached;
}

const heif_reader kReader = {1, ReaderPosition, ReaderRead, ReaderSeek, ReaderWait};

uint32_t BigEndian32(const unsigned char* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// The sizes claimed by the image spatial extents properties ('ispe',
// ISO/IEC 23008-12 section 6.5.3) of every image item, found along
// meta / iprp / ipco. Boxes are laid out as ISO/IEC 14496-12 section 4.2
// gives: a 32-bit size (1: a 64-bit size follows the type, 0: up to the
// end of the enclosing box), a four-letter type; 'meta' is a full box with
// four bytes of version and flags before its children.
class ClaimedSizes {
 public:
  explicit ClaimedSizes(const InputFile& file) : file_(file) { Walk(0, file.size, 0); }
  std::vector<std::pair<uint32_t, uint32_t>> sizes;

 private:
  static constexpr std::string_view kPath[] = {"meta", "iprp", "ipco", "ispe"};
  const InputFile& file_;
  int boxes_ = 0;

  void Walk(int64_t begin, int64_t end, size_t depth) {
    for (int64_t pos = begin; pos + 8 <= end;) {
      if (++boxes_ > kMaxBoxes) throw HeifError("Too many boxes");
      unsigned char header[16];
      if (!file_.ReadAt(pos, header, 8)) return;
      int64_t size = BigEndian32(header);
      int64_t headerSize = 8;
      if (size == 1) {
        if (pos + 16 > end || !file_.ReadAt(pos + 8, header + 8, 8)) return;
        size = int64_t(uint64_t(BigEndian32(header + 8)) << 32 | BigEndian32(header + 12));
        headerSize = 16;
      } else if (size == 0) {
        size = end - pos;
      }
      if (size < headerSize || size > end - pos) return;  // libheif says what is wrong
      const std::string_view type(reinterpret_cast<const char*>(header + 4), 4);
      if (type == kPath[depth]) {
        const int64_t body = pos + headerSize + (depth == 0 ? 4 : 0);
        if (depth + 1 < std::size(kPath)) {
          Walk(body, pos + size, depth + 1);
        } else {
          unsigned char extent[12];  // version and flags, width, height
          if (size - headerSize >= 12 && file_.ReadAt(body, extent, 12))
            sizes.emplace_back(BigEndian32(extent + 4), BigEndian32(extent + 8));
        }
      }
      pos += size;
    }
  }
};

bool TooLarge(int64_t width, int64_t height) { return width * height * 3 > kMaxRenderBytes; }

[[noreturn]] void ThrowTooLarge(int64_t width, int64_t height) {
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
  InputFile file;
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

  s.context = heif_context_alloc();
  if (!s.context) throw HeifError("Out of memory");
  heif_context_set_maximum_image_size_limit(s.context, kMaxSide);
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
  if (TooLarge(Width(), Height())) ThrowTooLarge(Width(), Height());
  // The tiles of a grid are decoded one by one, each at the size it claims,
  // and a thumbnail at its own; none may claim more than a picture may have.
  for (const auto& [width, height] : ClaimedSizes(state_->file).sizes)
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
