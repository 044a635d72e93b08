// MakerNotes: reads the maker note (EXIF tag 0x927C) of eight camera makers.
//
// TmsInfo recognises the maker from the camera make, works out where the
// maker's private directory starts inside the note and from which origin its
// value offsets count, and hands the note to TImageInfo::ReadVendorDirectory
// with the maker's tag table. The tables and the formatters that rewrite some
// of their values (Nikon lens and colour mode, Canon settings and custom
// functions) live here too.
//
// Like the rest of the reader this works on byte strings as the file holds
// them; nothing here reads a byte of the note itself, so every bounds check of
// the walk is ReadVendorDirectory's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ExifReader.h"

namespace tessaly {

// The hook the directory walk calls on tag 0x927C (see FullReader): runs one
// TmsInfo over the walk's maker note; true when the maker was recognised.
bool ReadMakerNoteHook(TImageInfo& info);

// One maker-note read.
class TmsInfo {
 public:
  TmsInfo(bool tiffMode, TImageInfo* imageInfo);

  // Runs the vendor walk when the make is one of the eight known ones and
  // returns whether it was. Errors inside the note end up in the owner's
  // errorText ("Error Detected = ..."); the EXIF object's byte order and
  // buffer are as before when this returns, also after an exception.
  bool ReadMakerNote(TImageInfo& imageInfo);

  bool tiffMode;
  TImageInfo* imageInfo;  // not owned
  int64_t notePos;        // 1-based position of the note in the EXIF data
};

// ---------------------------------------------------------------------------
// Vendor tag tables (rows in tables/*.def)

const TagTable& NikonType1Table();  // 11 rows
const TagTable& NikonType3Table();  // 28 rows
const TagTable& OlympusTable();     // 33 rows
const TagTable& CasioTable();       // 26 rows
const TagTable& FujifilmTable();    // 18 rows
const TagTable& CanonTable();       // 16 rows
const TagTable& EpsonTable();       // 12 rows
const TagTable& SanyoTable();       //  6 rows
const TagTable& MinoltaTable();     //  2 rows

// One Canon custom function: its number (the high byte of a field), name and
// decode list.
struct CanonCustomFunction {
  int number;
  std::string_view name;
  std::string_view decodeList;
};
// Functions 1 to 15, in order.
const CanonCustomFunction* CanonCustomFunctions();
constexpr int kCanonCustomFunctionCount = 15;

// ---------------------------------------------------------------------------
// Formatters of the vendor tables: value text in, display text out. They never
// throw; a missing field gives an empty value.

// Nikon 0x008D: "MODE1".."MODE3" inside the quotes of an ASCII value.
std::string ColorModeText(const std::string& text);
// Nikon 0x0084: "18.0-55.0(mm)  F3.5-F5.6" from four rationals.
std::string LensText(const std::string& text);
// Canon 0x0001: the value text, then one line per known camera setting.
std::string CanonSettings1Text(const std::string& text);
// Canon 0x0004: the value text, then one line per known shot setting.
std::string CanonSettings2Text(const std::string& text);
// Canon 0x000F: the value text, then one line per custom function set.
std::string CanonCustomFunctionsText(const std::string& text);

// ---------------------------------------------------------------------------
// Text helpers of the formatters.

// The text before the first separator; the whole text without one.
std::string BeforeFirst(std::string_view text, std::string_view separator);
// The text after the first separator; empty without one (the whole text when
// the separator is empty).
std::string AfterFirst(std::string_view text, std::string_view separator);
// Field n, counted from 1 (n <= 1 gives the first); empty beyond the last.
std::string GetField(std::string_view text, std::string_view separator, int n);
// Occurrences of the separator, left to right without overlap (0 when empty).
int CountOf(std::string_view text, std::string_view separator);
// The meaning of the comma-separated field index + 1 of text in the list.
std::string DecodeField(std::string_view text, int index, std::string_view decodeList);
// "name = meaning" of a value in a decode list.
std::string CustomFunctionLine(std::string_view name, int value, std::string_view decodeList);

}  // namespace tessaly
