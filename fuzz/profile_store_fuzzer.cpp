// The INI store reads settings files that other programs and people edit. Whatever it
// loads, a write must read back, must not disturb another key, and the saved text must load
// to the same values.
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "platform/profile_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tw::ProfileStore store;
    store.loadText(text);

    // Names taken from the input itself hit the lines that are there.
    std::string section = "Settings", key = "Key";
    if (const auto open = text.find('['); open != std::string_view::npos) {
        const auto close = text.find(']', open);
        if (close != std::string_view::npos)
            section = std::string(text.substr(open + 1, close - open - 1));
    }
    if (const auto eq = text.rfind('='); eq != std::string_view::npos) {
        const auto lineStart = text.rfind('\n', eq);
        key = std::string(
            text.substr(lineStart == std::string_view::npos ? 0 : lineStart + 1,
                        eq - (lineStart == std::string_view::npos ? 0 : lineStart + 1)));
    }
    // Callers pass names without surrounding blanks, as the file's names are read.
    for (std::string* name : {&section, &key}) {
        const auto first = name->find_first_not_of(" \t");
        const auto last = name->find_last_not_of(" \t");
        *name = first == std::string::npos ? std::string() : name->substr(first, last - first + 1);
    }
    (void)store.getInt(section, key, 7);
    (void)store.getInt64(section, key, -1);
    (void)store.entries(section);
    const auto other = store.get("Other", "Untouched");

    if (store.set(section, key, "new value")) {
        const auto got = store.get(section, key);
        tw::fuzz::check(got && *got == "new value", "a written value reads back");
        tw::fuzz::check(store.get("Other", "Untouched") == other || section == "Other",
                        "a write changed another key");
        tw::ProfileStore reloaded;
        reloaded.loadText(store.text());
        tw::fuzz::check(reloaded.get(section, key) == got, "a saved value loads back");
    }
    return 0;
}
