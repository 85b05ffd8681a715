#include "batch/rutas.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace morvane {

namespace {

// Length of the valid UTF-8 sequence at text[i], 0 when it is not one.
std::size_t LargoUtf8(const std::string& text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  std::size_t n = c < 0x80                ? 1
                  : c >= 0xC2 && c < 0xE0 ? 2
                  : c >= 0xE0 && c < 0xF0 ? 3
                  : c >= 0xF0 && c < 0xF5 ? 4
                                          : 0;
  if (n == 0 || i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  if (n == 3 && ((c == 0xE0 && byte(i + 1) < 0xA0) || (c == 0xED && byte(i + 1) >= 0xA0))) return 0;
  if (n == 4 && ((c == 0xF0 && byte(i + 1) < 0x90) || (c == 0xF4 && byte(i + 1) >= 0x90))) return 0;
  return n;
}

std::string Errno(int numero) {
  switch (numero) {
    case ENOSPC:
      return "no queda espacio en el disco";
    case EACCES:
    case EPERM:
      return "permiso denegado";
    case EROFS:
      return "el sistema de ficheros es de solo lectura";
    case ENOENT:
      return "no existe";
    case ENOTDIR:
      return "una parte del nombre no es una carpeta";
    default:
      return std::strerror(numero);
  }
}

}  // namespace

std::string Legible(const std::string& nombre) {
  std::string texto;
  for (std::size_t i = 0; i < nombre.size();) {
    const std::size_t n = LargoUtf8(nombre, i);
    const unsigned char c = static_cast<unsigned char>(nombre[i]);
    if (n == 0 || c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", c);
      texto += escape;
      ++i;
    } else {
      texto.append(nombre, i, n);
      i += n;
    }
  }
  return texto;
}

std::string Absoluta(const std::string& nombre) {
  std::string entera = nombre;
  if (nombre.empty() || nombre[0] != '/') {
    std::vector<char> cwd(4096);
    while (::getcwd(cwd.data(), cwd.size()) == nullptr && errno == ERANGE)
      cwd.resize(cwd.size() * 2);
    entera = std::string(cwd.data()) + "/" + nombre;
  }
  std::vector<std::string> partes;
  std::size_t inicio = 0;
  while (inicio <= entera.size()) {
    std::size_t fin = entera.find('/', inicio);
    if (fin == std::string::npos) fin = entera.size();
    const std::string parte = entera.substr(inicio, fin - inicio);
    if (parte == "..") {
      if (!partes.empty()) partes.pop_back();
    } else if (!parte.empty() && parte != ".") {
      partes.push_back(parte);
    }
    inicio = fin + 1;
  }
  std::string limpia;
  for (const std::string& parte : partes) limpia += "/" + parte;
  return limpia.empty() ? "/" : limpia;
}

std::string CarpetaDe(const std::string& absoluta) {
  const std::size_t barra = absoluta.rfind('/');
  return barra == 0 || barra == std::string::npos ? "/" : absoluta.substr(0, barra);
}

std::string UltimaParte(const std::string& nombre) {
  const std::size_t barra = nombre.rfind('/');
  return barra == std::string::npos ? nombre : nombre.substr(barra + 1);
}

bool Dentro(const std::string& absoluta, const std::string& carpeta) {
  if (carpeta == "/") return true;
  return absoluta == carpeta ||
         (absoluta.size() > carpeta.size() && absoluta.compare(0, carpeta.size(), carpeta) == 0 &&
          absoluta[carpeta.size()] == '/');
}

std::optional<Identidad> IdentidadDe(const std::string& nombre) {
  struct stat st;
  if (::stat(nombre.c_str(), &st) != 0) return std::nullopt;
  return Identidad{st.st_dev, st.st_ino};
}

std::string MotivoEntrada(const std::string& nombre) {
  struct stat st;
  if (::stat(nombre.c_str(), &st) != 0) return errno == ENOENT ? "no existe" : Errno(errno);
  if (S_ISREG(st.st_mode))
    return ::access(nombre.c_str(), R_OK) == 0 ? "" : "no se puede leer (permiso denegado)";
  if (S_ISDIR(st.st_mode)) return "es una carpeta";
  if (S_ISFIFO(st.st_mode)) return "es una FIFO, no un fichero; no se abre";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
    return "es un dispositivo, no un fichero; no se abre";
  return "no es un fichero normal; no se abre";
}

std::optional<std::string> CrearCarpetas(const std::string& carpeta) {
  std::string hecha;
  std::size_t inicio = carpeta[0] == '/' ? 1 : 0;
  while (true) {
    const std::size_t fin = carpeta.find('/', inicio);
    hecha = carpeta.substr(0, fin);
    if (!hecha.empty() && ::mkdir(hecha.c_str(), 0777) != 0 && errno != EEXIST)
      return "no se puede crear la carpeta «" + Legible(hecha) + "»: " + Errno(errno);
    if (fin == std::string::npos) break;
    inicio = fin + 1;
  }
  struct stat st;
  if (::stat(carpeta.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return "«" + Legible(carpeta) + "» no es una carpeta";
  return std::nullopt;
}

std::string MotivoCarpetaNoEscribible(const std::string& carpeta) {
  std::string existente = carpeta;
  struct stat st;
  while (::stat(existente.c_str(), &st) != 0 && existente != "/") existente = CarpetaDe(existente);
  if (!S_ISDIR(st.st_mode)) return "«" + Legible(existente) + "» no es una carpeta";
  if (::access(existente.c_str(), W_OK | X_OK) != 0)
    return "no se puede escribir en la carpeta «" + Legible(existente) + "» (" + Errno(errno) + ")";
  return "";
}

std::optional<std::uint64_t> EspacioLibre(const std::string& carpeta) {
  struct statvfs st;
  if (::statvfs(carpeta.c_str(), &st) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
}

}  // namespace morvane
