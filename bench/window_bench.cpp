// Every command of a restoration, in the order a user runs them, through the real main-window
// handlers, on the offscreen platform with fixed dialog answers, timed command by command and set
// against one memcpy of a plane of the picture's size measured in the same run.
//
//   window_bench                 both 4000 x 3000 pictures (8-bit palette, 24-bit),
//                              each in a process of its own so that each peak
//                              memory figure is its own
//   window_bench --picture 8     one picture only (8 or 24)
//   window_bench --huge          a 20000 x 20000 8-bit picture, each command once
//   window_bench --repeat N      runs of the commands per picture (default 3)
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "tests/support/fake_dialogs.h"
#include "toolkit/picture_view.h"

namespace morvane {
namespace {

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Best of several copies of a plane-sized buffer, each into fresh-touched memory.
double PlaneCopySeconds(std::size_t bytes) {
  std::vector<unsigned char> from(bytes, 1), to(bytes, 2);
  double best = 1e9;
  for (int i = 0; i < 7; ++i) {
    best = std::min(best, Seconds([&] { std::memcpy(to.data(), from.data(), bytes); }));
    from[i] = to[bytes - 1 - i];  // keeps the copies from being folded away
  }
  return best;
}

long ResidentKb() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long PeakKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

long PageFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt + usage.ru_majflt;
}

// A smooth scene with 10% impulse noise: 5% black points, 5% white points.
QImage NoisyPicture(int width, int height, bool palette) {
  QImage image(width, height, palette ? QImage::Format_Indexed8 : QImage::Format_RGB888);
  if (palette) {
    QList<QRgb> table;
    for (int g = 0; g < 256; ++g) table.append(qRgb(g, g, g));
    image.setColorTable(table);
  }
  std::mt19937 rng(7);
  for (int y = 0; y < height; ++y) {
    uchar* line = image.scanLine(y);
    for (int x = 0; x < width; ++x) {
      int level = 40 + (x * 97 / std::max(width, 1) + y * 83 / std::max(height, 1)) +
                  static_cast<int>((x ^ y) & 15);
      const unsigned dice = rng() % 100;
      if (dice < 5) level = 0;
      if (dice >= 95) level = 255;
      if (palette) {
        line[x] = static_cast<uchar>(level);
      } else {
        line[3 * x] = static_cast<uchar>(level);
        line[3 * x + 1] = static_cast<uchar>(level / 2);
        line[3 * x + 2] = static_cast<uchar>(255 - level);
      }
    }
  }
  return image;
}

struct Row {
  std::string command;
  std::vector<double> seconds;
  long peakKb = 0;  // the process's peak resident size when the first run ended
  long faults = 0;  // page faults of the first run
};

class WindowSession {
 public:
  WindowSession(int repeat) : repeat_(repeat) {
    form_.show();
    QApplication::processEvents();
  }

  void run(const QString& file, const QString& saved) {
    for (int run = 0; run < repeat_; ++run) {
      if (ws_.ImagenCargada) form_.onBorrar();
      dialogs_.openAnswers.push_back(file);
      time("Abrir Imagen", [&] { form_.onAbrirImagen(); });
      time(
          "repaint of both views", [&] { repaintViews(); }, false);
      loadMatrix(0, 0, 0);
      time("Cargar Matriz 3 x 3 zeros", [&] { form_.onCargarMatriz(); });
      time("Puntos Negros 3 x 3 zeros", [&] { form_.onPuntosNegros(); });
      time(
          "repaint after a command", [&] { repaintViews(); }, false);
      const char* filters[] = {"Restaurar media", "Restaurar mediana", "Restaurar conservativo",
                               "Restaurar cubico"};
      for (int f = 0; f < 4; ++f) {
        if (f > 0) form_.onPuntosNegros();
        control<RadioGroup>("filtroGroup")->setItemIndex(f);
        form_.onFiltroChanged();
        control<QComboBox>("tamanoFiltroCombo")->setCurrentIndex(0);
        time(filters[f], [&] { form_.onRestaurar(); });
        if (f == 0)
          time(
              "repaint after Restaurar", [&] { repaintViews(); }, false);
      }
      time("Puntos Blancos 3 x 3 zeros", [&] { form_.onPuntosBlancos(); });
      control<RadioGroup>("filtroGroup")->setItemIndex(0);
      form_.onRestaurar();
      time("<<", [&] { form_.onCopiarFinalEnInicial(); });
      time("Imagen Inicial", [&] { form_.onRecuperarImagenInicial(); });
      dialogs_.saveAnswers.push_back(saved);
      time("Guardar Imagen", [&] { form_.onGuardarImagen(); });
      loadMatrix(1, 1, 10);
      time("Cargar Matriz 5 x 5 pyramid", [&] { form_.onCargarMatriz(); });
      time("Puntos Negros 5 x 5 pyramid", [&] { form_.onPuntosNegros(); });
    }
  }

  const std::vector<Row>& rows() const { return rows_; }

