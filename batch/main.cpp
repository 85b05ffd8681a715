// morvane-lote: no window and no display; the application object is there
// only for the picture format plugins. Should anything reach for a platform,
// it gets the offscreen one unless the user chose another.
#include <unistd.h>

#include <QCoreApplication>
#include <csignal>
#include <cstdlib>
#include <iostream>

#include "batch/lote.h"

namespace {

volatile std::sig_atomic_t gInterrumpido = 0;

extern "C" void AlInterrumpir(int signal) {
  if (gInterrumpido) {
    // A second interruption does not wait for the results being written.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
  gInterrumpido = signal;
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  try {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("morvane-lote"));
    std::signal(SIGINT, AlInterrumpir);
    std::signal(SIGTERM, AlInterrumpir);
    std::signal(SIGHUP, AlInterrumpir);

    // The arguments as the bytes given: a name need not be UTF-8.
    std::vector<std::string> args(argv + 1, argv + argc);
    morvane::EntornoLote entorno{std::cin, std::cout, std::cerr};
    entorno.descriptorEntrada = STDIN_FILENO;
    entorno.terminal = isatty(STDERR_FILENO) != 0;
    entorno.interrumpido = &gInterrumpido;
    return morvane::EjecutarLote(args, entorno);
  } catch (const std::exception& e) {
    std::cerr << "morvane-lote: " << e.what() << "\n";
  }
  return 1;
}
