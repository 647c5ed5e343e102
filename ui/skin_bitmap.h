#pragma once

#include <string>

#include <QImage>

class QPainter;
class QRect;

namespace tw {

/// One skin bitmap file. Only the skin's own BMP form is accepted: a 14-byte "BM" file
/// header, a 40-byte information header, no compression, 8, 16, 24 or 32 bits per pixel,
/// the colour table (8 bits: 4 bytes per colour used, 256 colours when the count is 0) and
/// the pixel rows (each padded to a multiple of 4 bytes) following without a gap. The file
/// is read straight through; its pixel-offset field is not used. Anything else, a short file
/// included, is refused as a whole.
class CSkinBitmap
{
public:
    /// Refusal reasons (Load answers 1 or one of these).
    static constexpr int kCannotOpen = 0;
    static constexpr int kBadFormat = -1;
    static constexpr int kShortFile = -2;

    /// 1 when loaded (the previous image is replaced); 0 or less when refused, and the
    /// bitmap is then empty (width and height 0).
    int Load(const std::string& path);
    void Clear();

    bool IsEmpty() const { return m_image.isNull(); }
    int Width() const { return m_image.width(); }
    int Height() const { return m_image.height(); }
    const QImage& Image() const { return m_image; }

    /// Copies the whole image with its top-left corner at (x, y), one to one.
    void Draw(QPainter& painter, int x, int y) const;
    /// Copies the source rectangle of the image into the destination rectangle.
    void DrawPart(QPainter& painter, const QRect& destination, const QRect& source) const;

private:
    QImage m_image;
};

/// The byte length of one pixel row: bits per pixel × width rounded up to whole bytes, then
/// to a multiple of 4.
constexpr long long SkinRowBytes(int bitsPerPixel, int width)
{
    return ((static_cast<long long>(bitsPerPixel) * width + 7) / 8 + 3) / 4 * 4;
}

} // namespace tw
