// Writes the seed corpus of the JPEG decoding fuzz target into the folder
// given: a small picture with detail in each coding libjpeg reads (baseline,
// progressive, arithmetic, both), grey and CMYK, with restart markers, and
// 4:4:4 and 4:2:2 sampling.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

struct Seed {
  const char* name;
  bool progressive, arithmetic;
  J_COLOR_SPACE space;
  int components;
  int restartRows;
  int hSampling, vSampling;  // of the first component
};

// One row of line per line table.
const Seed kSeeds[] = {
    {"baseline.jpg", false, false, JCS_RGB, 3, 0, 2, 2},
    {"progressive.jpg", true, false, JCS_RGB, 3, 0, 2, 2},
    {"arithmetic.jpg", false, true, JCS_RGB, 3, 0, 2, 2},
    {"arithmetic-progressive.jpg", true, true, JCS_RGB, 3, 0, 2, 2},
    {"grey.jpg", false, false, JCS_GRAYSCALE, 1, 0, 1, 1},
    {"cmyk.jpg", false, false, JCS_CMYK, 4, 0, 1, 1},
    {"restarts.jpg", false, false, JCS_RGB, 3, 1, 2, 2},
    {"444.jpg", false, false, JCS_RGB, 3, 0, 1, 1},
    {"422-progressive.jpg", true, false, JCS_RGB, 3, 0, 2, 1},
};

bool Write(const std::string& path, const Seed& seed) {
  constexpr int kWidth = 40, kHeight = 28;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  jpeg_compress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = kWidth;
  info.image_height = kHeight;
  info.input_components = seed.components;
  info.in_color_space = seed.space;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 85, TRUE);
  info.arith_code = seed.arithmetic;
  info.restart_in_rows = seed.restartRows;
  info.comp_info[0].h_samp_factor = seed.hSampling;
  info.comp_info[0].v_samp_factor = seed.vSampling;
  if (seed.progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  std::vector<JSAMPLE> row(size_t(kWidth) * seed.components);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x)
      for (int c = 0; c < seed.components; ++c)
        row[size_t(x * seed.components + c)] = JSAMPLE((x * 37 + y * 11 + c * 80 + (x ^ y) * 5) & 255);
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&info, &p, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  for (const Seed& seed : kSeeds)
    if (!Write(std::string(argv[1]) + "/" + seed.name, seed)) {
      std::fprintf(stderr, "cannot write %s\n", seed.name);
      return 1;
    }
  return 0;
}
