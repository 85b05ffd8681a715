// Opening a hostile file, shared by the fuzzing target and the test that replays
// the seed and regression files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace morvane {

// Writes the bytes to a file and opens it; returns what broke, or nothing:
// - a refused load leaves the picture as it was;
// - a picture that opens saves, opens again with the same size, bit count and
//   colours, and saves again to the same bytes;
// - opening the same bytes twice, with the freed heap filled with other bytes in
//   between, gives the same colours;
// - a BMP or PNM decoded in memory gives what opening the file gives;
// - Qt's reader allocation limit is as it was before the load.
std::string checkOpenAny(const std::uint8_t* data, std::size_t size);

// The fuzzing body: checkOpenAny, aborting with its text when something broke.
int CheckOpenAny(const std::uint8_t* data, std::size_t size);

}  // namespace morvane
