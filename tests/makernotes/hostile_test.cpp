// Maker notes that lie: too short, too many entries, offsets that point
// anywhere. Each yields an outcome text or fewer tags, never a crash (the
// sanitizer build runs these too).
#include <gtest/gtest.h>

#include "MakerNoteReading.h"
#include "MakerNotes.h"

namespace tessaly {
namespace {

using namespace tessaly::testing;

std::string Le16(uint16_t v) { return U16(v, false); }
std::string Le32(uint32_t v) { return U32(v, false); }
std::string Entry(uint16_t tag, uint16_t format, uint32_t count, uint32_t value) {
  return Le16(tag) + Le16(format) + Le32(count) + Le32(value);
}

struct HostileNote {
  const char* fault;
  const char* make;
  std::string note;
  std::string errorText;
  std::string listing;
};

// The outcome of the dispatch on a note of an EXIF object whose data are 64
// zero bytes, the note standing at position 20 of them.
struct Outcome {
  bool recognised;
  std::string errorText;
  std::string listing;
  size_t records;
};

Outcome ReadNote(const HostileNote& c) {
  TimgData owner(kBuildAll, FullReader());
  owner.buffer = std::string(64, '\0');
  TImageInfo info(&owner, kBuildAll);
  info.buffer = owner.buffer;
  info.cameraMake = c.make;
  info.makerNoteBytes = c.note;
  info.makerNotePos = 20;
  const bool recognised = ReadMakerNoteHook(info);
  EXPECT_EQ(info.buffer, owner.buffer);
  EXPECT_FALSE(info.bigEndian);
  return {recognised, owner.errorText, info.makerNoteText, info.tags.size()};
}

std::vector<HostileNote> HostileNotes() {
  const std::string quality = Entry(0x0002, 3, 1, 3);  // Casio Quality = Fine
  return {
      {"note empty", "CASIO", "", "Error Detected = Read outside the data at position 1", ""},
      {"note of one byte", "CASIO", "\x01", "Error Detected = Read outside the data at position 1", ""},
      {"note shorter than its header", "OLYMPUS", std::string("OLYMP\0\x01\0", 8),
       "Error Detected = Read outside the data at position 9", ""},
      {"Fujifilm note without directory", "FUJIFILM", "FUJIFILM" + Le32(12),
       "Error Detected = Read outside the data at position 13", ""},
      {"Nikon note cut in its own header", "NIKON", std::string("Nikon\0\x02\x10\0\0MM", 12),
       "", ""},  // ExifVersion absent and not a NEF: the "Nikon" header layout, count at 9..10
      {"count runs past the end", "CASIO", Le16(2) + quality,
       "Error Detected = Read outside the data at position 15", "\r\nQuality = Fine"},
      {"count of 65535", "CASIO", Le16(0xFFFF) + quality + Le32(0),
       "Error Detected = Read outside the data at position 19", "\r\nQuality = Fine"},
      {"entry cut in its count", "CASIO", Le16(1) + Le16(0x0002) + Le16(3) + "\x01\x00",
       "Error Detected = Read outside the data at position 7", ""},
      {"entry cut in its offset", "CASIO", Le16(1) + Le16(0x0002) + Le16(3) + Le32(4) + "\x10",
       "Error Detected = Read outside the data at position 11", ""},
      {"offset far before the note", "CASIO", Le16(1) + Entry(0x0002, 3, 4, 0x80000000) + Le32(0),
       "", "\r\nQuality = "},
      {"offset far beyond everything", "CASIO", Le16(1) + Entry(0x0002, 3, 4, 0x7FFFFFFF) + Le32(0),
       "", "\r\nQuality = "},
      {"offset just beyond the note reads the EXIF data", "CANON",
       Le16(1) + Entry(0x0007, 2, 8, 40) + Le32(0), "", "\r\nFirmwareVersion = \"\""},
      {"count negative", "CASIO", Le16(1) + Entry(0x0002, 3, 0xFFFFFFFF, 3) + Le32(0), "",
       "\r\nQuality = "},
      {"count beyond every size", "CASIO", Le16(1) + Entry(0x0002, 5, 0x7FFFFFFF, 1) + Le32(0), "",
       "\r\nQuality = 0/0, 0/0, 0/0, 0/0, 0/0, 0/0"},  // 55 bytes from the TIFF header on
      {"format unknown", "CASIO", Le16(1) + Entry(0x0002, 13, 1, 3) + Le32(0), "", "\r\nQuality = 0"},
  };
}

TEST(HostileMakerNotes, EndInAnOutcomeOrFewerTags) {
  for (const HostileNote& c : HostileNotes()) {
    SCOPED_TRACE(c.fault);
    const Outcome outcome = ReadNote(c);
    EXPECT_TRUE(outcome.recognised);
    EXPECT_EQ(outcome.errorText, c.errorText);
    EXPECT_EQ(outcome.listing, c.listing);
  }
}

// The same notes inside whole photos: the main walk goes on after them.
TEST(HostileMakerNotes, LeaveTheRestOfThePhotoReadable) {
  for (const HostileNote& c : HostileNotes()) {
    for (bool bigEndian : {false, true}) {
      SCOPED_TRACE(std::string(c.fault) + (bigEndian ? " MM" : " II"));
      TiffBuilder tiff(bigEndian);
      tiff.AddAscii(0, 0x010F, c.make);
      const int exif = tiff.AddDirectory();
      tiff.Link(0, 0x8769, exif);
      tiff.AddUndefined(exif, 0x927C, c.note);
      tiff.AddLong(exif, 0xA002, {640});
      for (const char* extension : {".jpg", ".tif"}) {
        const std::string bytes = extension == std::string(".jpg") ? JpegFile({ExifSegment(tiff.Build())})
                                                                   : tiff.Build();
        const auto data = ReadBytes(bytes, extension);
        ASSERT_TRUE(data->exif);
        EXPECT_EQ(data->errorText, "<none>");
        EXPECT_EQ(data->exif->makerNoteRead, !c.note.empty());
        EXPECT_EQ(data->exif->bigEndian, bigEndian);
        EXPECT_EQ(data->exif->imageWidth, 640);
      }
    }
  }
}

// A CustomFunctions value stored as text instead of numbers: every comma
// starts a field, and a note can hold tens of thousands of them. Each field is
// examined once; the listing gains one line per function set.
TEST(HostileMakerNotes, CustomFunctionsTextOfThirtyThousandFields) {
  std::string fields;
  for (int i = 0; i < 30000; ++i) fields += i % 10000 == 5 ? "257," : "1,";
  MakerNotePhoto photo = CanonPhoto(false);
  photo.entries = {NoteUndefined(0x000F, fields)};
  const auto data = ReadJpeg(photo);
  EXPECT_EQ(data->errorText, "<none>");
  const std::string lines = "\r\nNoise Reduction =  On\r\nNoise Reduction =  On"
                            "\r\nNoise Reduction =  On";
  EXPECT_EQ(data->exif->makerNoteText, "\r\nCustomFunctions = \"" + fields + "\"" + lines);
}

// A note whose entries point at every offset of the EXIF data and beyond,
// in every layout: nothing is read outside a buffer.
TEST(HostileMakerNotes, OffsetsEverywhereInEveryLayout) {
  for (const MakerNoteSample& sample : MakerNoteSamples()) {
    SCOPED_TRACE(sample.name);
    std::string jpeg = sample.jpeg;
    // Overwrite every 4-byte window after the EXIF header with a spread of
    // offsets, one window at a time.
    for (size_t at = 30; at + 4 <= jpeg.size(); at += 5) {
      std::string bent = jpeg;
      const uint32_t offset = static_cast<uint32_t>(at * 2654435761u);
      bent.replace(at, 4, U32(offset, true));
      const auto data = ReadBytes(bent, ".jpg");
      EXPECT_FALSE(data->errorText.empty());
    }
  }
}

}  // namespace
}  // namespace tessaly
