#include "toolkit/jpeg_file.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "toolkit/library_readers.h"
#include "toolkit/orientation.h"
#include "toolkit/resolution.h"

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

namespace morvane {

namespace {

struct Errors {
  jpeg_error_mgr manager;  // first: the library hands back its address
  std::jmp_buf jump;
};

[[noreturn]] void stop(j_common_ptr info) {
  std::longjmp(reinterpret_cast<Errors*>(info->err)->jump, 1);
}

// Warnings that leave every pixel as the file holds it.
bool harmless(const jpeg_error_mgr& e) {
  switch (e.msg_code) {
    case JWRN_JFIF_MAJOR:
    case JWRN_BOGUS_ICC:
      return true;
    case JWRN_EXTRANEOUS_DATA:  // padding before the end marker, after every scan
      return e.msg_parm.i[1] == 0xd9;
    default:
      return false;
  }
}

void onMessage(j_common_ptr info, int level) {
  if (level < 0 && !harmless(*info->err)) stop(info);
}

void quiet(j_common_ptr) {}

void install(Errors& errors) {
  jpeg_std_error(&errors.manager);
  errors.manager.error_exit = stop;
  errors.manager.emit_message = onMessage;
  errors.manager.output_message = quiet;
}

struct Reading {
  jpeg_decompress_struct info{};
  Errors errors{};
  DecodedPicture picture;
  std::vector<JSAMPLE> row;
  int orientation = 1;
};

// The steps the library may jump out of: whatever they make lives in r.
bool readSteps(Reading& r, const std::uint8_t* bytes, std::size_t size) {
  if (setjmp(r.errors.jump)) return false;
  jpeg_create_decompress(&r.info);
  jpeg_mem_src(&r.info, bytes, static_cast<unsigned long>(size));
  jpeg_save_markers(&r.info, JPEG_APP0 + 1, 0xffff);
  if (jpeg_read_header(&r.info, TRUE) != JPEG_HEADER_OK) return false;
  for (jpeg_saved_marker_ptr m = r.info.marker_list; m != nullptr; m = m->next) {
    if (m->marker == JPEG_APP0 + 1 && m->data_length >= 6 &&
        std::memcmp(m->data, "Exif\0\0", 6) == 0) {
      r.orientation = exifOrientation(m->data, m->data_length);
      break;
    }
  }
  const bool gray = r.info.jpeg_color_space == JCS_GRAYSCALE;
  const bool cmyk = r.info.jpeg_color_space == JCS_CMYK || r.info.jpeg_color_space == JCS_YCCK;
  r.info.out_color_space = gray ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  const int width = static_cast<int>(r.info.image_width);
  const int height = static_cast<int>(r.info.image_height);
  if (!withinReadLimit(width, height, gray ? 1 : 4)) return false;
  QImage& image = r.picture.image;
  image = gray ? grayPicture(width, height) : colourPicture(width, height);
  r.picture.gray = gray;
  r.picture.bitsPerPixel = gray ? 8 : 24;
  if (r.info.saw_JFIF_marker && (r.info.density_unit == 1 || r.info.density_unit == 2)) {
    // Dots per inch or per centimetre, cut to whole dots per metre.
    const double perMetre = r.info.density_unit == 1 ? 100.0 / 2.54 : 100.0;
    setResolution(image, static_cast<long long>(perMetre * r.info.X_density),
                  static_cast<long long>(perMetre * r.info.Y_density));
  }
  if (cmyk) r.row.resize(static_cast<std::size_t>(width) * 4);

  jpeg_start_decompress(&r.info);
  while (r.info.output_scanline < r.info.output_height) {
    const int y = static_cast<int>(r.info.output_scanline);
    JSAMPROW row = cmyk ? r.row.data() : image.scanLine(y);
    if (jpeg_read_scanlines(&r.info, &row, 1) != 1) return false;
    if (cmyk) {
      auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < width; ++x) {
        const JSAMPLE* p = row + 4 * x;
        const int k = p[3];
        line[x] = qRgb(k * p[0] / 255, k * p[1] / 255, k * p[2] / 255);
      }
    }
  }
  jpeg_finish_decompress(&r.info);
  return true;
}

struct Writing {
  jpeg_compress_struct info{};
  Errors errors{};
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
};

bool writeSteps(Writing& w, const QImage& image, int quality) {
  if (setjmp(w.errors.jump)) return false;
  jpeg_create_compress(&w.info);
  jpeg_mem_dest(&w.info, &w.buffer, &w.size);
  const bool gray = image.format() == QImage::Format_Grayscale8;
  w.info.image_width = static_cast<JDIMENSION>(image.width());
  w.info.image_height = static_cast<JDIMENSION>(image.height());
  w.info.input_components = gray ? 1 : 3;
  w.info.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&w.info);
  jpeg_set_quality(&w.info, quality, TRUE);
  w.info.density_unit = 0;  // no unit: the densities give only the pixels' shape
  w.info.X_density = w.info.Y_density = 1;
  if (hasResolution(image)) {
    // Whole dots per inch when the resolution is one (as it reads back),
    // otherwise dots per centimetre.
    const auto inch = [](int dpm) { return static_cast<long long>(dpm * 0.0254 + 0.5); };
    const long long x = inch(image.dotsPerMeterX()), y = inch(image.dotsPerMeterY());
    const bool whole = static_cast<long long>(x * 100.0 / 2.54) == image.dotsPerMeterX() &&
                       static_cast<long long>(y * 100.0 / 2.54) == image.dotsPerMeterY();
    const long long dx = whole ? x : (image.dotsPerMeterX() + 50) / 100;
    const long long dy = whole ? y : (image.dotsPerMeterY() + 50) / 100;
    if (dx > 0 && dy > 0 && dx <= 65535 && dy <= 65535) {
      w.info.density_unit = whole ? 1 : 2;
      w.info.X_density = static_cast<UINT16>(dx);
      w.info.Y_density = static_cast<UINT16>(dy);
    }
  }
  jpeg_start_compress(&w.info, TRUE);
  while (w.info.next_scanline < w.info.image_height) {
    JSAMPROW row =
        const_cast<JSAMPLE*>(image.constScanLine(static_cast<int>(w.info.next_scanline)));
    jpeg_write_scanlines(&w.info, &row, 1);
  }
  jpeg_finish_compress(&w.info);
  return true;
}

}  // namespace

std::optional<DecodedPicture> decodeJpeg(const std::uint8_t* bytes, std::size_t size) {
  Reading r;
  install(r.errors);
  r.info.err = &r.errors.manager;
  struct Destroy {
    jpeg_decompress_struct& info;
    ~Destroy() { jpeg_destroy_decompress(&info); }
  } destroy{r.info};
  if (!readSteps(r, bytes, size)) return std::nullopt;
  if (r.orientation != 1) {
    r.picture.image = applyOrientation(r.picture.image, r.orientation);
  }
  return std::move(r.picture);
}

bool encodeJpeg(const QImage& image, int quality, QByteArray& out) {
  if (image.format() != QImage::Format_Grayscale8 && image.format() != QImage::Format_RGB888) {
    return false;
  }
  Writing w;
  install(w.errors);
  w.info.err = &w.errors.manager;
  const bool written = writeSteps(w, image, quality);
  jpeg_destroy_compress(&w.info);
  if (written)
    out = QByteArray(reinterpret_cast<const char*>(w.buffer), static_cast<qsizetype>(w.size));
  std::free(w.buffer);
  return written;
}

}  // namespace morvane
