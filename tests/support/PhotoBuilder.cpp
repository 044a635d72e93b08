#include "PhotoBuilder.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <unistd.h>

namespace tessaly::testing {

std::string U16(uint16_t v, bool be) {
  std::string s(2, '\0');
  s[be ? 0 : 1] = static_cast<char>(v >> 8);
  s[be ? 1 : 0] = static_cast<char>(v & 0xFF);
  return s;
}

std::string U32(uint32_t v, bool be) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) {
    const char byte = static_cast<char>((v >> (8 * i)) & 0xFF);
    s[be ? 3 - i : i] = byte;
  }
  return s;
}

TiffBuilder::TiffBuilder(bool bigEndian) : dirs_(1), bigEndian_(bigEndian) {}

void TiffBuilder::SetNext(int dir, int next) {
  next_.resize(dirs_.size(), -1);
  next_.at(dir) = next;
}

int TiffBuilder::AddDirectory() {
  dirs_.emplace_back();
  return static_cast<int>(dirs_.size()) - 1;
}

void TiffBuilder::Add(int dir, uint16_t tag, uint16_t format, uint32_t count, std::string value) {
  dirs_.at(dir).push_back(Entry{tag, format, count, std::move(value)});
}

void TiffBuilder::AddAscii(int dir, uint16_t tag, const std::string& text) {
  Add(dir, tag, 2, static_cast<uint32_t>(text.size() + 1), text + std::string(1, '\0'));
}

void TiffBuilder::AddShort(int dir, uint16_t tag, std::vector<uint16_t> values) {
  std::string bytes;
  for (uint16_t v : values) bytes += U16(v, bigEndian_);
  Add(dir, tag, 3, static_cast<uint32_t>(values.size()), bytes);
}

void TiffBuilder::AddLong(int dir, uint16_t tag, std::vector<uint32_t> values) {
  std::string bytes;
  for (uint32_t v : values) bytes += U32(v, bigEndian_);
  Add(dir, tag, 4, static_cast<uint32_t>(values.size()), bytes);
}

void TiffBuilder::AddRational(int dir, uint16_t tag,
                              std::vector<std::pair<uint32_t, uint32_t>> values) {
  std::string bytes;
  for (auto [n, d] : values) bytes += U32(n, bigEndian_) + U32(d, bigEndian_);
  Add(dir, tag, 5, static_cast<uint32_t>(values.size()), bytes);
}

void TiffBuilder::AddSRational(int dir, uint16_t tag,
                               std::vector<std::pair<int32_t, int32_t>> values) {
  std::string bytes;
  for (auto [n, d] : values)
    bytes += U32(static_cast<uint32_t>(n), bigEndian_) + U32(static_cast<uint32_t>(d), bigEndian_);
  Add(dir, tag, 10, static_cast<uint32_t>(values.size()), bytes);
}

void TiffBuilder::AddUndefined(int dir, uint16_t tag, const std::string& bytes) {
  Add(dir, tag, 7, static_cast<uint32_t>(bytes.size()), bytes);
}

void TiffBuilder::Link(int dir, uint16_t tag, int child) {
  Entry e{tag, 4, 1, std::string(4, '\0')};
  e.link = child;
  dirs_.at(dir).push_back(e);
}

void TiffBuilder::AddRawOffset(int dir, uint16_t tag, uint32_t offset) {
  Add(dir, tag, 4, 1, U32(offset, bigEndian_));
}

const TiffBuilder::Entry& TiffBuilder::Find(int dir, uint16_t tag) const {
  for (const Entry& e : dirs_.at(dir))
    if (e.tag == tag) return e;
  throw std::out_of_range("no such entry");
}

void TiffBuilder::Replace(int dir, uint16_t tag, std::string value) {
  for (Entry& e : dirs_.at(dir))
    if (e.tag == tag) {
      if (value.size() != e.value.size()) throw std::length_error("size differs");
      e.value = std::move(value);
      return;
    }
  throw std::out_of_range("no such entry");
}

static uint32_t Padded(size_t n) { return static_cast<uint32_t>((n + 1) & ~size_t{1}); }

std::vector<uint32_t> TiffBuilder::Layout() const {
  std::vector<uint32_t> offsets;
  uint32_t at = 8;
  for (const auto& dir : dirs_) {
    offsets.push_back(at);
    at += 2 + 12 * static_cast<uint32_t>(dir.size()) + 4;
    for (const Entry& e : dir)
      if (e.value.size() > 4) at += Padded(e.value.size());
  }
  return offsets;
}

uint32_t TiffBuilder::DirectoryOffset(int dir) const { return Layout().at(dir); }

uint32_t TiffBuilder::ValueOffset(int dir, uint16_t tag) const {
  const auto offsets = Layout();
  uint32_t at = offsets.at(dir);
  uint32_t data = at + 2 + 12 * static_cast<uint32_t>(dirs_[dir].size()) + 4;
  for (size_t i = 0; i < dirs_[dir].size(); ++i) {
    const Entry& e = dirs_[dir][i];
    if (e.tag == tag) return e.value.size() > 4 ? data : at + 2 + 12 * static_cast<uint32_t>(i) + 8;
    if (e.value.size() > 4) data += Padded(e.value.size());
  }
  throw std::out_of_range("no such entry");
}

std::string TiffBuilder::Build() const {
  const bool be = bigEndian_;
  std::string out = be ? std::string("MM\0*", 4) : std::string("II*\0", 4);
  out += U32(8, be);
  const auto offsets = Layout();
  for (size_t d = 0; d < dirs_.size(); ++d) {
    const auto& dir = dirs_[d];
    std::string data;
    uint32_t dataAt = offsets[d] + 2 + 12 * static_cast<uint32_t>(dir.size()) + 4;
    out += U16(static_cast<uint16_t>(dir.size()), be);
    for (const Entry& e : dir) {
      out += U16(e.tag, be) + U16(e.format, be) + U32(e.count, be);
      if (e.link >= 0) {
        out += U32(offsets.at(e.link), be);
      } else if (e.value.size() <= 4) {
        out += e.value + std::string(4 - e.value.size(), '\0');
      } else {
        out += U32(dataAt + static_cast<uint32_t>(data.size()), be);
        data += e.value;
        if (e.value.size() % 2) data += '\0';
      }
    }
    const int next = d < next_.size() ? next_[d] : -1;
    out += U32(next >= 0 ? offsets.at(next) : 0, be);
    out += data;
  }
  return out;
}

std::string Segment(uint8_t marker, const std::string& payload) {
  const size_t len = payload.size() + 2;
  std::string s;
  s += '\xFF';
  s += static_cast<char>(marker);
  s += static_cast<char>((len >> 8) & 0xFF);
  s += static_cast<char>(len & 0xFF);
  return s + payload;
}

std::string ExifSegment(const std::string& tiff) {
  return Segment(0xE1, std::string("Exif\0\0", 6) + tiff);
}

std::string JpegFile(const std::vector<std::string>& segments) {
  std::string s("\xFF\xD8", 2);
  for (const auto& seg : segments) s += seg;
  s += Segment(0xDA, std::string("\x01\x01\x00\x00\x3F\x00", 6));
  s += std::string("\x12\x34\x56", 3);
  s += std::string("\xFF\xD9", 2);
  return s;
}

std::string WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
  return path;
}

std::string TempDir(const std::string& name) {
  namespace fs = std::filesystem;
  fs::path p = fs::temp_directory_path() /
               ("tessaly-tests-" + std::to_string(::getpid())) / name;
  fs::remove_all(p);
  fs::create_directories(p);
  return p.string();
}

}  // namespace tessaly::testing
