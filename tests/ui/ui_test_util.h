#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QByteArray>

namespace tw::test {

/// The build tree's program data folder (skins as installed).
std::string BuildDataFolder();

/// A BMP as the skin writes it: 14-byte file header, 40-byte information header, colour
/// table, rows. Fields can be bent to make bad files.
struct BmpSpec
{
    int width = 3;
    int height = 2;
    int bitsPerPixel = 24;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
    std::uint32_t infoSize = 40;
    int tableColours = -1; ///< colours actually written (-1: as the header says)
};
QByteArray MakeBmp(const BmpSpec& spec, std::uint32_t fill = 0x00336699);

/// Writes bytes to a file; false when that fails.
bool WriteFile(const std::string& path, const QByteArray& bytes);

} // namespace tw::test
