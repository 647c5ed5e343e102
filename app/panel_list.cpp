#include "app/panel_list.h"

#include <algorithm>
#include <cstdint>
#include <set>

#include "mainframe/settings_keys.h"
#include "platform/profile_store.h"
#include "platform/utf.h"

namespace tw {
namespace {

// "Record12" -> 12; 0 for anything else ("Record012" is not the key "Record12").
std::int64_t recordNumber(const std::string& key)
{
    constexpr std::string_view prefix = keys::kRecordPrefix;
    if (key.size() <= prefix.size() || key.size() > prefix.size() + 10 ||
        !equalsIgnoreCase(std::string_view(key).substr(0, prefix.size()), prefix) ||
        key[prefix.size()] == '0')
        return 0;
    std::int64_t n = 0;
    for (std::size_t i = prefix.size(); i < key.size(); ++i) {
        if (key[i] < '0' || key[i] > '9')
            return 0;
        n = n * 10 + (key[i] - '0');
    }
    return n;
}

} // namespace

PanelList LoadPanelList(const std::string& path, const RecordKeyLookup& index)
{
    PanelList list;
    const ProfileStore store(path);
    const int count = store.getInt(keys::kSPList, keys::kCount, 0);
    if (count <= 0)
        return list;
    const int current = store.getInt(keys::kSPList, keys::kRecordCur, 0);

    // Walk the keys that exist rather than 1 .. nCount: a damaged count of two billion must
    // not mean two billion lookups.
    std::set<std::int64_t> numbers;
    for (const auto& entry : store.entries(keys::kSPList)) {
        const std::int64_t n = recordNumber(entry.first);
        if (n >= 1 && n <= count)
            numbers.insert(n);
    }
    for (const std::int64_t n : numbers) {
        // Written as signed 32-bit ("%d"); start times past 2038 come back negative.
        const std::int64_t number =
            store.getInt64(keys::kSPList, keys::kRecordPrefix + std::to_string(n), 0);
        if (number == 0 || number < INT32_MIN || number > UINT32_MAX)
            continue;
        const auto startTime = static_cast<std::uint32_t>(number);
        if (index.hasRecord(startTime))
            list.records.push_back(startTime);
    }
    list.current = std::clamp(current, 0, static_cast<int>(list.records.size()));
    return list;
}

bool SavePanelList(const std::string& path, const PanelList& list)
{
    ProfileStore store(path);
    bool ok =
        store.setInt(keys::kSPList, keys::kCount, static_cast<long long>(list.records.size())) &&
        store.setInt(keys::kSPList, keys::kRecordCur, list.current);
    for (std::size_t i = 0; i < list.records.size(); ++i)
        ok = ok && store.setInt(keys::kSPList, keys::kRecordPrefix + std::to_string(i + 1),
                                static_cast<std::int32_t>(list.records[i]));
    return ok && store.save();
}

} // namespace tw
