#include "batch/lote.h"

#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <istream>
#include <map>
#include <mutex>
#include <new>
#include <ostream>
#include <set>
#include <sstream>
#include <thread>

#include "app/picture_planes.h"
#include "batch/recipe.h"
#include "toolkit/errors.h"
#include "workspace/parallel.h"

namespace morvane {

namespace {

using Reloj = std::chrono::steady_clock;

double Segundos(Reloj::duration d) {
  return std::chrono::duration<double>(d).count();
}

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

std::string Nombre(const QString& text) {
  return text.toStdString();
}

bool EsFormato(const QString& extension) {
  const auto& formatos = FormatosAdmitidos();
  return std::find(formatos.begin(), formatos.end(), extension.toLower().toStdString()) !=
         formatos.end();
}

// The file a name points to, when it exists: links and other spellings of the
// same file compare equal.
struct Identidad {
  dev_t dispositivo;
  ino_t nodo;
  auto operator<=>(const Identidad&) const = default;
};
std::optional<Identidad> IdentidadDe(const std::string& nombre) {
  struct stat st;
  if (::stat(nombre.c_str(), &st) != 0) return std::nullopt;
  return Identidad{st.st_dev, st.st_ino};
}

QString RutaAbsoluta(const std::string& nombre) {
  return QDir::cleanPath(QFileInfo(Q(nombre)).absoluteFilePath());
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

// MemAvailable of /proc/meminfo, in bytes; nothing when it cannot be read.
std::optional<std::uint64_t> MemoriaDisponible() {
  std::ifstream meminfo("/proc/meminfo");
  std::string clave;
  std::uint64_t valor = 0;
  std::string unidad;
  while (meminfo >> clave >> valor) {
    std::getline(meminfo, unidad);
    if (clave == "MemAvailable:") return valor * 1024;
  }
  return std::nullopt;
}

// Memory one picture takes while it is worked on: the four planes, the two
// pictures, and the copy made while it is read.
std::uint64_t BytesPorImagen(const std::string& nombre) {
  QImageReader lector(Q(nombre));
  const QSize tamano = lector.size();
  if (!tamano.isValid()) return 0;
  const QImage::Format formato = lector.imageFormat();
  const bool paleta = formato == QImage::Format_Indexed8 || formato == QImage::Format_Mono ||
                      formato == QImage::Format_MonoLSB || formato == QImage::Format_Grayscale8;
  const std::uint64_t porPixel = paleta ? 1 : 4;
  const std::uint64_t pixels =
      static_cast<std::uint64_t>(tamano.width()) * static_cast<std::uint64_t>(tamano.height());
  return pixels * (4 + 3 * porPixel);
}

std::string CampoCsv(const std::string& texto) {
  if (texto.find_first_of(",\"\n\r") == std::string::npos) return texto;
  std::string campo = "\"";
  for (char ch : texto) {
    if (ch == '"') campo += '"';
    campo += ch;
  }
  return campo + "\"";
}

const char* NombreDeteccion(Deteccion d) {
  return d == Deteccion::Negros ? "negros" : "blancos";
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

enum class Estado { Pendiente, Restaurada, Omitida, Error };

struct Trabajo {
  explicit Trabajo(std::string nombre) : entrada(std::move(nombre)) {}
  std::string entrada;
  std::string resultado;
  Estado estado = Estado::Pendiente;
  std::string motivo;  // of an error, or of a refusal found before the run
  std::vector<InformePaso> pasos;
  double segundos = 0;
};

// Why a picture could not be read.
std::string MotivoLectura(const std::string& nombre, const std::string& mensaje) {
  const QFileInfo info(Q(nombre));
  if (!info.exists()) return "no existe";
  if (info.isDir()) return "es una carpeta";
  if (!info.isReadable()) return "no se puede leer (permiso denegado)";
  return mensaje.empty() ? std::string("no es una imagen que se pueda abrir") : mensaje;
}

// Why a result could not be written.
std::string MotivoEscritura(const std::string& resultado, const std::string& mensaje) {
  const QFileInfo carpeta(QFileInfo(Q(resultado)).absolutePath());
  if (!carpeta.exists()) return "no existe la carpeta «" + Nombre(carpeta.filePath()) + "»";
  if (!carpeta.isWritable())
    return "no se puede escribir en la carpeta «" + Nombre(carpeta.filePath()) + "»";
  return mensaje;
}

// The run's shared state: progress, and the gate that lets an interruption
// wait for the results being written.
class Marcha {
 public:
  Marcha(EntornoLote& entorno, bool silencioso, int total)
      : entorno_(entorno), silencioso_(silencioso), total_(total), inicio_(Reloj::now()) {}

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

  void terminado(const Trabajo& t) {
    std::lock_guard lock(mutex_);
    ++hechos_;
    if (t.estado == Estado::Error) {
      borrarBarra();
      entorno_.errores << "morvane-lote: " << t.entrada << ": " << t.motivo << "\n";
    } else if (!silencioso_ && !entorno_.terminal) {
      entorno_.errores << "[" << hechos_ << "/" << total_ << "] " << t.entrada;
      if (t.estado == Estado::Omitida)
        entorno_.errores << ": ya existe " << t.resultado << ", se omite\n";
      else
        entorno_.errores << " -> " << t.resultado << " (" << Decimal(t.segundos, 2) << " s)\n";
    }
    dibujarBarra();
    entorno_.errores.flush();
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

  void fin() {
    std::lock_guard lock(mutex_);
    if (barraDibujada_) entorno_.errores << "\n";
    barraDibujada_ = false;
  }

  double transcurrido() const { return Segundos(Reloj::now() - inicio_); }

 private:
  void borrarBarra() {
    if (barraDibujada_) entorno_.errores << "\r\033[K";
  }
  void dibujarBarra() {
    if (silencioso_ || !entorno_.terminal) return;
    constexpr int ancho = 30;
    const int lleno = total_ > 0 ? hechos_ * ancho / total_ : ancho;
    const double pasado = transcurrido();
    entorno_.errores << "\r[" << std::string(static_cast<std::size_t>(lleno), '#')
                     << std::string(static_cast<std::size_t>(ancho - lleno), '-') << "] " << hechos_
                     << "/" << total_ << "  transcurrido " << Duracion(pasado);
    if (hechos_ > 0 && hechos_ < total_)
      entorno_.errores << "  quedan " << Duracion(pasado / hechos_ * (total_ - hechos_));
    entorno_.errores << "\033[K";
    barraDibujada_ = true;
  }

  EntornoLote& entorno_;
  const bool silencioso_;
  const int total_;
  const Reloj::time_point inicio_;
  std::mutex mutex_;
  std::condition_variable cambio_;
  int escribiendo_ = 0;
  bool cerrada_ = false;
  int hechos_ = 0;
  bool barraDibujada_ = false;
};

void Procesar(Trabajo& t, const OpcionesLote& o, const std::set<Identidad>& entradas,
              Marcha& marcha) {
  const Reloj::time_point inicio = Reloj::now();
  if (!o.sobrescribir && QFileInfo::exists(Q(t.resultado))) {
    t.estado = Estado::Omitida;
    return;
  }
  Picture izquierda;
  try {
    izquierda.load(Q(t.entrada));
  } catch (const std::bad_alloc&) {
    throw std::runtime_error("No hay memoria suficiente para abrir esta imagen");
  } catch (const std::exception&) {
    throw std::runtime_error(MotivoLectura(t.entrada, ""));
  }
  Picture derecha = izquierda;
  try {
    t.pasos = AplicarReceta(izquierda, derecha, o.receta);
  } catch (const std::bad_alloc&) {
    throw std::runtime_error("No hay memoria suficiente para abrir esta imagen");
  } catch (const std::exception& e) {
    throw std::runtime_error(std::string("error en la restauración: ") + e.what());
  }
  // The result never replaces an input, whatever its name (a link, another
  // spelling) and whenever it appeared.
  if (const auto id = IdentidadDe(t.resultado); id && entradas.count(*id))
    throw std::runtime_error("el resultado «" + t.resultado +
                             "» es una imagen de entrada; no se escribe sobre ella");
  if (!marcha.entrarEscritura()) {
    t.estado = Estado::Pendiente;
    return;
  }
  try {
    derecha.save(Q(t.resultado));  // a temporary file renamed over the result
  } catch (const std::exception& e) {
    marcha.salirEscritura();
    throw std::runtime_error(MotivoEscritura(t.resultado, e.what()));
  }
  marcha.salirEscritura();
  t.segundos = Segundos(Reloj::now() - inicio);
  t.estado = Estado::Restaurada;
}

bool EscribirInforme(const std::string& nombre, const std::vector<Trabajo>& trabajos,
                     std::string& error) {
  std::string texto =
      "archivo,resultado,paso,deteccion,puntos_sobre_umbral,puntos_restaurados,segundos,estado\n";
  for (const Trabajo& t : trabajos) {
    const std::string cabeza = CampoCsv(t.entrada) + "," + CampoCsv(t.resultado) + ",";
    switch (t.estado) {
      case Estado::Restaurada:
        for (std::size_t i = 0; i < t.pasos.size(); ++i) {
          const InformePaso& p = t.pasos[i];
          texto += cabeza + std::to_string(i + 1) + "," + NombreDeteccion(p.deteccion) + "," +
                   std::to_string(p.sobreUmbral) + "," + std::to_string(p.restaurados) + "," +
                   Decimal(p.segundos, 3) + ",restaurada\n";
        }
        break;
      case Estado::Omitida:
        texto += cabeza + ",,,,,omitida: ya existe\n";
        break;
      case Estado::Error:
        texto += cabeza + ",,,,," + CampoCsv("error: " + t.motivo) + "\n";
        break;
      case Estado::Pendiente:
        break;
    }
  }
  QSaveFile archivo(Q(nombre));
  if (!archivo.open(QIODevice::WriteOnly) ||
      archivo.write(texto.data(), static_cast<qint64>(texto.size())) !=
          static_cast<qint64>(texto.size()) ||
      !archivo.commit()) {
    error = "no se puede escribir el informe «" + nombre + "»: " + Nombre(archivo.errorString());
    return false;
  }
  return true;
}

}  // namespace

std::vector<InformePaso> AplicarReceta(Picture& izquierda, Picture& derecha, const Receta& receta) {
  Workspace ws;
  AbrirPlanos(ws, izquierda, derecha);
  PrepararReceta(ws, receta);
  VistaEnImagen vista(derecha);
  std::vector<InformePaso> pasos;
  for (std::size_t i = 0; i < receta.pasos.size(); ++i) {
    if (i > 0) CopiarDerechaEnIzquierda(ws, izquierda, derecha, [] {});
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

std::string NombreResultado(const std::string& entrada, const std::string& salida,
                            const std::string& formato) {
  const QFileInfo info(Q(entrada));
  QString extension = Q(formato);
  if (extension.isEmpty()) extension = EsFormato(info.suffix()) ? info.suffix() : "bmp";
  const QString base = info.suffix().isEmpty() ? info.fileName() : info.completeBaseName();
  if (!salida.empty()) return Nombre(QDir(Q(salida)).filePath(base + "." + extension));
  // Next to the input, spelt with the input's own folder part.
  const std::string::size_type barra = entrada.rfind('/');
  const std::string carpeta = barra == std::string::npos ? "" : entrada.substr(0, barra + 1);
  return carpeta + Nombre(base + "_restaurada." + extension);
}

int TrabajosQueCaben(int pedidos, std::uint64_t bytesPorImagen, std::uint64_t disponible) {
  if (bytesPorImagen == 0) return pedidos;
  const std::uint64_t caben = disponible / bytesPorImagen;
  return static_cast<int>(std::max<std::uint64_t>(
      1, std::min<std::uint64_t>(static_cast<std::uint64_t>(pedidos), caben)));
}

int EjecutarLote(const std::vector<std::string>& args, EntornoLote& entorno) {
  std::string error;
  const std::optional<OpcionesLote> analizadas = AnalizarOpciones(args, error);
  const auto refusar = [&](const std::string& motivo) {
    entorno.errores << "morvane-lote: " << motivo << "\n"
                    << "Pruebe «morvane-lote --ayuda» para más información.\n";
    return 2;
  };
  if (!analizadas) return refusar(error);
  const OpcionesLote& o = *analizadas;
  if (o.ayuda) {
    entorno.salida << TextoAyuda();
    return 0;
  }

  // The names: "-" stands for the lines of standard input.
  std::vector<Trabajo> trabajos;
  for (const std::string& a : o.archivos) {
    if (a != "-") {
      trabajos.push_back(Trabajo{a});
      continue;
    }
    std::string linea;
    while (std::getline(entorno.entrada, linea)) {
      if (!linea.empty() && linea.back() == '\r') linea.pop_back();
      if (!linea.empty()) trabajos.push_back(Trabajo{linea});
    }
  }
  if (trabajos.empty()) return refusar("no se ha indicado ninguna imagen");

  const QFileInfo carpeta(Q(o.salida));
  if (!o.salida.empty() && carpeta.exists() && !carpeta.isDir())
    return refusar("Valor incorrecto para --salida: «" + o.salida + "» no es una carpeta");

  std::set<QString> rutasEntrada;
  std::set<Identidad> entradas;
  for (const Trabajo& t : trabajos) {
    rutasEntrada.insert(RutaAbsoluta(t.entrada));
    if (const auto id = IdentidadDe(t.entrada)) entradas.insert(*id);
  }
  if (!o.informe.empty()) {
    const auto id = IdentidadDe(o.informe);
    if (rutasEntrada.count(RutaAbsoluta(o.informe)) || (id && entradas.count(*id)))
      return refusar("Valor incorrecto para --informe: «" + o.informe +
                     "» es una imagen de entrada");
  }

  // Results: never an input, and never the result of another input.
  std::map<QString, std::string> duenos;
  for (Trabajo& t : trabajos) {
    t.resultado = NombreResultado(t.entrada, o.salida, o.formato);
    const QString ruta = RutaAbsoluta(t.resultado);
    const auto id = IdentidadDe(t.resultado);
    if (rutasEntrada.count(ruta) || (id && entradas.count(*id))) {
      t.estado = Estado::Error;
      t.motivo =
          "el resultado «" + t.resultado + "» es una imagen de entrada; no se escribe sobre ella";
    } else if (const auto otro = duenos.find(ruta); otro != duenos.end()) {
      t.estado = Estado::Error;
      t.motivo = "su resultado «" + t.resultado + "» es también el de «" + otro->second + "»";
    } else {
      duenos.emplace(ruta, t.entrada);
    }
  }

  // Files at once: as asked, no more than there are files, and no more than
  // fit in the memory available.
  const int procesadores = entorno.procesadores > 0 ? entorno.procesadores : HilosPorOperacion();
  const int total = static_cast<int>(trabajos.size());
  int hilos = std::min(o.trabajos > 0 ? o.trabajos : procesadores, total);
  Marcha marcha(entorno, o.silencioso, total);
  if (hilos > 1) {
    std::uint64_t porImagen = 0;
    for (const Trabajo& t : trabajos) porImagen = std::max(porImagen, BytesPorImagen(t.entrada));
    const std::optional<std::uint64_t> disponible =
        entorno.memoriaDisponible ? entorno.memoriaDisponible : MemoriaDisponible();
    if (disponible) {
      const int caben = TrabajosQueCaben(hilos, porImagen, *disponible);
      if (caben < hilos) {
        marcha.aviso("se restaurarán " + std::to_string(caben) + " imágenes a la vez en lugar de " +
                     std::to_string(hilos) + ": la memoria disponible (" +
                     std::to_string(*disponible >> 20) + " MB) no alcanza para más (unos " +
                     std::to_string((porImagen + (1 << 20) - 1) >> 20) + " MB por imagen)");
        hilos = caben;
      }
    }
  }

  if (!o.salida.empty() && !QDir().mkpath(Q(o.salida))) {
    entorno.errores << "morvane-lote: no se puede crear la carpeta «" << o.salida << "»\n";
    return 1;
  }

  // Several pictures at once: each one's operations stay on its own thread.
  const int hilosAntes = hilos > 1 ? FijarHilosPorOperacion(1) : -1;

  std::atomic<int> siguiente{0};
  std::atomic<int> activos{hilos};
  std::mutex fin;
  std::condition_variable hecho;
  auto trabajar = [&] {
    for (int i = siguiente++; i < total && !marcha.cerrada(); i = siguiente++) {
      Trabajo& t = trabajos[static_cast<std::size_t>(i)];
      if (t.estado == Estado::Pendiente) {
        try {
          Procesar(t, o, entradas, marcha);
        } catch (const std::exception& e) {
          t.estado = Estado::Error;
          t.motivo = e.what();
        } catch (...) {
          t.estado = Estado::Error;
          t.motivo = "error desconocido";
        }
      }
      if (t.estado != Estado::Pendiente) marcha.terminado(t);
    }
    std::lock_guard lock(fin);
    --activos;
    hecho.notify_all();
  };
  std::vector<std::thread> obreros;
  for (int i = 0; i < hilos; ++i) obreros.emplace_back(trabajar);

  bool interrumpida = false;
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
      if (entorno.interrumpido && *entorno.interrumpido) {
        interrumpida = true;
        break;
      }
    }
  }
  if (interrumpida) {
    // The results being written are finished and nothing else is started;
    // the pictures still being worked on are dropped with the process.
    marcha.cerrar();
    marcha.fin();
    entorno.errores << "morvane-lote: interrumpido; los resultados escritos están completos\n";
    entorno.errores.flush();
    std::_Exit(130);
  }
  for (std::thread& obrero : obreros) obrero.join();
  if (hilosAntes >= 0) FijarHilosPorOperacion(hilosAntes);
  marcha.fin();

  int restauradas = 0, omitidas = 0, fallidas = 0;
  for (const Trabajo& t : trabajos) {
    restauradas += t.estado == Estado::Restaurada;
    omitidas += t.estado == Estado::Omitida;
    fallidas += t.estado == Estado::Error;
  }
  if (!o.informe.empty() && !EscribirInforme(o.informe, trabajos, error)) {
    entorno.errores << "morvane-lote: " << error << "\n";
    ++fallidas;
  }
  if (!o.silencioso)
    entorno.errores << "Restauradas: " << restauradas << ", omitidas: " << omitidas
                    << ", con error: " << fallidas << " (" << Duracion(marcha.transcurrido())
                    << ")\n";
  return fallidas > 0 ? 1 : 0;
}

}  // namespace morvane
