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
