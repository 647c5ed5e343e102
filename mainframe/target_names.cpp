#include "mainframe/target_names.h"

namespace tw {
namespace {

constexpr std::size_t kExtensionLength = 4;

std::string_view withoutLast(std::string_view text, std::size_t count)
{
    return text.substr(0, text.size() > count ? text.size() - count : 0);
}

} // namespace

std::string MakeTargetName(std::string_view path, int codec, bool forEmail)
{
    std::string name(withoutLast(path, kExtensionLength));
    if (forEmail)
        name += "_em";
    name += codec >= 0 && codec <= 3 ? ".wav" : ".mp3";
    return name;
}

std::string ConvertedWavName(std::string_view path)
{
    const std::string_view extension =
        path.substr(path.size() > kExtensionLength ? path.size() - kExtensionLength : 0);
    return std::string(withoutLast(path, kExtensionLength)) + "_1" + std::string(extension);
}

std::string UnwrappedMp3Name(std::string_view wavPath, std::size_t cut)
{
    return std::string(withoutLast(wavPath, cut)) + ".mp3";
}

bool IsConvertedWavName(std::string_view path)
{
    return path.ends_with("_1.wav");
}

} // namespace tw
