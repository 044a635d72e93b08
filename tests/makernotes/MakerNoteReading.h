// Reads test photos through the whole reader and collects what the maker-note
// walk left: its listing and its records.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ExifReader.h"
#include "FullReader.h"
#include "MakerNoteSeeds.h"

namespace tessaly::testing {

// Reads bytes as a file with the given extension (".jpg", ".tif") is read.
inline std::unique_ptr<TimgData> ReadBytes(const std::string& bytes, const std::string& extension) {
  auto data = std::make_unique<TimgData>(kBuildAll, FullReader());
  data->ReadPictureBytes(bytes, "photo" + extension);
  return data;
}

inline std::unique_ptr<TimgData> ReadJpeg(const MakerNotePhoto& photo) {
  return ReadBytes(photo.Jpeg(), ".jpg");
}

// "tagName=valueText" of every record the maker-note walk stored, in order.
inline std::vector<std::string> MakerNoteRecords(const TImageInfo& info) {
  std::vector<std::string> records;
  for (const TTagEntry& tag : info.tags)
    if (tag.sourceKind == 1) records.push_back(tag.tagName + "=" + tag.valueText);
  return records;
}

}  // namespace tessaly::testing
