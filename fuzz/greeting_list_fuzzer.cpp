// The greeting list ("greeting.ini") sits in the user's greeting folder, where people edit
// it: any content must answer a count and, for every index, a name and a file.
#include <fstream>
#include <limits>

#include "fuzz/fuzz_support.h"
#include "mainframe/greetings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& folder = tw::fuzz::scratchFolder();
    {
        std::ofstream list(folder + "/" + tw::kGreetingListFile,
                           std::ios::binary | std::ios::trunc);
        list.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const int count = tw::GetGreetingCount(folder);
    // The count saturates at INT_MAX; the index past it must not overflow here either.
    const int past = count < std::numeric_limits<int>::max() ? count + 1 : count;
    for (int index : {-1, 0, 1, 2, count, past, 1 << 30}) {
        std::string name, file;
        tw::GetGreeting(folder, index, &name, &file);
        tw::fuzz::check(!file.empty(), "no greeting file answered");
    }
    std::string name, file;
    (void)tw::MakeGreetingLookup(folder)(1, name, file);
    return 0;
}
