// HEIF pictures decoded for the window's views, kept for the next render of
// the same picture: a HEIC takes ten times as long to decode as a JPEG of its
// size, and the preview is drawn again on every selection, Apply and resize.
// The last few whole-picture decodes are kept, each under its file's path,
// size, modification time and inode, so a changed file is decoded afresh.
// Exports never use it (they decode once and hold nothing).
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

namespace tessaly {

class HeifPicture;

// A file as it is now: its path and what tells one version from another.
struct HeifFileKey {
  QString path;
  int64_t size = 0, modified = 0, inode = 0;
  bool operator==(const HeifFileKey&) const = default;
};

// The key of the file at path, none when it cannot be looked at.
std::optional<HeifFileKey> HeifKeyOf(const QString& path);

// A whole-picture decode as the cache keeps it.
struct CachedHeif {
  std::shared_ptr<const HeifPicture> picture;  // decoded
  int width = 0, height = 0;                    // full size, upright
  std::optional<std::pair<int, int>> thumbnail;  // HeifPicture::ThumbnailSize
};

// Thread-safe: thumbnails and previews are rendered on worker threads.
class HeifPreviewCache {
 public:
  static std::optional<CachedHeif> Find(const HeifFileKey& key);
  static void Keep(const HeifFileKey& key, CachedHeif decoded);
  // Forgets the decodes of path (its panel has closed).
  static void Drop(const QString& path);
  static int Held();      // pictures kept now
  static int Decodes();   // whole-picture decodes made for views so far
  static void CountDecode();
};

}  // namespace tessaly
