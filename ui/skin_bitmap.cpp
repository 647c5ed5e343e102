#include "ui/skin_bitmap.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <QPainter>
#include <QRect>

namespace tw {
namespace {

constexpr int kFileHeaderBytes = 14;
constexpr int kInfoHeaderBytes = 40;
// Far above any skin part, low enough that a hostile header cannot ask for gigabytes.
constexpr int kMaxSide = 8192;

std::uint32_t le32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t le16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

struct FileCloser
{
    void operator()(std::FILE* f) const { std::fclose(f); }
};

QImage decode(const unsigned char* table, int colours, const unsigned char* pixels, int bpp,
              int width, int height, long long rowBytes)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        // Rows are stored bottom-up.
        const unsigned char* row = pixels + rowBytes * (height - 1 - y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            switch (bpp) {
            case 8: {
                const int i = row[x];
                const unsigned char* c = table + 4 * (i < colours ? i : 0);
                out[x] = i < colours ? qRgb(c[2], c[1], c[0]) : qRgb(0, 0, 0);
                break;
            }
            case 16: {
                const std::uint16_t v = le16(row + 2 * x);
                const int r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
                out[x] = qRgb(r * 255 / 31, g * 255 / 31, b * 255 / 31);
                break;
            }
            case 24:
                out[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
                break;
            default:
                out[x] = qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
                break;
            }
        }
    }
    return image;
}

} // namespace

int CSkinBitmap::Load(const std::string& path)
{
    Clear();
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return kCannotOpen;
    unsigned char header[kFileHeaderBytes + kInfoHeaderBytes];
    if (std::fread(header, 1, sizeof header, file.get()) != sizeof header)
        return kShortFile;
    if (header[0] != 'B' || header[1] != 'M')
        return kBadFormat;
    const unsigned char* info = header + kFileHeaderBytes;
    const std::uint32_t infoSize = le32(info);
    const auto width = static_cast<std::int32_t>(le32(info + 4));
    const auto height = static_cast<std::int32_t>(le32(info + 8));
    const int bpp = le16(info + 14);
    const std::uint32_t compression = le32(info + 16);
    const std::uint32_t coloursUsed = le32(info + 32);
    // The block is laid out as header, colour table, rows: a longer header would put the
    // table where the rows are expected.
    if (infoSize != kInfoHeaderBytes || compression != 0)
        return kBadFormat;
    if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return kBadFormat;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
        return kBadFormat;
    int colours = 0;
    if (bpp == 8) {
        if (coloursUsed > 256)
            return kBadFormat;
        colours = coloursUsed == 0 ? 256 : static_cast<int>(coloursUsed);
    }
    const long long rowBytes = SkinRowBytes(bpp, width);
    const long long rest = 4LL * colours + rowBytes * height;

    // A header that promises more than the file holds is refused before the block is made.
    const long here = std::ftell(file.get());
    if (here < 0 || std::fseek(file.get(), 0, SEEK_END) != 0)
        return kShortFile;
    const long end = std::ftell(file.get());
    if (end < here || end - here < rest || std::fseek(file.get(), here, SEEK_SET) != 0)
        return kShortFile;
    std::vector<unsigned char> block(static_cast<std::size_t>(rest));
    if (std::fread(block.data(), 1, block.size(), file.get()) != block.size())
        return kShortFile;
    m_image =
        decode(block.data(), colours, block.data() + 4 * colours, bpp, width, height, rowBytes);
    return 1;
}

void CSkinBitmap::Clear()
{
    m_image = QImage();
}

void CSkinBitmap::Draw(QPainter& painter, int x, int y) const
{
    if (!m_image.isNull())
        painter.drawImage(x, y, m_image);
}

void CSkinBitmap::DrawPart(QPainter& painter, const QRect& destination, const QRect& source) const
{
    if (!m_image.isNull())
        painter.drawImage(destination, m_image, source);
}

} // namespace tw
