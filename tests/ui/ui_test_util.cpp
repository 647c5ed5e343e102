#include "ui_test_util.h"

#include <QFile>

namespace tw::test {
namespace {

void put32(QByteArray& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

void put16(QByteArray& b, std::uint16_t v)
{
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}

} // namespace

std::string BuildDataFolder()
{
    return std::string(TW_BINARY_DIR) + "/share/tellwick";
}

QByteArray MakeBmp(const BmpSpec& s, std::uint32_t fill)
{
    const int colours = s.bitsPerPixel == 8 ? (s.coloursUsed ? int(s.coloursUsed) : 256) : 0;
    const int tableColours = s.tableColours >= 0 ? s.tableColours : colours;
    const int row = ((s.bitsPerPixel * s.width + 7) / 8 + 3) / 4 * 4;
    QByteArray b;
    b.append("BM");
    put32(b, 0); // file size: not read
    put32(b, 0);
    put32(b, 54 + 4 * tableColours);
    put32(b, s.infoSize);
    put32(b, std::uint32_t(s.width));
    put32(b, std::uint32_t(s.height));
    put16(b, 1);
    put16(b, std::uint16_t(s.bitsPerPixel));
    put32(b, s.compression);
    put32(b, std::uint32_t(row * s.height));
    put32(b, 2835);
    put32(b, 2835);
    put32(b, s.coloursUsed);
    put32(b, 0);
    for (int i = 0; i < tableColours; ++i)
        put32(b, i == 1 ? fill : 0);
    for (int y = 0; y < s.height; ++y) {
        QByteArray line;
        for (int x = 0; x < s.width; ++x) {
            switch (s.bitsPerPixel) {
            case 8:
                line.append(char(1));
                break;
            case 16: // 5-5-5 of the fill colour
                put16(line, std::uint16_t((((fill >> 19) & 31) << 10) | (((fill >> 11) & 31) << 5) |
                                          ((fill >> 3) & 31)));
                break;
            case 24:
                line.append(char(fill & 0xFF));
                line.append(char((fill >> 8) & 0xFF));
                line.append(char((fill >> 16) & 0xFF));
                break;
            case 32:
                put32(line, fill);
                break;
            default:
                line.append(char(0x11));
                break;
            }
        }
        line.append(QByteArray(row - line.size() > 0 ? row - line.size() : 0, '\0'));
        b.append(line.left(row));
    }
    return b;
}

bool WriteFile(const std::string& path, const QByteArray& bytes)
{
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace tw::test
