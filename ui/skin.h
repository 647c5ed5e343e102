#pragma once

#include <string>

#include <QImage>
#include <QPixmap>

namespace tw {

class CSkinBitmap;

/// Where the skin's bitmaps lie: "<program data folder>/ui/..." (the installed
/// share/tellwick, or the build tree's copy). Set once at start-up, before any window.
void SetSkinFolder(const std::string& programDataFolder);
/// The full path of a skin file given below "ui/", e.g. "m_panel/btn/play.bmp".
std::string SkinPath(const std::string& relative);
/// Loads a skin file; a missing or damaged file is written to the event log once per path
/// and the caller draws its plain face instead. True when loaded.
bool LoadSkin(CSkinBitmap& bitmap, const std::string& relative);
/// The image with every pixel of the key colour (0xRRGGBB) made transparent: the skin's
/// bitmaps have no alpha, so icons name a colour that stands for "no paint".
QPixmap KeyedPixmap(const QImage& image, unsigned key);

} // namespace tw
