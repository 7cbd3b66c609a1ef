#pragma once

#include <functional>
#include <utility>

// A value owned elsewhere, read and written through its owner, who decides whether a
// write is kept. Panels hold bindings instead of copies, so they never show stale values.
template <typename T>
struct Binding {
    std::function<T()> get;
    std::function<void(const T &)> set;

    // A binding over a plain variable, for callers and tests without an owner of their own.
    static Binding over(T &value)
    {
        return {[&value] { return value; }, [&value](const T &next) { value = next; }};
    }
};
