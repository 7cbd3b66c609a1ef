#pragma once

#include <memory>
#include <utility>

// An immutable value held behind a shared pointer: copies share one instance, so copying a
// container of them costs a reference count per element. Compares by value, with a
// pointer fast path for copies of one instance. Replace a held value by assigning a new one.
template <typename T>
class Shared {
public:
    Shared() : m_value(empty()) {}
    Shared(T value) : m_value(std::make_shared<const T>(std::move(value))) {}

    const T &get() const { return *m_value; }
    const T &operator*() const { return *m_value; }
    const T *operator->() const { return m_value.get(); }

    // True when both hold the very same instance (not merely equal values).
    bool isSameInstance(const Shared &other) const { return m_value == other.m_value; }

    bool operator==(const Shared &other) const { return m_value == other.m_value || *m_value == *other.m_value; }

private:
    static const std::shared_ptr<const T> &empty()
    {
        static const std::shared_ptr<const T> value = std::make_shared<const T>();
        return value;
    }

    std::shared_ptr<const T> m_value;
};
