// The batch program's CSV report: one row per picture and step, written whole
// through a temporary file renamed over the report, and the earlier report's
// rows, kept for the results a rerun skips.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

inline constexpr const char* kCabeceraInforme =
    "archivo,resultado,paso,deteccion,puntos_sobre_umbral,puntos_restaurados,segundos,estado,"
    "receta\n";

std::string CampoCsv(const std::string& texto);

// The records of a CSV text (quoted fields may hold commas, quotes and line
// ends), each split in fields.
std::vector<std::vector<std::string>> LeerCsv(const std::string& texto);

// The rows of an earlier report by result (second field), each as it was
// written (without its line end); nothing when there is no such file.
std::map<std::string, std::vector<std::string>> FilasAnteriores(const std::string& nombre);

// Why the report cannot be written where it is asked (tried by creating and
// removing a file beside it); nothing when it can.
std::optional<std::string> MotivoInformeNoEscribible(const std::string& nombre);

// Writes text whole to nombre: a temporary file beside it, renamed over it.
// On failure, the reason.
std::optional<std::string> EscribirEntero(const std::string& nombre, const std::string& texto);

}  // namespace morvane
