#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

namespace tw {

/// One block of memory for the records of an index being loaded: 100 000 records are 87 MB,
/// and taking them as one block asked for with huge pages costs a few dozen page faults
/// instead of one per 4 KiB page. Blocks are handed out front to back and never given back
/// one by one; the block goes when the last vector using it does. Thread-safe only as far
/// as one loader fills it.
class RecordArena
{
public:
    /// Reserves address space for bytes; nothing is touched yet.
    explicit RecordArena(std::size_t bytes);
    ~RecordArena();
    RecordArena(const RecordArena&) = delete;
    RecordArena& operator=(const RecordArena&) = delete;

    /// bytes from the block (aligned to 16), or null when the block has no room left.
    void* take(std::size_t bytes) noexcept;
    /// Hands out nothing more: what vectors ask for later comes from the heap, where it can
    /// be given back.
    void Seal() noexcept;
    bool Sealed() const noexcept { return m_sealed; }
    bool owns(const void* p) const noexcept
    {
        const auto* c = static_cast<const char*>(p);
        return m_base && c >= m_base && c < m_base + m_size;
    }

private:
    void* m_mapping = nullptr;
    std::size_t m_mappingSize = 0;
    char* m_base = nullptr;
    std::size_t m_size = 0; ///< of the block at m_base
    std::size_t m_end = 0;  ///< where handing out stops
    std::size_t m_used = 0;
    bool m_sealed = false;
};

/// The allocator of an index day's records. With an arena it takes its first block from
/// there (growth later comes from the heap, as with std::allocator). While the arena is
/// being filled (not sealed), default construction of an element leaves its bytes as they
/// are: the loader reads the file into them, so zero-filling them first would only touch
/// the memory twice. Otherwise elements are constructed as usual. A copy of a vector (a
/// copied tree) gets the heap.
template <typename T> class RecordAllocator
{
public:
    using value_type = T;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;
    using is_always_equal = std::false_type;

    RecordAllocator() noexcept = default;
    explicit RecordAllocator(std::shared_ptr<RecordArena> arena) noexcept
        : m_arena(std::move(arena))
    {}
    template <typename U>
    RecordAllocator(const RecordAllocator<U>& other) noexcept : m_arena(other.arena())
    {}

    T* allocate(std::size_t n)
    {
        if (m_arena)
            if (void* p = m_arena->take(n * sizeof(T)))
                return static_cast<T*>(p);
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, std::size_t n) noexcept
    {
        if (!m_arena || !m_arena->owns(p))
            std::allocator<T>().deallocate(p, n);
    }

    template <typename U> void construct(U* p) noexcept(noexcept(U()))
    {
        if (!m_arena || m_arena->Sealed())
            ::new (static_cast<void*>(p)) U();
    }
    template <typename U, typename... Args> void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    RecordAllocator select_on_container_copy_construction() const noexcept { return {}; }
    const std::shared_ptr<RecordArena>& arena() const noexcept { return m_arena; }

    template <typename U> bool operator==(const RecordAllocator<U>& other) const noexcept
    {
        return m_arena == other.arena();
    }

private:
    std::shared_ptr<RecordArena> m_arena;
};

} // namespace tw
