// Reads the shooting date of many photos as the picture panel does (a fresh
// reader with build code 255 and maker notes and IPTC plugged in, per file)
// and prints photos per second. Without arguments it writes 2000 sample
// photos of its own; with a folder it reads the photos in it.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ExifReader.h"
#include "FullReader.h"
#include "PhotoBuilder.h"
#include "SamplePhotos.h"

namespace {

namespace fs = std::filesystem;

const std::string kMadeDir = tessaly::testing::TempDir("bench-read-dates");

std::vector<std::string> MakePhotos(int count) {
  const std::string& dir = kMadeDir;
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    char date[32];
    std::snprintf(date, sizeof date, "20%02d:%02d:%02d 12:%02d:%02d", i % 30, i % 12 + 1,
                  i % 28 + 1, i % 60, (i * 7) % 60);
    const std::string photo = tessaly::testing::SampleJpeg(i % 2 == 1, date);
    paths.push_back(tessaly::testing::WriteFile(dir + "/" + std::to_string(i) + ".jpg", photo));
  }
  return paths;
}

std::vector<std::string> PhotosIn(const std::string& folder) {
  std::vector<std::string> paths;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.is_regular_file()) paths.push_back(entry.path().string());
  return paths;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 || (argc == 2 && !fs::is_directory(argv[1]))) {
    std::fprintf(stderr, "usage: %s [FOLDER]\n", argv[0]);
    return 2;
  }
  const std::vector<std::string> photos = argc > 1 ? PhotosIn(argv[1]) : MakePhotos(2000);
  if (photos.empty()) {
    std::fprintf(stderr, "no photos\n");
    return 1;
  }
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  long reads = 0, dated = 0;
  double seconds = 0;
  // Whole passes over the photos until a second has gone by.
  do {
    for (const std::string& path : photos) {
      tessaly::TimgData data(tessaly::kBuildAll, tessaly::FullReader());
      if (data.ReadPicture(path) && data.HasExifSegment() && data.exif->ShotDateTime() != 0)
        ++dated;
      ++reads;
    }
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
  } while (seconds < 1.0);
  std::printf("read_dates: %zu photos, %ld reads (%ld with a date) in %.2f s: %.0f photos/s\n",
              photos.size(), reads, dated, seconds, reads / seconds);
  fs::remove_all(kMadeDir);
  return 0;
}
