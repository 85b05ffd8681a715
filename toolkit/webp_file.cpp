#include "toolkit/webp_file.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <memory>

#include "toolkit/library_readers.h"
#include "toolkit/orientation.h"

namespace morvane {

std::optional<DecodedPicture> decodeWebp(const std::uint8_t* bytes, std::size_t size) {
  const WebPData data{bytes, size};
  // The demuxer takes only a whole file: one cut anywhere is refused here.
  const std::unique_ptr<WebPDemuxer, void (*)(WebPDemuxer*)> demux(WebPDemux(&data),
                                                                   WebPDemuxDelete);
  if (!demux) return std::nullopt;
  const auto width = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
  const auto height = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
  const auto flags = WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS);
  if (!withinReadLimit(width, height, 4)) return std::nullopt;

  DecodedPicture decoded;
  decoded.pageCount =
      static_cast<int>(std::max(1u, WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT)));
  QImage colour = colourPicture(static_cast<int>(width), static_cast<int>(height));
  if (flags & ANIMATION_FLAG) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return std::nullopt;
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> animation(
        WebPAnimDecoderNew(&data, &options), WebPAnimDecoderDelete);
    std::uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!animation || !WebPAnimDecoderGetNext(animation.get(), &canvas, &timestamp)) {
      return std::nullopt;
    }
    for (int y = 0; y < colour.height(); ++y) {
      std::memcpy(colour.scanLine(y), canvas + std::size_t{4} * width * y, std::size_t{4} * width);
    }
  } else {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return std::nullopt;
    config.output.colorspace = MODE_BGRA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = colour.bits();
    config.output.u.RGBA.stride = static_cast<int>(colour.bytesPerLine());
    config.output.u.RGBA.size = static_cast<std::size_t>(colour.sizeInBytes());
    const VP8StatusCode status = WebPDecode(bytes, size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) return std::nullopt;
  }
  for (int y = 0; y < colour.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(colour.scanLine(y));
    for (int x = 0; x < colour.width(); ++x) line[x] |= 0xff000000u;
  }

  int orientation = 1;
  WebPChunkIterator exif;
  if ((flags & EXIF_FLAG) && WebPDemuxGetChunk(demux.get(), "EXIF", 1, &exif)) {
    orientation = exifOrientation(exif.chunk.bytes, exif.chunk.size);
    WebPDemuxReleaseChunkIterator(&exif);
  }
  // A lossy still picture's gray pixels may come out with channels one apart.
  WebPBitstreamFeatures features;
  const bool lossy = !(flags & ANIMATION_FLAG) &&
                     WebPGetFeatures(bytes, size, &features) == VP8_STATUS_OK &&
                     features.format == 1;
  decoded.gray = allGray(colour, lossy ? 1 : 0);
  decoded.bitsPerPixel = decoded.gray ? 8 : 24;
  decoded.image = applyOrientation(decoded.gray ? grayFromColour(colour) : colour, orientation);
  return decoded;
}

}  // namespace morvane
