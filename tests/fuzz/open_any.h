// Opening a hostile file, shared by the fuzzing target and the test that replays
// the seed and regression files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace morvane {

// Writes the bytes to a file and opens it; returns what broke, or nothing: a
// refused load leaves the picture as it was; an opened one saves, reopens the same
// and saves the same bytes again, opens the same twice whatever the freed heap
// held, and is what decoding a BMP or PNM in memory gives; Qt's limit is kept.
std::string checkOpenAny(const std::uint8_t* data, std::size_t size);

}  // namespace morvane