 private:
  // A control of the window by its object name.
  template <class T>
  T* control(const char* name) {
    return form_.findChild<T*>(QString::fromUtf8(name));
  }

  void loadMatrix(int sizeIndex, int kind, int factor) {
    control<RadioGroup>("tamanoMatrizGroup")->setItemIndex(sizeIndex);
    form_.onTamanoMatrizChanged();
    control<RadioGroup>("tipoMatrizGroup")->setItemIndex(kind);
    control<Edit>("factorNEdit")->setText(QString::number(factor));
  }

  void repaintViews() {
    control<PictureView>("imagenInicialView")->repaint();
    control<PictureView>("imagenFinalView")->repaint();
  }

  // settle: first let the events earlier commands left queued run (repaints
  // among them), so they are not counted as this command's.
  void time(const std::string& command, const std::function<void()>& work, bool settle = true) {
    if (settle) QApplication::processEvents();
    const long faults = PageFaults();
    // What the window would show in its error box ends the command here, as
    // it does for the user.
    const double s = Seconds([&] {
      try {
        work();
      } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", command.c_str(), e.what());
      }
    });
    const long faulted = PageFaults() - faults;
    auto it = std::find_if(rows_.begin(), rows_.end(),
                           [&](const Row& r) { return r.command == command; });
    if (it == rows_.end()) {
      rows_.push_back({command, {}});
      it = rows_.end() - 1;
    }
    it->seconds.push_back(s);
    if (it->seconds.size() == 1) {
      it->peakKb = PeakKb();
      it->faults = faulted;
    }
  }

  int repeat_;
  FakeDialogs dialogs_;
  Workspace ws_;
  VentanaPrincipal form_{ws_};
  std::vector<Row> rows_;
};

int RunPicture(int bits, int width, int height, int repeat) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("noisy.bmp"));
  {
    const QImage picture = NoisyPicture(width, height, bits == 8);
    if (!picture.save(file, "BMP")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  const long idleKb = ResidentKb();
  const double copy = PlaneCopySeconds(static_cast<std::size_t>(width) * height);
  double qtDecode = 1e9;
  for (int i = 0; i < std::min(repeat, 3); ++i) {
    qtDecode = std::min(qtDecode, Seconds([&] {
                          QImageReader reader(file);
                          QImageReader::setAllocationLimit(0);
                          reader.read();
                        }));
  }

  WindowSession session(repeat);
  session.run(file, dir.filePath(QStringLiteral("saved.bmp")));

  std::printf("\n%d x %d, %d-bit BMP, 10%% impulse noise; %d run(s)\n", width, height, bits,
              repeat);
  std::printf("one plane memcpy: %.3f ms; Qt's own decode of the file: %.1f ms (%.1f copies)\n",
              copy * 1e3, qtDecode * 1e3, qtDecode / copy);
  std::printf("%-30s %11s %11s %9s %9s %9s %7s\n", "command", "first ms", "best ms", "first x",
              "best x", "peak MB", "faults");
  for (const Row& row : session.rows()) {
    const double first = row.seconds.front();
    const double best = *std::min_element(row.seconds.begin(), row.seconds.end());
    std::printf("%-30s %11.2f %11.2f %9.1f %9.1f %9.1f %7ld\n", row.command.c_str(), first * 1e3,
                best * 1e3, first / copy, best / copy, row.peakKb / 1024.0, row.faults);
  }
  // The right view works out its area averages again from every picture row a
  // command changed: the cost of seeing a command's result.
  for (const Row& row : session.rows()) {
    if (row.command.rfind("repaint after", 0) != 0) continue;
    std::printf("view %s: %.2f plane copies (best of %zu)\n", row.command.c_str(),
                *std::min_element(row.seconds.begin(), row.seconds.end()) / copy,
                row.seconds.size());
  }
  const double planeMb = static_cast<double>(width) * height / (1024.0 * 1024.0);
  std::printf("idle resident %.1f MB, peak %.1f MB: idle + %.1f MB (plane: %.1f MB)\n",
              idleKb / 1024.0, PeakKb() / 1024.0, (PeakKb() - idleKb) / 1024.0, planeMb);
  return 0;
}

}  // namespace
}  // namespace morvane

int main(int argc, char** argv) {
  int bits = 0;
  bool huge = false;
  int repeat = 3;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--huge") huge = true;
    if (arg == "--picture" && i + 1 < argc) bits = std::atoi(argv[++i]);
    if (arg == "--repeat" && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));
  }
  if (bits == 0 && !huge) {
    // Each picture in a process of its own: its peak memory is its own.
    int status = 0;
    for (const char* b : {"8", "24"}) {
      const std::string command =
          std::string(argv[0]) + " --picture " + b + " --repeat " + std::to_string(repeat);
      status |= std::system(command.c_str());
    }
    return status == 0 ? 0 : 1;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (huge) return morvane::RunPicture(8, 20000, 20000, 1);
  return morvane::RunPicture(bits, 4000, 3000, repeat);
}
