#pragma once

// Memory for the dotted-line router's large arrays.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace DottedRouting {

// A fixed array of value-initialized elements, for the router's storage over a whole grid
// and its larger pools. One of 2 MB or more is aligned to 2 MB and asked to live in huge pages
// where the system offers them: the searches step between rows far apart, and with small
// pages nearly every such step would miss the address translation cache.
template <typename T>
class GridArray {
public:
    GridArray() = default;
    // Throws std::bad_alloc when there is no memory for it.
    explicit GridArray(size_t count) : m_size(count)
    {
        if (count == 0)
            return;
        size_t bytes = count * sizeof(T);
        if (bytes >= hugePage) {
            bytes = (bytes + hugePage - 1) / hugePage * hugePage;
#if defined(__linux__)
            // Fresh pages of the system are zero already, and come only as they are first
            // touched: hundreds of megabytes cost nothing before the search reaches them, and
            // a router stopped early (a window closing) is not kept filling them.
            if (zeroBytesAreValue()) {
                m_elements = {mapped(bytes), Free{hugePage, bytes}};
                return;
            }
#endif
            m_elements = {static_cast<T *>(::operator new(bytes, std::align_val_t(hugePage))), Free{hugePage}};
            adviseHugePages(m_elements.get(), bytes);
        } else {
            m_elements = {static_cast<T *>(::operator new(bytes, std::align_val_t(alignof(T)))), Free{alignof(T)}};
        }
        std::uninitialized_value_construct_n(m_elements.get(), count);
    }

    bool empty() const { return m_size == 0; }
    size_t size() const { return m_size; }
    T *data() { return m_elements.get(); }
    T &operator[](size_t i) { return m_elements[i]; }
    const T &operator[](size_t i) const { return m_elements[i]; }

    // Whether an element made with no value is all zero bytes, as fresh pages are.
    static bool zeroBytesAreValue()
    {
        alignas(T) unsigned char bytes[sizeof(T)];
        std::fill_n(bytes, sizeof(T), static_cast<unsigned char>(0xA5));
        ::new (static_cast<void *>(bytes)) T();
        return std::all_of(bytes, bytes + sizeof(T), [](unsigned char byte) { return byte == 0; });
    }

private:
    static constexpr size_t hugePage = size_t(2) << 20;
    static_assert(std::is_trivially_destructible_v<T>);
    struct Free {
        size_t alignment = alignof(T);
        size_t mappedBytes = 0; // from the system directly, not the heap
        void operator()(T *elements) const
        {
#if defined(__linux__)
            if (mappedBytes) {
                munmap(elements, mappedBytes);
                return;
            }
#endif
            ::operator delete(elements, std::align_val_t(alignment));
        }
    };

    static void adviseHugePages([[maybe_unused]] void *at, [[maybe_unused]] size_t bytes)
    {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        madvise(at, bytes, MADV_HUGEPAGE); // only a hint
#endif
    }

#if defined(__linux__)
    // `bytes` (a multiple of 2 MB) of zero pages aligned to 2 MB: mapped with a huge page
    // more, and what lies outside the aligned stretch given back.
    static T *mapped(size_t bytes)
    {
        void *const map = mmap(nullptr, bytes + hugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (map == MAP_FAILED)
            throw std::bad_alloc();
        const auto start = reinterpret_cast<uintptr_t>(map);
        const uintptr_t aligned = (start + hugePage - 1) / hugePage * hugePage;
        if (aligned > start)
            munmap(map, aligned - start);
        if (const size_t after = start + hugePage - aligned)
            munmap(reinterpret_cast<void *>(aligned + bytes), after);
        adviseHugePages(reinterpret_cast<void *>(aligned), bytes);
        return reinterpret_cast<T *>(aligned);
    }
#endif

    std::unique_ptr<T[], Free> m_elements;
    size_t m_size = 0;
};

} // namespace DottedRouting
