// The metadata segments of a photo sorted out for its copy and written again:
// a profile split over segments joined and split the same way, chunks that
// do not make a whole profile refused, Photoshop thumbnails taken out.
#include <gtest/gtest.h>

#include "JpegMetadata.h"
#include "PhotoBuilder.h"

namespace tessaly {
namespace {

using namespace testing;

JpegMarker IccChunk(int number, int count, const std::string& bytes) {
  return {0xE2, std::string("ICC_PROFILE\0", 12) + char(number) + char(count) + bytes};
}

std::string Resource(uint16_t id, const std::string& data) {
  std::string r = "8BIM" + U16(id, true) + std::string(2, '\0') + U32(uint32_t(data.size()), true) + data;
  if (data.size() % 2) r += '\0';
  return r;
}

TEST(JpegMetadata, ProfileSplitOverSegmentsIsJoinedInOrderAndSplitTheSameWay) {
  const std::string profile = std::string(3000, 'a') + std::string(2000, 'b') + std::string(100, 'c');
  const std::vector<JpegMarker> segments = {
      {0xE0, "JFIF"}, IccChunk(2, 3, profile.substr(3000, 2000)), ExifMarker("II*\0tiff"),
      IccChunk(1, 3, profile.substr(0, 3000)), XmpMarker("<x:xmpmeta/>"), IccChunk(3, 3, profile.substr(5000)),
      {0xED, std::string("Photoshop 3.0\0", 14) + "8BIM"}};
  const JpegMetadata meta = CollectJpegMetadata(segments);
  EXPECT_EQ(meta.problem, "");
  EXPECT_EQ(meta.icc, profile);
  EXPECT_EQ(meta.iccChunks, (std::vector<size_t>{3000, 2000, 100}));
  EXPECT_EQ(meta.exif, "II*\0tiff");
  EXPECT_EQ(meta.xmp, "<x:xmpmeta/>");
  EXPECT_EQ(meta.photoshop, "8BIM");

  const std::vector<JpegMarker> again = IccMarkers(meta.icc, meta.iccChunks);
  ASSERT_EQ(again.size(), 3u);
  EXPECT_EQ(again[0].payload, IccChunk(1, 3, profile.substr(0, 3000)).payload);
  EXPECT_EQ(again[2].payload, IccChunk(3, 3, profile.substr(5000)).payload);
  // A profile of its own (no chunks given) fills segments to the brim.
  const std::vector<JpegMarker> own = IccMarkers(std::string(140000, 'p'));
  ASSERT_EQ(own.size(), 3u);
  EXPECT_EQ(own[0].payload.size(), kMaxSegmentPayload);
  EXPECT_EQ(own[2].payload.substr(12, 2), std::string("\3\3", 2));
}

TEST(JpegMetadata, ChunksThatMakeNoWholeProfileAreRefused) {
  const struct {
    const char* name;
    std::vector<JpegMarker> segments;
  } cases[] = {
      {"one missing", {IccChunk(1, 3, "a"), IccChunk(3, 3, "c")}},
      {"one twice", {IccChunk(1, 2, "a"), IccChunk(1, 2, "a")}},
      {"counts disagree", {IccChunk(1, 2, "a"), IccChunk(2, 3, "b")}},
      {"numbered from 0", {IccChunk(0, 1, "a")}},
  };
  for (const auto& c : cases) {
    const JpegMetadata meta = CollectJpegMetadata(c.segments);
    EXPECT_EQ(meta.icc, "") << c.name;
    EXPECT_EQ(meta.problem, "the ICC profile's segments are incomplete") << c.name;
  }
}

TEST(JpegMetadata, PhotoshopThumbnailsAreTakenOutAndDamageRefused) {
  const std::string iptc = Resource(0x0404, std::string("\x1C\x02\x78\x00\x03Sea", 8));
  const std::string resources = Resource(0x0409, "old thumb") + iptc + Resource(0x040C, "thumbnail") + Resource(0x0425, "0123456789abcdef");
  std::string kept;
  ASSERT_TRUE(DropPhotoshopThumbnails(resources, kept));
  EXPECT_EQ(kept, iptc + Resource(0x0425, "0123456789abcdef"));
  for (const std::string& damaged : {std::string("8BIM\4\4"), "8BIM" + U16(0x404, true) + std::string(2, '\0') + U32(99, true) + "ab",
                                     std::string("XXXX") + iptc}) {
    EXPECT_FALSE(DropPhotoshopThumbnails(damaged, kept));
    EXPECT_EQ(kept, "");
  }
  // Over one segment's worth, the resources are split over segments.
  const std::vector<JpegMarker> segments = PhotoshopMarkers(std::string(70000, 'r'));
  ASSERT_EQ(segments.size(), 2u);
  EXPECT_EQ(segments[0].payload.substr(0, 14), std::string("Photoshop 3.0\0", 14));
}

}  // namespace
}  // namespace tessaly
