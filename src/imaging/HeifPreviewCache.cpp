#include "HeifPreviewCache.h"

#include <atomic>
#include <list>
#include <mutex>
#include <sys/stat.h>

#include "HeifLoader.h"
#include "PathBytes.h"

namespace tessaly {

namespace {

// A few pictures: the one shown, the one before it, and the next ones a
// person clicks through; a 12-megapixel phone photo takes 36 MB.
constexpr size_t kMaxPictures = 4;
constexpr int64_t kMaxBytes = int64_t(512) << 20;

struct Entry {
  HeifFileKey key;
  CachedHeif decoded;
  int64_t Bytes() const { return int64_t(decoded.picture->DecodedWidth()) * decoded.picture->DecodedHeight() * 3; }
};

std::mutex mutex;
std::list<Entry> entries;  // most recently used first
std::atomic<int> decodes{0};

}  // namespace

std::optional<HeifFileKey> HeifKeyOf(const QString& path) {
  struct stat facts {};
  if (::stat(PathBytes(path).constData(), &facts) != 0 || !S_ISREG(facts.st_mode)) return std::nullopt;
  return HeifFileKey{path, int64_t(facts.st_size),
                     int64_t(facts.st_mtim.tv_sec) * 1000000000 + facts.st_mtim.tv_nsec, int64_t(facts.st_ino)};
}

std::optional<CachedHeif> HeifPreviewCache::Find(const HeifFileKey& key) {
  const std::lock_guard lock(mutex);
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (!(it->key == key)) continue;
    entries.splice(entries.begin(), entries, it);
    return entries.front().decoded;
  }
  return std::nullopt;
}

void HeifPreviewCache::Keep(const HeifFileKey& key, CachedHeif decoded) {
  Entry entry{key, std::move(decoded)};
  if (entry.Bytes() > kMaxBytes) return;
  const std::lock_guard lock(mutex);
  // An older version of the file goes.
  entries.remove_if([&](const Entry& e) { return e.key.path == key.path; });
  entries.push_front(std::move(entry));
  int64_t bytes = 0;
  size_t count = 0;
  for (auto it = entries.begin(); it != entries.end();) {
    bytes += it->Bytes();
    if (++count > kMaxPictures || bytes > kMaxBytes) {
      bytes -= it->Bytes();
      it = entries.erase(it);
    } else {
      ++it;
    }
  }
}

void HeifPreviewCache::Drop(const QString& path) {
  const std::lock_guard lock(mutex);
  entries.remove_if([&](const Entry& e) { return e.key.path == path; });
}

int HeifPreviewCache::Held() {
  const std::lock_guard lock(mutex);
  return int(entries.size());
}

int HeifPreviewCache::Decodes() { return decodes.load(); }
void HeifPreviewCache::CountDecode() { ++decodes; }

}  // namespace tessaly
