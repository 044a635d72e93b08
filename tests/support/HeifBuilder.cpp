#include "HeifBuilder.h"

#include "PhotoBuilder.h"

namespace tessaly::testing {

namespace {

std::string Be16(uint32_t v) { return U16(uint16_t(v), true); }
std::string Be32(uint32_t v) { return U32(v, true); }

std::string Box(const std::string& type, const std::string& body) { return Be32(uint32_t(8 + body.size())) + type + body; }

std::string FullBox(const std::string& type, int version, const std::string& body) {
  return Box(type, std::string(1, char(version)) + std::string(3, '\0') + body);
}

}  // namespace

std::string HeifWithItems(const std::vector<HeifItem>& items, uint32_t primary) {
  const std::string ftyp = Box("ftyp", "heic" + Be32(0) + "mif1" + "heic");
  const std::string hdlr = FullBox("hdlr", 0, Be32(0) + "pict" + std::string(12, '\0') + std::string(1, '\0'));
  std::string infos, locations, references, extents, associations, idat;
  int located = 0, described = 0;
  for (const HeifItem& item : items) {
    infos += FullBox("infe", 2, Be16(item.id) + Be16(0) + item.type + std::string(1, '\0'));
    if (!item.data.empty()) {
      // Version 1: construction method 1, an offset into 'idat'.
      locations += Be16(item.id) + Be16(1) + Be16(0) + Be16(1) + Be32(uint32_t(idat.size())) + Be32(uint32_t(item.data.size()));
      idat += item.data;
      ++located;
    }
    if (!item.derivedFrom.empty()) {
      std::string to;
      for (const uint32_t source : item.derivedFrom) to += Be16(source);
      references += Box("dimg", Be16(item.id) + Be16(uint32_t(item.derivedFrom.size())) + to);
    }
    if (item.width || item.height) {
      extents += FullBox("ispe", 0, Be32(item.width) + Be32(item.height));
      associations += Be16(item.id) + std::string(1, '\1') + std::string(1, char(++described));
    }
  }
  const int associated = described;
  std::string meta = hdlr + FullBox("pitm", 0, Be16(primary)) +
                     FullBox("iinf", 0, Be16(uint32_t(items.size())) + infos) +
                     FullBox("iloc", 1, std::string("\x44\x00", 2) + Be16(uint32_t(located)) + locations);
  if (!references.empty()) meta += FullBox("iref", 0, references);
  meta += Box("iprp", Box("ipco", extents) + FullBox("ipma", 0, Be32(uint32_t(associated)) + associations));
  if (!idat.empty()) meta += Box("idat", idat);
  return ftyp + FullBox("meta", 0, meta);
}

std::string GridData(int rows, int columns, uint32_t width, uint32_t height, bool wide) {
  const auto size = [wide](uint32_t v) { return wide ? Be32(v) : Be16(v); };
  return std::string{'\0', char(wide ? 1 : 0), char(rows - 1), char(columns - 1)} + size(width) + size(height);
}

std::string OverlayData(uint32_t width, uint32_t height, bool wide, int inputs) {
  const auto size = [wide](uint32_t v) { return wide ? Be32(v) : Be16(v); };
  std::string data = std::string{'\0', char(wide ? 1 : 0)} + std::string(8, '\0') + size(width) + size(height);
  for (int i = 0; i < inputs; ++i) data += size(0) + size(0);
  return data;
}

}  // namespace tessaly::testing
