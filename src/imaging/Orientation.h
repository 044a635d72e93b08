// Pictures stored turned or mirrored, as cameras and phones write them with
// an EXIF Orientation tag (EXIF 2.3 section 4.6.4, tag 0x0112), put upright.
// The values say where the stored rows and columns belong on the picture as
// it was held: 1 upright, 2 mirrored left to right, 3 turned 180 degrees,
// 4 mirrored top to bottom, 5 transposed (mirrored about the main diagonal),
// 6 to be turned 90 degrees clockwise, 7 transverse, 8 to be turned 90
// degrees anticlockwise.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace tessaly {

// How a picture is stored: always one of the eight values above, so code
// that acts on it never meets another. A file's tag goes through FromExif.
class Orientation {
 public:
  constexpr Orientation() = default;
  // The value of a file's tag; anything outside 1 to 8 is taken as 1.
  static constexpr Orientation FromExif(int64_t value) {
    return Orientation(value >= 1 && value <= 8 ? int(value) : 1);
  }
  constexpr int Exif() const { return value_; }
  constexpr bool IsUpright() const { return value_ == 1; }

  // Whether the upright picture has the stored picture's width as its height
  // (orientations 5 to 8).
  constexpr bool SwapsSides() const { return value_ >= 5; }
  // Whether the rows can be put upright one at a time as they are decoded
  // (1 and 2); the others need the whole picture.
  constexpr bool StreamsRows() const { return value_ <= 2; }

  friend constexpr bool operator==(Orientation, Orientation) = default;
  friend constexpr bool operator==(Orientation a, int exif) { return a.value_ == exif; }

 private:
  explicit constexpr Orientation(int value) : value_(value) {}
  int value_ = 1;
};

// Mirrors one row of width 8-bit RGB pixels from in to out (not in place).
void MirrorRow(const uint8_t* in, uint8_t* out, int width);

// The whole upright picture, 8-bit RGB, made from the stored rows. The stored
// rows are gathered in strips and written into place strip by strip, so that
// a turn by 90 degrees writes runs of neighbouring pixels rather than single
// ones scattered over the whole picture.
class UprightPicture {
 public:
  // Throws PictureError when a picture of that size cannot be held.
  UprightPicture(Orientation orientation, int storedWidth, int storedHeight);

  int Width() const { return width_; }
  int Height() const { return height_; }

  // Asks for every stored row, top to bottom (storedRow(y) gives row y,
  // storedWidth pixels, valid until the next call), and puts it in place.
  void Fill(const std::function<const uint8_t*(int y)>& storedRow);

  // Row y of the upright picture, Width() pixels.
  const uint8_t* Row(int y) const { return pixels_.get() + size_t(y) * stride_; }

 private:
  Orientation orientation_;
  int storedWidth_, storedHeight_;
  int width_, height_;
  size_t stride_;
  struct Free {
    void operator()(uint8_t* p) const;
  };
  std::unique_ptr<uint8_t, Free> pixels_;
  void PutStrip(const uint8_t* strip, int firstRow, int count);
};

}  // namespace tessaly
