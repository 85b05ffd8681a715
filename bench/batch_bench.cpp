// morvane-lote over a generated archive: the same files with -j 1 and with one
// job per processor, in files per second, and the ratio of the two.
//
//   build/bench/batch_bench [files (64)] [megapixels (12)] [extra options...]
//
// The files are 8-bit gray pictures with about 8 % impulse noise, written once
// into a temporary folder; the recipe is the default one (3 x 3 zeros, mean
// filter, black points then white points) unless options are added.
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "batch/lote.h"

namespace {

QImage NoisyPicture(int width, int height, unsigned seed) {
  QImage image(width, height, QImage::Format_Indexed8);
  QList<QRgb> palette;
  for (int g = 0; g < 256; ++g) palette.append(qRgb(g, g, g));
  image.setColorTable(palette);
  std::mt19937 random(seed);
  for (int y = 0; y < height; ++y) {
    uchar* line = image.scanLine(y);
    for (int x = 0; x < width; ++x) {
      const unsigned r = random() % 100;
      line[x] = static_cast<uchar>(r < 4 ? r : r >= 96 ? 255 - (r - 96) : 40 + (x + 2 * y) % 170);
    }
  }
  return image;
}

double Run(const std::vector<std::string>& args) {
  std::istringstream in;
  std::ostringstream out, err;
  morvane::EntornoLote env(in, out, err);
  const auto start = std::chrono::steady_clock::now();
  const int status = morvane::EjecutarLote(args, env);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (status != 0) std::fprintf(stderr, "morvane-lote failed (%d):\n%s", status, err.str().c_str());
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int files = argc > 1 ? std::atoi(argv[1]) : 64;
  const double megapixels = argc > 2 ? std::atof(argv[2]) : 12.0;
  std::vector<std::string> extra(argv + std::min(argc, 3), argv + argc);
  const int width = static_cast<int>(std::lround(std::sqrt(megapixels * 1e6 * 4 / 3)));
  const int height = static_cast<int>(std::lround(megapixels * 1e6 / width));
  const int processors = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));

  QTemporaryDir dir;
  std::vector<std::string> inputs;
  std::printf("Generating %d pictures of %d x %d ...\n", files, width, height);
  std::fflush(stdout);
  for (int i = 0; i < files; ++i) {
    const QString name = dir.filePath(QStringLiteral("scan%1.bmp").arg(i, 3, 10, QChar('0')));
    // One picture saved under every name: generation is not what is measured.
    static const QImage picture = NoisyPicture(width, height, 7);
    picture.save(name, "BMP");
    inputs.push_back(name.toStdString());
  }

  double filesPerSecond[2] = {0, 0};
  const int jobs[2] = {1, processors};
  for (int k = 0; k < 2; ++k) {
    std::vector<std::string> args{"-q", "--sobrescribir",
                                  "-j", std::to_string(jobs[k]),
                                  "-o", dir.filePath(QStringLiteral("out")).toStdString()};
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.end(), inputs.begin(), inputs.end());
    const double seconds = Run(args);
    filesPerSecond[k] = files / seconds;
    std::printf("-j %-3d %8.2f s  %8.3f files/s\n", jobs[k], seconds, filesPerSecond[k]);
    std::fflush(stdout);
  }
  std::printf("ratio -j %d / -j 1: %.2f (%d processors; target >= %.1f)\n", processors,
              filesPerSecond[1] / filesPerSecond[0], processors, 0.8 * processors);
  return 0;
}
