// The picture object: a picture kept in the pixel format of the file it was
// read from (a BMP, or any format of toolkit/image_io), with a pixel canvas
// (24-bit colours whose low byte is red) and row-wise level transfers for
// whole-plane work.
#pragma once

#include <QImage>
#include <QString>
#include <cstdint>

namespace morvane {

class Picture {
 public:
  // Colour reported for a point outside the picture.
  static constexpr std::uint32_t kOutsideColour = 0x000000;

  Picture() = default;
  // Copies hold pixels of their own: writing one never copies the other's
  // pixels behind the writer's back.
  Picture(const Picture& other);
  Picture& operator=(const Picture& other);
  Picture(Picture&&) noexcept = default;
  Picture& operator=(Picture&&) noexcept = default;

  // Gray colour of a level: the level in red, green and blue.
  static constexpr std::uint32_t grayColour(std::uint8_t level) { return level * 65793u; }

  // Reads a picture file: a BMP (told by its content, whatever its name) or,
  // through toolkit/image_io, the first page of any other format. Throws
  // ToolkitError naming the file when it cannot be read, std::bad_alloc when
  // the picture does not fit in memory. On failure the picture keeps what it
  // held.
  void load(const QString& fileName);
  // Writes the picture in the format of the name's extension (see
  // writtenFormat); a BMP, of the pixel format it was read in (see
  // bitsPerPixel), for ".bmp" or no extension. Goes through a temporary file
  // renamed over the target. Throws ToolkitError naming the file on failure,
  // and naming the accepted extensions when no written format owns the name's.
  void save(const QString& fileName) const;

  bool isEmpty() const { return image_.isNull(); }
  int width() const { return image_.width(); }
  int height() const { return image_.height(); }
  // Bits per pixel of the file the picture was read from (1, 4, 8, 16, 24, 32).
  int bitsPerPixel() const { return bitsPerPixel_; }
  // Pages (or frames) of the file read; only the first one was read.
  int pageCount() const { return pageCount_; }

  // Colour of pixel (x, y) as 0x00BBGGRR; kOutsideColour outside the picture.
  std::uint32_t pixel(int x, int y) const;
  // Sets pixel (x, y) to a 0x00BBGGRR colour; a palette picture takes the
  // nearest palette entry. Points outside the picture are ignored.
  void setPixel(int x, int y, std::uint32_t colour);

  // Red channel of row y into out[0 .. width-1].
  void readLevels(int y, std::uint8_t* out) const;
  // Sets pixels x0 .. x1-1 of row y to the gray colours of levels[x0 .. x1-1].
  void writeLevels(int y, const std::uint8_t* levels, int x0, int x1);
  // Copies row y of another picture of the same size, colour for colour.
  void copyRowFrom(const Picture& other, int y);

  const QImage& image() const { return image_; }
  // Replaces the content (tests and copies between views). The image is brought
  // to the format of the bit count (Format_Indexed8 for 1, 4 and 8, RGB555 for
  // 16, RGB32 for 24 and 32); a bit count that does not fit the image is
  // corrected (a palette image whose entries or indices exceed 1 or 4 bits is
  // kept as 8 bits; a colour image stays at 24 or 32). The picture then counts
  // as a palette or colour picture of one page.
  void setImage(const QImage& image, int bitsPerPixel);

 private:
  void rebuildGrayLookup();
  // Brings the picture to the format of its bit count and refreshes palette_.
  void normalise();
  // Index of the palette entry nearest to a 0x00BBGGRR colour.
  std::uint8_t nearestIndex(std::uint32_t colour) const;

  QImage image_;
  int bitsPerPixel_ = 24;
  // A palette picture whose file held gray levels: written as gray where the
  // format has gray.
  bool gray_ = false;
  int pageCount_ = 1;
  // For palette pictures: palette index of the nearest entry to each gray level.
  std::uint8_t grayIndex_[256] = {};
  // For palette pictures: the colour table as 0x00BBGGRR, padded with black to
  // 256 entries so that any index reads safely; paletteSize_ entries are real.
  std::uint32_t palette_[256] = {};
  int paletteSize_ = 0;
  // For palette pictures: entry i is gray level i for every i, so levels and
  // indices are the same bytes.
  bool grayIdentity_ = false;
};

}  // namespace morvane
