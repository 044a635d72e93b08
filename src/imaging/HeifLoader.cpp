#include "HeifLoader.h"

#include <cerrno>
#include <climits>
#include <dlfcn.h>
#include <mutex>
#include <unistd.h>

namespace tessaly {

namespace {

[[noreturn]] void Throw(const HeifFailure& failure) {
  if (failure.opening) throw HeifOpenError(failure.text);
  throw HeifError(failure.text);
}

// The module's entry, or why it could not be loaded; loaded once, kept for
// the life of the process.
struct Module {
  HeifModuleOpen open = nullptr;
  std::string problem;
};

const Module& LoadedModule() {
  static const Module module = [] {
    Module m;
    const std::string path = HeifModulePath();
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* why = ::dlerror();
      m.problem = "HEIF support cannot be loaded: " + std::string(why ? why : path);
      return m;
    }
    m.open = reinterpret_cast<HeifModuleOpen>(::dlsym(handle, kHeifModuleEntry));
    if (!m.open) m.problem = "HEIF support cannot be loaded: " + path + " has no " + kHeifModuleEntry;
    return m;
  }();
  return module;
}

}  // namespace

std::string HeifModulePath() {
  char self[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  std::string folder = length > 0 ? std::string(self, size_t(length)) : std::string();
  folder = folder.substr(0, folder.find_last_of('/') + 1);
  return folder + TESSALY_HEIF_MODULE;
}

HeifPicture::HeifPicture(const std::string& path) {
  const Module& module = LoadedModule();
  if (!module.open) throw HeifError(module.problem);
  HeifFailure failure;
  file_.reset(module.open(path.c_str(), &failure));
  if (!file_) Throw(failure);
}

HeifPicture::~HeifPicture() = default;

void HeifPicture::CheckClaimedSizes() const {
  HeifFailure failure;
  if (!file_->CheckClaimedSizes(failure)) Throw(failure);
}

std::optional<std::pair<int, int>> HeifPicture::ThumbnailSize() const {
  int width = 0, height = 0;
  if (!file_->ThumbnailSize(width, height)) return std::nullopt;
  return std::pair<int, int>(width, height);
}

void HeifPicture::Decode(bool thumbnail) {
  HeifFailure failure;
  if (!file_->Decode(thumbnail, failure)) Throw(failure);
}

std::optional<std::string> HeifPicture::Exif() const {
  std::string bytes;
  if (!file_->Exif(bytes)) return std::nullopt;
  return bytes;
}

std::optional<std::string> HeifPicture::Xmp() const {
  std::string bytes;
  if (!file_->Xmp(bytes)) return std::nullopt;
  return bytes;
}

std::optional<std::string> ReadHeifExif(const std::string& path) {
  try {
    return HeifPicture(path).Exif();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace tessaly
