#pragma once

// Memory for the dotted-line router's large arrays.

#include <algorithm>
#include <cstddef>
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
            m_elements = {static_cast<T *>(::operator new(bytes, std::align_val_t(hugePage))), Free{hugePage}};
#if defined(__linux__) && defined(MADV_HUGEPAGE)
            madvise(m_elements.get(), bytes, MADV_HUGEPAGE); // only a hint
#endif
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

private:
    static constexpr size_t hugePage = size_t(2) << 20;
    static_assert(std::is_trivially_destructible_v<T>);
    struct Free {
        size_t alignment = alignof(T);
        void operator()(T *elements) const { ::operator delete(elements, std::align_val_t(alignment)); }
    };
    std::unique_ptr<T[], Free> m_elements;
    size_t m_size = 0;
};

} // namespace DottedRouting
