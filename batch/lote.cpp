#include "batch/lote.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <istream>
#include <map>
#include <mutex>
#include <new>
#include <ostream>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>

#include "batch/informe.h"
#include "batch/recipe.h"
#include "batch/rutas.h"
#include "document/documento.h"
#include "document/picture_planes.h"
#include "toolkit/errors.h"
#include "workspace/parallel.h"

namespace morvane {

namespace {

using Reloj = std::chrono::steady_clock;

double Segundos(Reloj::duration d) {
  return std::chrono::duration<double>(d).count();
}

// A name for Qt's file functions: the same bytes when they survive the trip
// through QString, nothing otherwise.
std::optional<QString> NombreQt(const std::string& nombre) {
  const QString texto = QFile::decodeName(QByteArray::fromStdString(nombre));
  if (QFile::encodeName(texto).toStdString() != nombre) return std::nullopt;
  return texto;
}

// Extension of a name (after the last dot of its last part), as written.
std::string Extension(const std::string& nombre) {
  const std::string parte = UltimaParte(nombre);
  const std::size_t punto = parte.rfind('.');
  return punto == std::string::npos || punto == 0 ? "" : parte.substr(punto + 1);
}

bool EsFormato(std::string extension) {
  for (char& ch : extension) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  const auto& formatos = FormatosAdmitidos();
  return std::find(formatos.begin(), formatos.end(), extension) != formatos.end();
}

std::string Duracion(double segundos) {
  const long long s = static_cast<long long>(segundos + 0.5);
  char texto[32];
  std::snprintf(texto, sizeof texto, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  return texto;
}

std::string Decimal(double valor, int decimales) {
  std::ostringstream out;
  out << std::fixed << std::setprecision(decimales) << valor;
  return out.str();
}

std::optional<std::uint64_t> NumeroDe(const std::string& fichero) {
  std::ifstream in(fichero);
  std::string texto;
  if (!(in >> texto) || texto == "max") return std::nullopt;
  return std::strtoull(texto.c_str(), nullptr, 10);
}

// Memory the process may still take: MemAvailable, within the cgroup's
// memory.max and the address-space limit (ulimit -v).
std::optional<std::uint64_t> MemoriaDisponible() {
  std::optional<std::uint64_t> disponible;
  const auto limitar = [&](std::uint64_t bytes) {
    disponible = disponible ? std::min(*disponible, bytes) : bytes;
  };
  std::ifstream meminfo("/proc/meminfo");
  std::string clave, resto;
  std::uint64_t valor = 0;
  while (meminfo >> clave >> valor && std::getline(meminfo, resto))
    if (clave == "MemAvailable:") limitar(valor * 1024);
  std::ifstream cgroup("/proc/self/cgroup");
  std::string linea;
  while (std::getline(cgroup, linea)) {
    if (linea.rfind("0::", 0) != 0) continue;
    const std::string carpeta = "/sys/fs/cgroup" + linea.substr(3);
    const auto maximo = NumeroDe(carpeta + "/memory.max");
    if (maximo)
      limitar(*maximo - std::min(*maximo, NumeroDe(carpeta + "/memory.current").value_or(0)));
  }
  struct rlimit limite;
  if (::getrlimit(RLIMIT_AS, &limite) == 0 && limite.rlim_cur != RLIM_INFINITY) {
    std::ifstream status("/proc/self/status");
    std::uint64_t usada = 0;
    while (status >> clave)
      if (clave == "VmSize:" && status >> usada) break;
    limitar(static_cast<std::uint64_t>(limite.rlim_cur) -
            std::min<std::uint64_t>(limite.rlim_cur, usada * 1024));
  }
  return disponible;
}

const char* NombreDeteccion(Deteccion d) {
  return d == Deteccion::Negros ? "negros" : d == Deteccion::Blancos ? "blancos" : "automatica";
}

long long SobreUmbral(const Workspace& ws, std::int32_t umbral) {
  long long n = 0;
  for (int y = 0; y < ws.Alto; ++y) {
    const std::uint8_t* fila = ws.ImagenFinal[y];
    for (int x = 0; x < ws.Ancho; ++x) n += fila[x] > umbral;
  }
  return n;
}

long long Cambiados(const Workspace& ws) {
  long long n = 0;
  for (int y = 0; y < ws.Alto; ++y) {
    const std::uint8_t* antes = ws.ImagenInicial[y];
    const std::uint8_t* despues = ws.ImagenFinal[y];
    for (int x = 0; x < ws.Ancho; ++x) n += antes[x] != despues[x];
  }
  return n;
}

// Pendiente: not done yet. Restaurada: written. Omitida: its result exists.
// Error: failed. Sobra: a result or a repeated name among the inputs, left out.
enum class Estado { Pendiente, Restaurada, Omitida, Error, Sobra };

struct Trabajo {
  explicit Trabajo(std::string nombre) : entrada(std::move(nombre)) {}
  std::string entrada;
  std::string resultado;
  Estado estado = Estado::Pendiente;
  std::string motivo;  // of an error or of leaving it out
  std::vector<InformePaso> pasos;
  double segundos = 0;
};

// Warnings of the format libraries name the file they are about.
thread_local const std::string* tArchivoActual = nullptr;
std::mutex gAvisosMutex;
std::ostream* gAvisos = nullptr;
bool gAvisosTerminal = false;

void AlAvisarQt(QtMsgType tipo, const QMessageLogContext&, const QString& mensaje) {
  if (tipo == QtDebugMsg || tipo == QtInfoMsg) return;
  std::lock_guard lock(gAvisosMutex);
  if (gAvisos == nullptr) return;
  *gAvisos << (gAvisosTerminal ? "\r\033[K" : "")
           << "morvane-lote: " << (tArchivoActual ? Legible(*tArchivoActual) + ": " : std::string())
           << "aviso: " << mensaje.toStdString() << "\n";
}

class ArchivoActual {
 public:
  explicit ArchivoActual(const std::string& nombre) { tArchivoActual = &nombre; }
  ~ArchivoActual() { tArchivoActual = nullptr; }
};

class AvisosConNombre {
 public:
  explicit AvisosConNombre(std::ostream& destino, bool terminal) {
    std::lock_guard lock(gAvisosMutex);
    gAvisos = &destino;
    gAvisosTerminal = terminal;
    anterior_ = qInstallMessageHandler(AlAvisarQt);
  }
  ~AvisosConNombre() {
    qInstallMessageHandler(anterior_);
    std::lock_guard lock(gAvisosMutex);
    gAvisos = nullptr;
  }

 private:
  QtMessageHandler anterior_ = nullptr;
};

int ColumnasTerminal(const EntornoLote& entorno) {
  if (entorno.columnas > 0) return entorno.columnas;
  struct winsize ws {};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  if (const char* columnas = std::getenv("COLUMNS"); columnas && std::atoi(columnas) > 0)
    return std::atoi(columnas);
  return 80;
}

// Characters a text takes on the terminal (UTF-8 continuation bytes take none).
std::size_t Ancho(const std::string& texto) {
  std::size_t n = 0;
  for (unsigned char ch : texto) n += (ch & 0xC0) != 0x80;
  return n;
}

// The run's shared state: progress, and the gate that lets an interruption
// wait for the results being written.
class Marcha {
 public:
  Marcha(EntornoLote& entorno, bool silencioso, int total)
      : entorno_(entorno),
        silencioso_(silencioso),
        total_(total),
        columnas_(ColumnasTerminal(entorno)),
        inicio_(Reloj::now()) {}

  // A result may be written only through the gate; after an interruption it
  // stays shut and the caller never gets through.
  bool entrarEscritura() {
    std::unique_lock lock(mutex_);
    if (cerrada_) return false;
    ++escribiendo_;
    return true;
  }
  void salirEscritura() {
    std::lock_guard lock(mutex_);
    --escribiendo_;
    cambio_.notify_all();
  }
  // Shuts the gate and waits for the results being written.
  void cerrar() {
    std::unique_lock lock(mutex_);
    cerrada_ = true;
    cambio_.wait(lock, [this] { return escribiendo_ == 0; });
  }
  bool cerrada() {
    std::lock_guard lock(mutex_);
    return cerrada_;
  }

  // A picture done (or left out): its line, and it counts for the report.
  void terminado(const Trabajo& t) {
    std::lock_guard lock(mutex_);
    ++hechos_;
    terminados_.insert(&t);
    const std::string entrada = Legible(t.entrada);
    if (t.estado == Estado::Error) {
      borrarBarra();
      entorno_.errores << "morvane-lote: " << entrada << ": " << t.motivo << "\n";
    } else if (!silencioso_ && !entorno_.terminal) {
      entorno_.errores << "[" << hechos_ << "/" << total_ << "] " << entrada;
      if (t.estado == Estado::Restaurada)
        entorno_.errores << " -> " << Legible(t.resultado) << " (" << Decimal(t.segundos, 2)
                         << " s)\n";
      else
        entorno_.errores << ": " << t.motivo << "\n";
    }
    dibujarBarra();
    entorno_.errores.flush();
  }
  bool esTerminado(const Trabajo& t) {
    std::lock_guard lock(mutex_);
    return terminados_.count(&t) > 0;
  }

  // Redraws the bar, so the elapsed time moves while a picture is worked on.
  void refrescar() {
    std::lock_guard lock(mutex_);
    dibujarBarra();
    entorno_.errores.flush();
  }

  void aviso(const std::string& linea) {
    std::lock_guard lock(mutex_);
    borrarBarra();
    entorno_.errores << "morvane-lote: " << linea << "\n";
    dibujarBarra();
    entorno_.errores.flush();
  }

  // A line that replaces itself on the terminal (nothing elsewhere).
  void estado(const std::string& texto) {
    if (silencioso_ || !entorno_.terminal) return;
    std::lock_guard lock(mutex_);
    entorno_.errores << "\r" << Recortar(texto) << "\033[K";
    entorno_.errores.flush();
    barraDibujada_ = true;
  }

  void fin() {
    std::lock_guard lock(mutex_);
    if (barraDibujada_) entorno_.errores << "\n";
    barraDibujada_ = false;
  }

  double transcurrido() const { return Segundos(Reloj::now() - inicio_); }

 private:
  // Never as wide as the terminal: the last column would wrap on some.
  std::string Recortar(std::string texto) const {
    const std::size_t cabe = static_cast<std::size_t>(std::max(1, columnas_ - 1));
    while (Ancho(texto) > cabe) {
      texto.pop_back();
      while (!texto.empty() && (static_cast<unsigned char>(texto.back()) & 0xC0) == 0x80)
        texto.pop_back();
    }
    return texto;
  }
  void borrarBarra() {
    if (barraDibujada_) entorno_.errores << "\r\033[K";
  }
  void dibujarBarra() {
    if (silencioso_ || !entorno_.terminal) return;
    const double pasado = transcurrido();
    std::string cola = " " + std::to_string(hechos_) + "/" + std::to_string(total_) +
                       "  transcurrido " + Duracion(pasado);
    if (hechos_ > 0 && hechos_ < total_)
      cola += "  quedan " + Duracion(pasado / hechos_ * (total_ - hechos_));
    const int libre = columnas_ - 1 - static_cast<int>(Ancho(cola)) - 2;
    const int ancho = std::clamp(libre, 0, 30);
    std::string barra;
    if (ancho >= 5) {
      const int lleno = total_ > 0 ? hechos_ * ancho / total_ : ancho;
      barra = "[" + std::string(static_cast<std::size_t>(lleno), '#') +
              std::string(static_cast<std::size_t>(ancho - lleno), '-') + "]";
    }
    entorno_.errores << "\r" << Recortar(barra + cola) << "\033[K";
    barraDibujada_ = true;
  }

  EntornoLote& entorno_;
  const bool silencioso_;
  const int total_;
  const int columnas_;
  const Reloj::time_point inicio_;
  std::mutex mutex_;
  std::condition_variable cambio_;
  int escribiendo_ = 0;
  bool cerrada_ = false;
  int hechos_ = 0;
  bool barraDibujada_ = false;
  std::set<const Trabajo*> terminados_;
};

// Why a picture could not be read.
std::string MotivoLectura(const std::string& nombre) {
  const std::string motivo = MotivoEntrada(nombre);
  return motivo.empty() ? std::string("no es una imagen que se pueda abrir") : motivo;
}

std::string SinMemoria(const char* paso) {
  return std::string("No hay memoria suficiente para ") + paso + " esta imagen";
}

// Reads a picture by its bytes' name.
void Abrir(Picture& picture, const std::string& nombre) {
  if (const auto q = NombreQt(nombre)) return picture.load(*q);
  const int fd = ::open(nombre.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) throw ToolkitError("no se puede abrir");
  try {
    picture.load(QStringLiteral("/proc/self/fd/%1").arg(fd));
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
}

// Writes a picture over resultado: saved under a fresh name in the same
// folder, then renamed, so a link at resultado is replaced, never followed.
void Guardar(const Picture& picture, const std::string& resultado) {
  static std::atomic<unsigned> contador{0};
  const std::string carpeta = CarpetaDe(Absoluta(resultado));
  std::string extension = Extension(resultado);
  const std::string temporal = ".morvane-" + std::to_string(::getpid()) + "-" +
                               std::to_string(contador++) +
                               (extension.empty() ? "" : "." + extension);
  const int dir = ::open(carpeta.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) throw ToolkitError("no se puede abrir la carpeta «" + Legible(carpeta) + "»");
  const auto q = NombreQt(carpeta);
  const QString destino = (q ? *q : QStringLiteral("/proc/self/fd/%1").arg(dir)) + "/" +
                          QString::fromStdString(temporal);
  try {
    picture.save(destino);
  } catch (...) {
    ::close(dir);
    throw;
  }
  const bool renombrado = ::renameat(dir, temporal.c_str(), AT_FDCWD, resultado.c_str()) == 0;
  const int error = errno;
  if (!renombrado) ::unlinkat(dir, temporal.c_str(), 0);
  ::close(dir);
  if (!renombrado)
    throw ToolkitError(std::string("no se puede renombrar: ") + std::strerror(error));
}

// Why a result could not be written.
std::string MotivoEscritura(const Picture& picture, const std::string& resultado,
                            const std::string& mensaje) {
  const std::string carpeta = CarpetaDe(Absoluta(resultado));
  if (const std::string motivo = MotivoCarpetaNoEscribible(carpeta); !motivo.empty()) return motivo;
  const std::uint64_t bytes = static_cast<std::uint64_t>(picture.width()) *
                              static_cast<std::uint64_t>(picture.height()) *
                              static_cast<std::uint64_t>(picture.bitsPerPixel()) / 8;
  if (const auto libre = EspacioLibre(carpeta); libre && *libre < bytes + 65536)
    return "no queda espacio en el disco para «" + Legible(resultado) + "»";
  return mensaje;
}

bool ResultadoPresente(const std::string& resultado) {
  struct stat st;
  return ::lstat(resultado.c_str(), &st) == 0;
}

void Procesar(Trabajo& t, const OpcionesLote& o, const std::set<Identidad>& entradas,
              Marcha& marcha) {
  const Reloj::time_point inicio = Reloj::now();
  const ArchivoActual actual(t.entrada);
  if (!o.sobrescribir && ResultadoPresente(t.resultado)) {
    t.estado = Estado::Omitida;
    t.motivo = "ya existe " + Legible(t.resultado) + ", se omite";
    return marcha.terminado(t);
  }
  Picture izquierda, derecha;
  try {
    if (const std::string motivo = MotivoEntrada(t.entrada); !motivo.empty())
      throw std::runtime_error(motivo);
    Abrir(izquierda, t.entrada);
  } catch (const std::bad_alloc&) {
    throw std::runtime_error(SinMemoria("abrir"));
  } catch (const std::exception&) {
    throw std::runtime_error(MotivoLectura(t.entrada));
  }
  try {
    t.pasos = AplicarReceta(izquierda, derecha, o.receta);
  } catch (const std::bad_alloc&) {
    throw std::runtime_error(SinMemoria("restaurar"));
  } catch (const std::exception& e) {
    throw std::runtime_error(std::string("error en la restauración: ") + e.what());
  }
  izquierda = Picture();
  // The result never replaces an input, whatever its name (a link, another
  // spelling) and whenever it appeared.
  if (const auto id = IdentidadDe(t.resultado); id && entradas.count(*id))
    throw std::runtime_error("el resultado «" + Legible(t.resultado) +
                             "» es una imagen de entrada; no se escribe sobre ella");
  if (!marcha.entrarEscritura()) return;
  try {
    Guardar(derecha, t.resultado);
  } catch (const std::bad_alloc&) {
    marcha.salirEscritura();
    throw std::runtime_error(SinMemoria("guardar"));
  } catch (const std::exception& e) {
    marcha.salirEscritura();
    throw std::runtime_error(MotivoEscritura(derecha, t.resultado, e.what()));
  }
  t.segundos = Segundos(Reloj::now() - inicio);
  t.estado = Estado::Restaurada;
  marcha.terminado(t);  // before the gate opens: an interruption reports it
  marcha.salirEscritura();
}

// ---------------------------------------------------------------------------
// The run in four parts: plan, decide how many at once, run, summarise.

struct Plan {
  OpcionesLote o;
  std::vector<Trabajo> trabajos;
  std::set<Identidad> entradas;
  std::map<std::string, std::vector<std::string>> filasAnteriores;
  std::string receta;
};

bool Interrumpido(const EntornoLote& entorno) {
  return entorno.interrumpido && *entorno.interrumpido;
}

// The names for "-": one a line. Returns false when a signal stopped it.
bool LeerNombres(EntornoLote& entorno, std::vector<Trabajo>& trabajos) {
  const auto anadir = [&](std::string linea) {
    if (!linea.empty() && linea.back() == '\r') linea.pop_back();
    if (!linea.empty()) trabajos.emplace_back(std::move(linea));
  };
  if (entorno.descriptorEntrada < 0) {
    std::string linea;
    while (std::getline(entorno.entrada, linea)) anadir(linea);
    return !Interrumpido(entorno);
  }
  std::string pendiente;
  char bloque[65536];
  while (true) {
    pollfd p{entorno.descriptorEntrada, POLLIN, 0};
    if (Interrumpido(entorno)) return false;
    if (::poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = ::read(entorno.descriptorEntrada, bloque, sizeof bloque);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    pendiente.append(bloque, static_cast<std::size_t>(n));
    for (std::size_t fin; (fin = pendiente.find('\n')) != std::string::npos;) {
      anadir(pendiente.substr(0, fin));
      pendiente.erase(0, fin + 1);
    }
  }
  anadir(pendiente);
  return true;
}

// The folder the results' subfolders are counted from.
std::string Raiz(const OpcionesLote& o, const std::vector<Trabajo>& trabajos) {
  if (!o.raiz.empty()) return Absoluta(o.raiz);
  std::string comun;
  for (const Trabajo& t : trabajos) {
    const std::string carpeta = CarpetaDe(Absoluta(t.entrada));
    if (comun.empty()) comun = carpeta;
    while (!Dentro(carpeta, comun)) comun = CarpetaDe(comun);
  }
  return comun.empty() ? "/" : comun;
}

void Rechazar(Trabajo& t, Estado estado, std::string motivo) {
  t.estado = estado;
  t.motivo = std::move(motivo);
}

// Every check that needs no picture: the inputs that are results or repeated,
// the names that are not files, the result names, and the folders they go to.
// Leaves out the inputs that are results of this recipe and the names given
// again for a file already listed; returns the others' clean names.
std::set<std::string> ApartarSobrantes(Plan& plan, const std::string& raiz,
                                       const EntornoLote& entorno) {
  const OpcionesLote& o = plan.o;
  const std::string salida = o.salida.empty() ? std::string() : Absoluta(o.salida);
  std::set<std::string> rutasEntrada;
  std::map<Identidad, const Trabajo*> vistas;
  for (std::size_t i = 0; i < plan.trabajos.size(); ++i) {
    if (i % 256 == 0 && Interrumpido(entorno)) break;
    Trabajo& t = plan.trabajos[i];
    const std::string ruta = Absoluta(t.entrada);
    const auto id = IdentidadDe(t.entrada);
    const bool resultado =
        o.salida.empty() ? EsResultado(t.entrada) : Dentro(ruta, salida) && !Dentro(raiz, salida);
    if (resultado) {
      Rechazar(t, Estado::Sobra, "es un resultado de morvane-lote, se omite");
    } else if (id && vistas.count(*id)) {
      Rechazar(t, Estado::Sobra,
               "es la misma imagen que «" + Legible(vistas[*id]->entrada) + "», se hace una vez");
    } else {
      rutasEntrada.insert(ruta);
      if (id) plan.entradas.insert(*id), vistas[*id] = &t;
    }
  }
  return rutasEntrada;
}

// Every check that needs no picture: the names that are not files, the result
// names (never an input, never another input's), and the folders they go to.
void Planificar(Plan& plan, const EntornoLote& entorno) {
  const OpcionesLote& o = plan.o;
  const std::string raiz = o.salida.empty() ? std::string() : Raiz(o, plan.trabajos);
  const std::set<std::string> rutasEntrada = ApartarSobrantes(plan, raiz, entorno);
  std::map<std::string, const Trabajo*> duenos;
  std::map<std::string, std::string> carpetas;  // folder -> why it cannot be written
  for (std::size_t i = 0; i < plan.trabajos.size(); ++i) {
    if (i % 256 == 0 && Interrumpido(entorno)) return;
    Trabajo& t = plan.trabajos[i];
    if (t.estado != Estado::Pendiente) continue;
    if (!raiz.empty() && !Dentro(Absoluta(t.entrada), raiz)) {
      Rechazar(t, Estado::Error, "no está dentro de la carpeta raíz «" + Legible(raiz) + "»");
      continue;
    }
    t.resultado = NombreResultado(t.entrada, o.salida, o.formato, raiz);
    const std::string ruta = Absoluta(t.resultado);
    const auto id = IdentidadDe(t.resultado);
    struct stat st;
    const std::string nombre = "«" + Legible(t.resultado) + "»";
    if (const std::string motivo = MotivoEntrada(t.entrada); !motivo.empty()) {
      Rechazar(t, Estado::Error, motivo);
    } else if (rutasEntrada.count(ruta) || (id && plan.entradas.count(*id))) {
      Rechazar(t, Estado::Error,
               "el resultado " + nombre + " es una imagen de entrada; no se escribe sobre ella");
    } else if (const auto otro = duenos.find(ruta); otro != duenos.end()) {
      Rechazar(
          t, Estado::Error,
          "su resultado " + nombre + " es también el de «" + Legible(otro->second->entrada) + "»");
    } else if (duenos.emplace(ruta, &t);
               ::lstat(t.resultado.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      Rechazar(t, Estado::Error, "su resultado " + nombre + " es una carpeta");
    } else {
      const std::string carpeta = CarpetaDe(ruta);
      if (!carpetas.count(carpeta)) carpetas[carpeta] = MotivoCarpetaNoEscribible(carpeta);
      if (!carpetas[carpeta].empty()) Rechazar(t, Estado::Error, carpetas[carpeta]);
    }
  }
}

// Files at once: as asked, no more than there are files, and no more than fit
// in the memory the process may use. The headers read show their progress on
// a long list, and a signal stops the reading.
std::optional<int> DecidirTrabajos(const Plan& plan, EntornoLote& entorno, Marcha& marcha) {
  const int procesadores = entorno.procesadores > 0 ? entorno.procesadores : HilosPorOperacion();
  int pendientes = 0;
  for (const Trabajo& t : plan.trabajos) pendientes += t.estado == Estado::Pendiente;
  const int hilos =
      std::max(1, std::min(plan.o.trabajos > 0 ? plan.o.trabajos : procesadores, pendientes));
  if (hilos == 1) return hilos;
  std::uint64_t porImagen = 0;
  int leidos = 0;
  for (const Trabajo& t : plan.trabajos) {
    if (Interrumpido(entorno)) return std::nullopt;
    if (t.estado != Estado::Pendiente) continue;
    if (!plan.o.sobrescribir && ResultadoPresente(t.resultado)) continue;
    const ArchivoActual actual(t.entrada);
    porImagen = std::max(porImagen, BytesPorImagen(t.entrada, plan.o.receta.automatica));
    if (++leidos % 100 == 0 && pendientes > 500)
      marcha.estado("midiendo las imágenes: " + std::to_string(leidos) + "/" +
                    std::to_string(pendientes));
  }
  const std::optional<std::uint64_t> disponible =
      entorno.memoriaDisponible ? entorno.memoriaDisponible : MemoriaDisponible();
  if (!disponible) return hilos;
  const int caben = TrabajosQueCaben(hilos, porImagen, *disponible);
  if (caben < hilos)
    marcha.aviso("se restaurarán " + std::to_string(caben) + " imágenes a la vez en lugar de " +
                 std::to_string(hilos) + ": la memoria disponible (" +
                 std::to_string(*disponible >> 20) + " MB) no alcanza para más (unos " +
                 std::to_string((porImagen + (1 << 20) - 1) >> 20) + " MB por imagen)");
  return caben;
}

std::string TextoInforme(const Plan& plan, Marcha& marcha) {
  std::string texto = kCabeceraInforme;
  const std::string receta = "," + CampoCsv(plan.receta) + "\n";
  for (const Trabajo& t : plan.trabajos) {
    if (!marcha.esTerminado(t) && t.estado != Estado::Error) continue;
    const std::string cabeza = CampoCsv(t.entrada) + "," + CampoCsv(t.resultado) + ",";
    if (t.estado == Estado::Restaurada) {
      for (std::size_t i = 0; i < t.pasos.size(); ++i) {
        const InformePaso& p = t.pasos[i];
        texto += cabeza + std::to_string(i + 1) + "," + NombreDeteccion(p.deteccion) + "," +
                 std::to_string(p.sobreUmbral) + "," + std::to_string(p.restaurados) + "," +
                 Decimal(p.segundos, 3) + ",restaurada" + receta;
      }
    } else if (t.estado == Estado::Omitida) {
      const auto anteriores = plan.filasAnteriores.find(t.resultado);
      if (anteriores == plan.filasAnteriores.end())
        texto += cabeza + ",,,,,omitida: ya existe" + receta;
      else
        for (const std::string& fila : anteriores->second) texto += fila + "\n";
    } else if (t.estado == Estado::Error) {
      texto += cabeza + ",,,,," + CampoCsv("error: " + t.motivo) + receta;
    }
  }
  return texto;
}

// Writes the report, if one was asked; false (and a line) when it failed.
bool Informar(const Plan& plan, EntornoLote& entorno, Marcha& marcha) {
  if (plan.o.informe.empty()) return true;
  if (const auto error = EscribirEntero(plan.o.informe, TextoInforme(plan, marcha))) {
    entorno.errores << "morvane-lote: no se puede escribir el informe «" << Legible(plan.o.informe)
                    << "»: " << *error << "\n";
    return false;
  }
  return true;
}

[[noreturn]] void Interrumpir(const Plan& plan, EntornoLote& entorno, Marcha& marcha) {
  // The results being written are finished and nothing else is started; the
  // pictures still being worked on are dropped with the process.
  marcha.cerrar();
  marcha.fin();
  Informar(plan, entorno, marcha);
  entorno.errores << "morvane-lote: interrumpido; los resultados escritos están completos\n";
  entorno.errores.flush();
  std::_Exit(128 + *entorno.interrumpido);
}

void Correr(Plan& plan, int hilos, EntornoLote& entorno, Marcha& marcha) {
  for (Trabajo& t : plan.trabajos)
    if (t.estado != Estado::Pendiente) marcha.terminado(t);
  // Several pictures at once: each one's operations stay on its own thread.
  const int hilosAntes = hilos > 1 ? FijarHilosPorOperacion(1) : -1;
  const int total = static_cast<int>(plan.trabajos.size());
  std::atomic<int> siguiente{0};
  std::atomic<int> activos{hilos};
  std::mutex fin;
  std::condition_variable hecho;
  auto trabajar = [&] {
    for (int i = siguiente++; i < total && !marcha.cerrada(); i = siguiente++) {
      Trabajo& t = plan.trabajos[static_cast<std::size_t>(i)];
      if (t.estado != Estado::Pendiente) continue;
      try {
        Procesar(t, plan.o, plan.entradas, marcha);
      } catch (const std::exception& e) {
        Rechazar(t, Estado::Error, e.what());
        marcha.terminado(t);
      }
    }
    std::lock_guard lock(fin);
    --activos;
    hecho.notify_all();
  };
  std::vector<std::thread> obreros;
  for (int i = 0; i < hilos; ++i) {
    try {
      obreros.emplace_back(trabajar);
    } catch (const std::system_error&) {  // no room for another thread: fewer at once
      activos -= hilos - i;
      if (i == 0) activos = 1, trabajar();  // not even one: the work runs here
      break;
    }
  }
  {
    std::unique_lock lock(fin);
    marcha.refrescar();
    Reloj::time_point dibujada = Reloj::now();
    while (activos > 0) {
      hecho.wait_for(lock, std::chrono::milliseconds(50));
      if (Reloj::now() - dibujada > std::chrono::seconds(1)) {
        marcha.refrescar();
        dibujada = Reloj::now();
      }
      if (Interrumpido(entorno)) Interrumpir(plan, entorno, marcha);
    }
  }
  for (std::thread& obrero : obreros) obrero.join();
  if (hilosAntes >= 0) FijarHilosPorOperacion(hilosAntes);
  marcha.fin();
}

int Resumir(const Plan& plan, EntornoLote& entorno, Marcha& marcha) {
  int restauradas = 0, omitidas = 0, fallidas = 0;
  for (const Trabajo& t : plan.trabajos) {
    restauradas += t.estado == Estado::Restaurada;
    omitidas += t.estado == Estado::Omitida || t.estado == Estado::Sobra;
    fallidas += t.estado == Estado::Error;
  }
  if (!Informar(plan, entorno, marcha)) ++fallidas;
  if (!plan.o.silencioso)
    entorno.errores << "Restauradas: " << restauradas << ", omitidas: " << omitidas
                    << ", con error: " << fallidas << " (" << Duracion(marcha.transcurrido())
                    << ")\n";
  return fallidas > 0 ? 1 : 0;
}

int Uso(EntornoLote& entorno, const std::string& motivo) {
  entorno.errores << "morvane-lote: " << motivo << "\n"
                  << "Pruebe «morvane-lote --ayuda» para más información.\n";
  return 2;
}

// The report: never an input, and writable before any picture is touched.
std::optional<std::string> MotivoInforme(const Plan& plan) {
  const std::string& informe = plan.o.informe;
  const auto id = IdentidadDe(informe);
  for (const Trabajo& t : plan.trabajos)
    if (Absoluta(t.entrada) == Absoluta(informe) || (id && IdentidadDe(t.entrada) == id))
      return "Valor incorrecto para --informe: «" + Legible(informe) + "» es una imagen de entrada";
  if (const auto motivo = MotivoInformeNoEscribible(informe))
    return "no se puede escribir el informe «" + Legible(informe) + "»: " + *motivo;
  return std::nullopt;
}

}  // namespace

std::vector<InformePaso> AplicarReceta(Picture& izquierda, Picture& derecha, const Receta& receta) {
  Workspace ws;
  Documento documento(ws, izquierda, derecha);
  documento.leida();
  documento.abrirPlanos();
  VistaEnImagen vista(derecha);
  std::vector<InformePaso> pasos;
  if (receta.automatica) {
    // One step: the points found damaged where a detection reports those
    // above the threshold.
    const Reloj::time_point inicio = Reloj::now();
    InformePaso paso{Deteccion::Automatica};
    paso.sobreUmbral = RestaurarSinReceta(ws, vista);
    paso.restaurados = Cambiados(ws);
    paso.segundos = Segundos(Reloj::now() - inicio);
    pasos.push_back(paso);
    return pasos;
  }
  PrepararReceta(ws, receta);
  for (std::size_t i = 0; i < receta.pasos.size(); ++i) {
    if (i > 0) documento.copiarDerechaEnIzquierda({});
    const Reloj::time_point inicio = Reloj::now();
    InformePaso paso{receta.pasos[i]};
    Detectar(ws, vista, paso.deteccion);
    paso.sobreUmbral = SobreUmbral(ws, receta.umbral);
    RestaurarConReceta(ws, vista, receta);
    paso.restaurados = Cambiados(ws);
    paso.segundos = Segundos(Reloj::now() - inicio);
    pasos.push_back(paso);
  }
  return pasos;
}

bool EsResultado(const std::string& entrada) {
  const std::string parte = UltimaParte(entrada);
  const std::size_t punto = parte.rfind('.');
  const std::string base =
      punto == std::string::npos || punto == 0 ? parte : parte.substr(0, punto);
  const std::string marca = "_restaurada";
  return base.size() > marca.size() &&
         base.compare(base.size() - marca.size(), marca.size(), marca) == 0;
}

std::string NombreResultado(const std::string& entrada, const std::string& salida,
                            const std::string& formato, const std::string& raiz) {
  const std::string parte = UltimaParte(entrada);
  const std::string sufijo = Extension(entrada);
  const std::string extension = !formato.empty() ? formato : EsFormato(sufijo) ? sufijo : "bmp";
  const std::string base =
      sufijo.empty() ? parte : parte.substr(0, parte.size() - sufijo.size() - 1);
  if (!salida.empty()) {
    std::string sub;
    if (!raiz.empty()) {
      const std::string carpeta = CarpetaDe(Absoluta(entrada));
      if (Dentro(carpeta, raiz) && carpeta != raiz)
        sub = carpeta.substr(raiz == "/" ? 1 : raiz.size() + 1) + "/";
    }
    return salida + (salida.back() == '/' ? "" : "/") + sub + base + "." + extension;
  }
  // Next to the input, spelt with the input's own folder part.
  const std::string::size_type barra = entrada.rfind('/');
  const std::string carpeta = barra == std::string::npos ? "" : entrada.substr(0, barra + 1);
  return carpeta + base + "_restaurada." + extension;
}

std::uint64_t BytesPorImagen(const std::string& nombre, bool automatica) {
  const int fd = ::open(nombre.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return 0;
  struct stat st;
  QFile archivo;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      !archivo.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    return 0;
  }
  QImageReader lector(&archivo);
  const QSize tamano = lector.size();
  if (!tamano.isValid()) return 0;
  const QImage::Format formato = lector.imageFormat();
  const bool paleta = formato == QImage::Format_Indexed8 || formato == QImage::Format_Mono ||
                      formato == QImage::Format_MonoLSB || formato == QImage::Format_Grayscale8;
  const std::uint64_t ancho = static_cast<std::uint64_t>(tamano.width());
  const std::uint64_t alto = static_cast<std::uint64_t>(tamano.height());
  // The pictures (the one read, its copy and one more while it is decoded or
  // saved) have rows of whole 32-bit words; the workspace's four planes have
  // rows of whole 64-byte blocks; kMargen a row covers the rest. Measured: a
  // 2-pixel-wide RLE picture takes about 275 bytes a row, a 24-bit one about
  // 11 bytes a pixel.
  const std::uint64_t filaImagen = (ancho * (paleta ? 8 : 32) + 31) / 32 * 4;
  const std::uint64_t filaPlano = (ancho + 63) / 64 * 64;
  constexpr std::uint64_t kMargen = 48;
  // The automatic restoration's own work planes, with their mirrored border of
  // 8 pixels: at its peak eleven bytes a pixel held throughout (three of
  // levels, two floats) and four more while it looks for specks.
  const std::uint64_t propios = automatica ? (alto + 16) * (ancho + 16) * 15 : 0;
  return alto * (3 * filaImagen + 4 * filaPlano + kMargen) + propios;
}

int TrabajosQueCaben(int pedidos, std::uint64_t bytesPorImagen, std::uint64_t disponible) {
  if (bytesPorImagen == 0) return pedidos;
  const std::uint64_t caben = disponible / bytesPorImagen;
  return static_cast<int>(std::max<std::uint64_t>(
      1, std::min<std::uint64_t>(static_cast<std::uint64_t>(pedidos), caben)));
}

int EjecutarLote(const std::vector<std::string>& args, EntornoLote& entorno) {
  std::string error;
  std::optional<OpcionesLote> analizadas = AnalizarOpciones(args, error);
  if (!analizadas) return Uso(entorno, error);
  if (analizadas->ayuda || analizadas->version) {
    entorno.salida << (analizadas->ayuda ? TextoAyuda() : TextoVersion());
    return 0;
  }
  Plan plan;
  plan.o = std::move(*analizadas);
  plan.receta = TextoReceta(plan.o);
  const AvisosConNombre avisos(entorno.errores, entorno.terminal);
  Marcha previa(entorno, true, 0);
  bool leyendo = true;
  for (const std::string& a : plan.o.archivos) {
    if (a != "-")
      plan.trabajos.emplace_back(a);
    else if (leyendo && !(leyendo = false) && !LeerNombres(entorno, plan.trabajos))
      Interrumpir(plan, entorno, previa);
  }
  const bool soloEntrada = std::all_of(plan.o.archivos.begin(), plan.o.archivos.end(),
                                       [](const std::string& a) { return a == "-"; });
  if (plan.trabajos.empty() && !soloEntrada)
    return Uso(entorno, "no se ha indicado ninguna imagen");
  if (!plan.o.salida.empty()) {
    struct stat st;
    if (::stat(plan.o.salida.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
      return Uso(entorno, "Valor incorrecto para --salida: «" + Legible(plan.o.salida) +
                              "» no es una carpeta");
  }
  if (!plan.o.informe.empty()) {
    if (const auto motivo = MotivoInforme(plan)) return Uso(entorno, *motivo);
    plan.filasAnteriores = FilasAnteriores(plan.o.informe);
  }
  Planificar(plan, entorno);
  Marcha marcha(entorno, plan.o.silencioso, static_cast<int>(plan.trabajos.size()));
  if (Interrumpido(entorno)) Interrumpir(plan, entorno, marcha);
  const std::optional<int> hilos = DecidirTrabajos(plan, entorno, marcha);
  if (!hilos) Interrumpir(plan, entorno, marcha);
  std::map<std::string, std::optional<std::string>> creadas;
  for (Trabajo& t : plan.trabajos) {
    if (t.estado != Estado::Pendiente) continue;
    const std::string carpeta = CarpetaDe(Absoluta(t.resultado));
    if (!creadas.count(carpeta)) creadas[carpeta] = CrearCarpetas(carpeta);
    if (creadas[carpeta]) Rechazar(t, Estado::Error, *creadas[carpeta]);
  }
  Correr(plan, *hilos, entorno, marcha);
  return Resumir(plan, entorno, marcha);
}

}  // namespace morvane
