#include "batch/informe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "batch/rutas.h"

namespace morvane {

namespace {

std::string Razon(int numero) {
  return numero == ENOSPC                      ? "no queda espacio en el disco"
         : numero == EACCES || numero == EPERM ? "permiso denegado"
                                               : std::strerror(numero);
}

// A file of a fresh name beside nombre, open for writing; -1 with errno set on
// failure.
int CrearTemporal(const std::string& nombre, std::string& temporal) {
  temporal = CarpetaDe(Absoluta(nombre)) + "/." + UltimaParte(nombre) + ".XXXXXX";
  return ::mkstemp(temporal.data());
}

}  // namespace

std::string CampoCsv(const std::string& texto) {
  if (texto.find_first_of(",\"\n\r") == std::string::npos) return texto;
  std::string campo = "\"";
  for (char ch : texto) {
    if (ch == '"') campo += '"';
    campo += ch;
  }
  return campo + "\"";
}

std::vector<std::vector<std::string>> LeerCsv(const std::string& texto) {
  std::vector<std::vector<std::string>> filas;
  std::vector<std::string> fila(1);
  bool entreComillas = false;
  for (std::size_t i = 0; i < texto.size(); ++i) {
    const char ch = texto[i];
    if (entreComillas) {
      if (ch == '"' && i + 1 < texto.size() && texto[i + 1] == '"') {
        fila.back() += '"';
        ++i;
      } else if (ch == '"') {
        entreComillas = false;
      } else {
        fila.back() += ch;
      }
    } else if (ch == '"') {
      entreComillas = true;
    } else if (ch == ',') {
      fila.emplace_back();
    } else if (ch == '\n') {
      filas.push_back(std::move(fila));
      fila.assign(1, "");
    } else if (ch != '\r') {
      fila.back() += ch;
    }
  }
  if (fila.size() > 1 || !fila[0].empty()) filas.push_back(std::move(fila));
  return filas;
}

std::map<std::string, std::vector<std::string>> FilasAnteriores(const std::string& nombre) {
  std::map<std::string, std::vector<std::string>> filas;
  struct stat st;
  if (::stat(nombre.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return filas;
  std::ifstream archivo(nombre, std::ios::binary);
  std::ostringstream texto;
  texto << archivo.rdbuf();
  const auto registros = LeerCsv(texto.str());
  for (std::size_t i = 1; i < registros.size(); ++i) {
    const auto& campos = registros[i];
    if (campos.size() < 8) continue;
    std::string linea;
    for (std::size_t k = 0; k < campos.size(); ++k) {
      if (k > 0) linea += ',';
      linea += CampoCsv(campos[k]);
    }
    filas[campos[1]].push_back(linea);
  }
  return filas;
}

std::optional<std::string> MotivoInformeNoEscribible(const std::string& nombre) {
  struct stat st;
  if (::stat(nombre.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    return "«" + Legible(nombre) + "» no es un fichero normal";
  std::string temporal;
  const int fd = CrearTemporal(nombre, temporal);
  if (fd < 0) return Razon(errno) + " en la carpeta «" + Legible(CarpetaDe(Absoluta(nombre))) + "»";
  ::close(fd);
  ::unlink(temporal.c_str());
  return std::nullopt;
}

std::optional<std::string> EscribirEntero(const std::string& nombre, const std::string& texto) {
  std::string temporal;
  const int fd = CrearTemporal(nombre, temporal);
  if (fd < 0) return Razon(errno);
  std::size_t escritos = 0;
  while (escritos < texto.size()) {
    const ssize_t n = ::write(fd, texto.data() + escritos, texto.size() - escritos);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    escritos += static_cast<std::size_t>(n);
  }
  const int error = escritos < texto.size() ? (errno ? errno : ENOSPC) : 0;
  const mode_t mascara = ::umask(0);
  ::umask(mascara);
  ::fchmod(fd, 0666 & ~mascara);
  const bool bien = error == 0 && ::fsync(fd) == 0 && ::close(fd) == 0 &&
                    ::rename(temporal.c_str(), nombre.c_str()) == 0;
  if (bien) return std::nullopt;
  const int motivo = error ? error : errno;
  if (error) ::close(fd);
  ::unlink(temporal.c_str());
  return Razon(motivo);
}

}  // namespace morvane
