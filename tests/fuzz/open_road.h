// The open road as a hostile file meets it: bytes -> a file -> the picture
// object's load -> every level read -> save -> load again. Shared by the fuzzing
// target and by the test that replays the seed and regression files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace morvane {

// Runs the open road over one file's bytes. Returns an empty text when every
// promise holds, otherwise what broke:
// - a refused load leaves the picture as it was;
// - a picture that opens saves, opens again with the same size, bit count and
//   colours, and saves again to the same bytes;
// - opening the same bytes twice, with the freed heap filled with other bytes in
//   between, gives the same colours;
// - a BMP or PNM decoded in memory gives what the file road gives;
// - Qt's reader allocation limit is as it was before the load.
std::string checkOpenRoad(const std::uint8_t* data, std::size_t size);

// The fuzzing body: checkOpenRoad, aborting with its text on a broken promise.
int CheckOpenRoad(const std::uint8_t* data, std::size_t size);

}  // namespace morvane
