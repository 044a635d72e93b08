// Writes the seed corpus of the HEIF fuzz target into the folder given:
// small pictures coded by libheif (upright and turned, with an EXIF item and
// a thumbnail) and files made box by box with a grid and an overlay.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <libheif/heif.h>

#include "HeifBuilder.h"

namespace {

using tessaly::testing::HeifItem;

bool Write(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

heif_image* Picture(int width, int height) {
  heif_image* image = nullptr;
  heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
  heif_image_add_plane(image, heif_channel_interleaved, width, height, 8);
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width * 3; ++x) plane[y * stride + x] = uint8_t((x / 3 / 8 + y / 8) % 2 ? 40 * (x % 3) : 250);
  return image;
}

bool Encode(const std::string& path, int orientation, bool exif, bool thumbnail) {
  heif_context* context = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  if (heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code != heif_error_Ok) return false;
  heif_encoder_set_lossy_quality(encoder, 50);
  heif_encoding_options* options = heif_encoding_options_alloc();
  options->image_orientation = heif_orientation(orientation);
  heif_image* image = Picture(64, 48);
  heif_image_handle* handle = nullptr;
  bool ok = heif_context_encode_image(context, image, encoder, options, &handle).code == heif_error_Ok;
  if (ok && exif) {
    static const char kExif[] = "\0\0\0\0MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0";
    ok = heif_context_add_exif_metadata(context, handle, kExif, sizeof kExif - 1).code == heif_error_Ok;
  }
  if (ok && thumbnail) {
    heif_image* small = Picture(32, 24);
    ok = heif_context_encode_thumbnail(context, small, handle, encoder, options, 31, nullptr).code == heif_error_Ok;
    heif_image_release(small);
  }
  ok = ok && heif_context_write_to_file(context, path.c_str()).code == heif_error_Ok;
  if (handle) heif_image_handle_release(handle);
  heif_image_release(image);
  heif_encoding_options_free(options);
  heif_encoder_release(encoder);
  heif_context_free(context);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  bool ok = Encode(folder + "/plain.heic", 1, false, false) && Encode(folder + "/turned-exif.heic", 6, true, false) &&
            Encode(folder + "/thumbnail.heic", 1, false, true);
  using tessaly::testing::GridData;
  using tessaly::testing::OverlayData;
  const std::vector<HeifItem> grid = {{1, "grid", GridData(1, 2, 128, 48, false), 128, 48, {2, 3}},
                                      {2, "hvc1", "", 64, 48, {}},
                                      {3, "hvc1", "", 64, 48, {}}};
  const std::vector<HeifItem> overlay = {{1, "iovl", OverlayData(96, 64, true, 2), 96, 64, {2, 3}},
                                         {2, "hvc1", "", 64, 48, {}},
                                         {3, "grid", GridData(1, 1, 64, 48, false), 64, 48, {2}}};
  ok = ok && Write(folder + "/grid.heic", tessaly::testing::HeifWithItems(grid, 1)) &&
       Write(folder + "/overlay.heic", tessaly::testing::HeifWithItems(overlay, 1));
  if (!ok) std::fprintf(stderr, "%s: cannot write the seeds into %s\n", argv[0], argv[1]);
  return ok ? 0 : 1;
}
