// The HEIF module's entry: HeifFile behind the HeifModuleFile calls, its
// exceptions turned into HeifFailure.
#include "HeifModule.h"

#include <exception>
#include <memory>

#include "HeifFile.h"

namespace tessaly {

namespace {

void Keep(const std::exception& error, HeifFailure& failure) {
  failure.text = error.what();
  failure.opening = dynamic_cast<const HeifOpenError*>(&error) != nullptr;
}

class ModuleFile : public HeifModuleFile {
 public:
  explicit ModuleFile(const char* path) : file_(path) {}
  int Width() const override { return file_.Width(); }
  int Height() const override { return file_.Height(); }
  bool CheckClaimedSizes(HeifFailure& failure) const override {
    try {
      file_.CheckClaimedSizes();
      return true;
    } catch (const std::exception& error) {
      Keep(error, failure);
      return false;
    }
  }
  bool ThumbnailSize(int& width, int& height) const override {
    const auto size = file_.ThumbnailSize();
    if (!size) return false;
    width = size->first;
    height = size->second;
    return true;
  }
  bool Decode(bool thumbnail, HeifFailure& failure) override {
    try {
      file_.Decode(thumbnail);
      return true;
    } catch (const std::exception& error) {
      Keep(error, failure);
      return false;
    }
  }
  int DecodedWidth() const override { return file_.DecodedWidth(); }
  int DecodedHeight() const override { return file_.DecodedHeight(); }
  const uint8_t* Row(int y) const override { return file_.Row(y); }
  bool Exif(std::string& bytes) const override {
    try {
      std::optional<std::string> exif = file_.Exif();
      if (!exif) return false;
      bytes = std::move(*exif);
      return true;
    } catch (const std::exception&) {
      return false;
    }
  }
  bool Xmp(std::string& bytes) const override {
    try {
      std::optional<std::string> xmp = file_.Xmp();
      if (!xmp) return false;
      bytes = std::move(*xmp);
      return true;
    } catch (const std::exception&) {
      return false;
    }
  }
  HeifFile::Colour ColourOf() const override {
    try {
      return file_.ColourOf();
    } catch (const std::exception&) {
      return {};
    }
  }

 private:
  HeifFile file_;
};

}  // namespace

}  // namespace tessaly

extern "C" __attribute__((visibility("default"))) tessaly::HeifModuleFile* tessaly_heif_open_v2(
    const char* path, tessaly::HeifFailure* failure) {
  try {
    return new tessaly::ModuleFile(path);
  } catch (const std::exception& error) {
    tessaly::Keep(error, *failure);
    return nullptr;
  }
}
