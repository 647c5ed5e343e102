#include "records/record_arena.h"

#include <cstdint>

#include <sys/mman.h>

namespace tw {
namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;

} // namespace

RecordArena::RecordArena(std::size_t bytes)
{
    if (bytes == 0)
        return;
    // Whole huge pages on a huge-page boundary (the mapping is made one page larger to find
    // one), so that every page of the block can be a huge page.
    const std::size_t size = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* p = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED)
        return; // every vector then takes the heap
    m_mapping = p;
    m_mappingSize = size + kHugePage;
    const auto address = reinterpret_cast<std::uintptr_t>(p);
    m_base = reinterpret_cast<char*>((address + kHugePage - 1) & ~(kHugePage - 1));
    m_size = size;
    m_end = size;
    // Only advice: without transparent huge pages the block works with small pages.
    ::madvise(m_base, m_size, MADV_HUGEPAGE);
}

RecordArena::~RecordArena()
{
    if (m_mapping)
        ::munmap(m_mapping, m_mappingSize);
}

void* RecordArena::take(std::size_t bytes) noexcept
{
    const std::size_t start = (m_used + 15) & ~std::size_t(15);
    if (!m_base || bytes > m_end || start > m_end - bytes)
        return nullptr;
    m_used = start + bytes;
    return m_base + start;
}

void RecordArena::Seal() noexcept
{
    m_end = m_used;
    m_sealed = true;
}

} // namespace tw
