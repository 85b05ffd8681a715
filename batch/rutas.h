// File names as the file system holds them: byte strings, never assumed to be
// UTF-8, shown readably in messages.
#pragma once

#include <sys/types.h>

#include <compare>
#include <cstdint>
#include <optional>
#include <string>

namespace morvane {

// The name as a message shows it: valid UTF-8 as it is, any other byte and
// control characters as \xNN.
std::string Legible(const std::string& nombre);

// An absolute, clean spelling of a name: from the working folder, without
// ".", ".." or doubled slashes (worked out on the text, links not followed).
std::string Absoluta(const std::string& nombre);
// Folder part and last part of a clean absolute name.
std::string CarpetaDe(const std::string& absoluta);
std::string UltimaParte(const std::string& nombre);
// Whether absoluta lies in carpeta or below it.
bool Dentro(const std::string& absoluta, const std::string& carpeta);

// The file a name points to, when it exists: links and other spellings of the
// same file compare equal.
struct Identidad {
  dev_t dispositivo;
  ino_t nodo;
  auto operator<=>(const Identidad&) const = default;
};
std::optional<Identidad> IdentidadDe(const std::string& nombre);

// Why a name cannot be an input (no such file, a folder, a FIFO or a device),
// found without opening it; empty for a regular file.
std::string MotivoEntrada(const std::string& nombre);

// Creates a folder and the ones above it; on failure, the reason.
std::optional<std::string> CrearCarpetas(const std::string& carpeta);
// Why no file can be created in a folder (or, when it does not exist yet, in
// the nearest folder above it that does); empty when it can.
std::string MotivoCarpetaNoEscribible(const std::string& carpeta);

// Bytes free for this user in the file system of a folder.
std::optional<std::uint64_t> EspacioLibre(const std::string& carpeta);

}  // namespace morvane
