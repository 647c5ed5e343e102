// The index file is read at every start; a damaged or hostile one must be refused without
// reading outside it or allocating more than it justifies, and whatever is accepted must
// save and load back to the same tree.
#include "fuzz/fuzz_support.h"
#include "records/index_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const tw::fuzz::MemoryFile file(data, size);
    if (!file.ok())
        return 0;
    tw::IndexTree tree;
    if (!tw::LoadIndexFile(file.path(), tree))
        return 0;

    const tw::fuzz::MemoryFile first(nullptr, 0), second(nullptr, 0);
    tw::fuzz::check(tw::WriteIndexFile(first.path(), tree), "an accepted tree does not save");
    tw::IndexTree reloaded;
    tw::fuzz::check(tw::LoadIndexFile(first.path(), reloaded), "a saved tree does not load");
    tw::fuzz::check(tw::WriteIndexFile(second.path(), reloaded), "the reloaded tree does not save");
    tw::fuzz::check(first.bytes() == second.bytes(), "save and load do not round trip");
    return 0;
}
