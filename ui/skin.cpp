#include "ui/skin.h"

#include <set>

#include "ui/skin_bitmap.h"
#include "ui/ui_log.h"

namespace tw {
namespace {

std::string& skinFolder()
{
    static std::string folder;
    return folder;
}

} // namespace

void SetSkinFolder(const std::string& programDataFolder)
{
    skinFolder() = programDataFolder.empty() ? std::string() : programDataFolder + "/ui";
}

std::string SkinPath(const std::string& relative)
{
    return skinFolder() + "/" + relative;
}

bool LoadSkin(CSkinBitmap& bitmap, const std::string& relative)
{
    const std::string path = SkinPath(relative);
    const int result = bitmap.Load(path);
    if (result == 1)
        return true;
    static std::set<std::string> reported;
    if (reported.insert(path).second) {
        const char* why = result == CSkinBitmap::kCannotOpen  ? "cannot be opened"
                          : result == CSkinBitmap::kShortFile ? "is cut short"
                                                              : "is not a skin bitmap";
        uiLog("Skin file " + path + " " + why + "; drawing a plain face instead.");
    }
    return false;
}

} // namespace tw

namespace tw {

QPixmap KeyedPixmap(const QImage& image, unsigned key)
{
    QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(argb.scanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if ((line[x] & 0xFFFFFF) == key)
                line[x] = 0;
    }
    return QPixmap::fromImage(argb);
}

} // namespace tw
