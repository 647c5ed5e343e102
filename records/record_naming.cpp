#include "records/record_naming.h"

#include <cstdio>
#include <vector>

#include "platform/file_util.h"
#include "platform/utf.h"

namespace tw {
namespace {

bool mustEscape(unsigned char c, bool first)
{
    if (c < 0x20 || c == 0x7F)
        return true;
    switch (c) {
    case '/':
    case '\\':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
    case '%':
        return true;
    case '.':
        return first;
    default:
        return false;
    }
}

std::string escapeByte(unsigned char c)
{
    char buf[4];
    std::snprintf(buf, sizeof buf, "%%%02X", c);
    return buf;
}

// The safe form of a handle as indivisible pieces: an escape or one whole character each.
std::vector<std::string> safePieces(std::string_view handle)
{
    std::vector<std::string> pieces;
    std::size_t pos = 0;
    while (pos < handle.size()) {
        const auto c = static_cast<unsigned char>(handle[pos]);
        std::size_t next = pos;
        const char32_t cp = decodeUtf8(handle, next);
        // A one-byte step is either ASCII or a byte that starts no well-formed sequence.
        if (next == pos + 1 && (cp >= 0x80 || mustEscape(c, pos == 0)))
            pieces.push_back(escapeByte(c));
        else
            pieces.emplace_back(handle.substr(pos, next - pos));
        pos = next;
    }
    return pieces;
}

std::string formatLocal(std::time_t t, const char* format)
{
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    const std::size_t n = std::strftime(buf, sizeof buf, format, &tm);
    return std::string(buf, n);
}

} // namespace

std::string SafeFileNamePart(std::string_view handle)
{
    std::string out;
    for (const std::string& piece : safePieces(handle))
        out += piece;
    return out;
}

std::string UnescapeFileNamePart(std::string_view part)
{
    const auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(part.size());
    for (std::size_t i = 0; i < part.size(); ++i) {
        if (part[i] == '%' && i + 2 < part.size() && hex(part[i + 1]) >= 0 &&
            hex(part[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hex(part[i + 1]) * 16 + hex(part[i + 2])));
            i += 2;
        } else {
            out.push_back(part[i]);
        }
    }
    // Only an exact inverse is believed: escaping the result must give the text back.
    return SafeFileNamePart(out) == part ? out : std::string(part);
}

namespace {

bool clockFieldsInRange(std::string_view name)
{
    const int max[6] = {23, 59, 59, 23, 59, 59};
    for (int i = 0; i < 6; ++i) {
        const char a = name[2 + 2 * i];
        const char b = name[3 + 2 * i];
        if (a < '0' || a > '9' || b < '0' || b > '9' || (a - '0') * 10 + (b - '0') > max[i])
            return false;
    }
    return true;
}

bool endsWith(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

bool endsWithIgnoreCase(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() &&
           equalsIgnoreCase(text.substr(text.size() - tail.size()), tail);
}

constexpr std::string_view kFinishTempEnd = "-tmp";
constexpr std::string_view kFinishSteps[] = {"cut", "mix", "join"};

} // namespace

bool IsRecordFileName(std::string_view name)
{
    const bool wav = endsWithIgnoreCase(name, ".wav") && !endsWith(name, "_em.wav");
    const bool mp3 = endsWithIgnoreCase(name, ".mp3") && !endsWith(name, "_em.mp3");
    return (wav || mp3) && name.size() >= 19 && name.substr(0, 2) == "ti" &&
           name.find('/') == std::string_view::npos && clockFieldsInRange(name) &&
           (name[14] == 'v' || name[14] == 'c');
}

std::string TemporaryFileStem(std::string_view name)
{
    if (!IsRecordFileName(name))
        return {};
    const std::string_view stem = name.substr(0, name.size() - 4);
    for (const std::string_view tag : {"_1", "_3", "_4", "_5", ".mp3.pcm", ".wav.pcm"}) {
        if (stem.size() >= 15 + tag.size() && endsWith(stem, tag))
            return std::string(stem.substr(0, stem.size() - tag.size()));
    }
    return {};
}

std::string FormatClockTime(std::time_t t)
{
    return formatLocal(t, "%H%M%S");
}

std::string_view RecordTypeLetter(int recordType)
{
    switch (recordType) {
    case 1:
        return "v";
    case 2:
        return "c";
    case 3:
        return "t";
    default:
        return "";
    }
}

std::string SegmentFileName(std::time_t start, std::time_t end, bool microphone)
{
    return "ti" + FormatClockTime(start) + FormatClockTime(end) + (microphone ? "m" : "o") + ".wav";
}

std::string UniquePath(const std::string& folder, std::string_view base, std::string_view ext,
                       const std::function<bool(const std::string&)>& taken)
{
    std::string path = JoinPath(folder, std::string(base) + std::string(ext));
    for (int n = 2; taken && taken(path); ++n)
        path = JoinPath(folder, std::string(base) + "-" + std::to_string(n) + std::string(ext));
    return path;
}

std::string RecordFilePath(const std::string& folder, std::time_t start, std::time_t end,
                           int recordType, std::string_view handle, std::string_view ext)
{
    const std::string stem = "ti" + FormatClockTime(start) + FormatClockTime(end) +
                             std::string(RecordTypeLetter(recordType));
    const std::string bare = JoinPath(folder, stem + std::string(ext));
    std::size_t units = utf16Length(bare);
    std::size_t nameBytes = stem.size() + ext.size();
    if (units > kMaxRecordPathUnits || nameBytes > kMaxFileNameBytes)
        return {};
    std::string part;
    for (const std::string& piece : safePieces(handle)) {
        const std::size_t pieceUnits = utf16Length(piece);
        if (units + pieceUnits > kMaxRecordPathUnits ||
            nameBytes + piece.size() > kMaxFileNameBytes)
            break;
        part += piece;
        units += pieceUnits;
        nameBytes += piece.size();
    }
    return JoinPath(folder, stem + part + std::string(ext));
}

std::string FinishTempPath(std::string_view path, std::string_view step)
{
    const auto slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    return std::string(path.substr(0, nameStart)) + "." + std::string(path.substr(nameStart)) +
           "." + std::string(step) + std::string(kFinishTempEnd);
}

std::string FinishTempSource(std::string_view name)
{
    if (name.size() < 2 || name[0] != '.' || !endsWith(name, kFinishTempEnd))
        return {};
    std::string_view rest = name.substr(1, name.size() - 1 - kFinishTempEnd.size());
    for (const std::string_view step : kFinishSteps) {
        if (rest.size() > step.size() + 1 && endsWith(rest, step) &&
            rest[rest.size() - step.size() - 1] == '.') {
            const std::string_view source = rest.substr(0, rest.size() - step.size() - 1);
            // Only what the finisher works on: segments and records, never another hidden
            // file or one in another folder.
            if (source.substr(0, 2) == "ti" && source.find('/') == std::string_view::npos &&
                endsWithIgnoreCase(source, ".wav"))
                return std::string(source);
        }
    }
    return {};
}

std::string InsertBeforeExtension(std::string_view path, std::string_view tag)
{
    const auto slash = path.rfind('/');
    const std::size_t nameLength =
        slash == std::string_view::npos ? path.size() : path.size() - slash - 1;
    if (nameLength < 4)
        return std::string(path) + std::string(tag);
    const std::size_t cut = path.size() - 4;
    return std::string(path.substr(0, cut)) + std::string(tag) + std::string(path.substr(cut));
}

} // namespace tw
