// Opening JPEG, PNG and WebP pictures through the picture object's readers
// (the formats' own libraries), set against Qt's readers on the same files.
// One 4000 x 3000 picture a format: a colour photograph-like JPEG, a gray and a
// colour PNG, a lossless WebP.
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <map>
#include <string>

#include "toolkit/image_io.h"

namespace morvane {
namespace {

constexpr int kWidth = 4000, kHeight = 3000;

const QTemporaryDir& folder() {
  static const QTemporaryDir dir;
  return dir;
}

// The file of a kind ("jpeg", "gray-png", "png", "webp"), written once.
QString file(const std::string& kind) {
  static std::map<std::string, QString> made;
  if (auto it = made.find(kind); it != made.end()) return it->second;
  const bool gray = kind == "gray-png";
  QImage image(kWidth, kHeight, gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
  for (int y = 0; y < kHeight; ++y) {
    uchar* line = image.scanLine(y);
    for (int x = 0; x < image.bytesPerLine(); ++x)
      line[x] = uchar((x / 7 + y / 5 + (x * y) % 13) & 0xff);
  }
  const QString path = folder().filePath(QString::fromStdString(kind));
  QImageWriter writer(path, kind == "jpeg" ? "jpeg" : kind == "webp" ? "webp" : "png");
  writer.setQuality(kind == "webp" ? 100 : 90);
  writer.write(image);
  return made[kind] = path;
}

void Ours(benchmark::State& state, const std::string& kind) {
  const QString path = file(kind);
  for (auto _ : state) benchmark::DoNotOptimize(readPicture(path));
}

void Qt(benchmark::State& state, const std::string& kind) {
  const QString path = file(kind);
  QImageReader::setAllocationLimit(2048);
  for (auto _ : state) {
    QImageReader reader(path);
    benchmark::DoNotOptimize(reader.read());
  }
}

}  // namespace
}  // namespace morvane

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  for (const char* kind : {"jpeg", "gray-png", "png", "webp"}) {
    benchmark::RegisterBenchmark((std::string("Ours/") + kind).c_str(), morvane::Ours, kind)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("Qt/") + kind).c_str(), morvane::Qt, kind)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
