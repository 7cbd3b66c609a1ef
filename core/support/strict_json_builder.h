#pragma once

#include "core/support/json_read.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace JsonRead {

// Builds the value of a text for parseText (json_read_parser.h), as the JSON library's own
// builder does, but stops at a repeated key, which the library would read as the last of
// its values. The calls are defined here so that the parser's, one per value, inline.
class StrictBuilder {
public:
    static constexpr bool keepsValues = true;

    virtual ~StrictBuilder() = default;

    Json root;
    std::optional<Error> repeated;

    bool null() { return put(nullptr); }
    bool boolean(bool value) { return put(value); }
    bool number_integer(std::int64_t value) { return put(value); }
    bool number_unsigned(std::uint64_t value) { return put(value); }
    bool number_float(double value) { return put(value); }
    bool string(std::string &value) { return put(std::move(value)); }
    bool start_object() { return open(Json::object()); }
    bool start_array() { return open(Json::array()); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    // `quote`: the offset of the key's opening quote.
    bool key(std::string &value, std::size_t quote)
    {
        auto [slot, fresh] = m_stack.back()->get_ref<Json::object_t &>().try_emplace(std::move(value));
        if (!fresh) {
            // Not moved from: try_emplace moves only what it inserts.
            repeated = repeatedKey(value, quote);
            return false;
        }
        if (m_stack.size() == 1)
            m_member = &slot->first;
        m_slot = &slot->second;
        return true;
    }

protected:
    // The root object's member `member` is an array, and its last element is now complete. A
    // builder that takes the elements as they come may remove it.
    virtual void memberElementDone(const std::string & /*member*/, Json & /*elements*/) {}

private:
    bool put(Json value)
    {
        place(std::move(value));
        ended();
        return true;
    }

    bool open(Json container)
    {
        m_stack.push_back(place(std::move(container)));
        return true;
    }

    bool close()
    {
        m_stack.pop_back();
        ended();
        return true;
    }

    Json *place(Json value)
    {
        if (m_stack.empty()) {
            root = std::move(value);
            return &root;
        }
        Json &parent = *m_stack.back();
        if (parent.is_array()) {
            parent.get_ref<Json::array_t &>().push_back(std::move(value));
            return &parent.back();
        }
        *m_slot = std::move(value);
        return m_slot;
    }

    // A value or container has ended.
    void ended()
    {
        if (m_stack.size() == 2 && m_stack.back()->is_array() && m_stack.front()->is_object())
            memberElementDone(*m_member, *m_stack.back());
    }

    std::vector<Json *> m_stack;
    Json *m_slot = nullptr;
    const std::string *m_member = nullptr; // the root object's last key; a map keeps its keys in place
};

// Follows a text as StrictBuilder does and refuses the same repeated keys, but keeps only
// the keys of the objects still open: to find where a text fails at the cost of its deepest
// object's keys.
class KeyChecker {
public:
    static constexpr bool keepsValues = false;

    std::optional<Error> repeated;

    bool null() { return true; }
    bool boolean(bool) { return true; }
    bool number_integer(std::int64_t) { return true; }
    bool number_unsigned(std::uint64_t) { return true; }
    bool number_float(double) { return true; }
    bool string(std::string &) { return true; }
    bool start_object()
    {
        m_open.emplace_back().emplace();
        return true;
    }
    bool start_array()
    {
        m_open.emplace_back();
        return true;
    }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool key(std::string &value, std::size_t quote)
    {
        std::set<std::string, std::less<>> &keys = *m_open.back();
        if (keys.contains(value)) {
            repeated = repeatedKey(value, quote);
            return false;
        }
        keys.insert(std::move(value));
        return true;
    }

private:
    bool close()
    {
        m_open.pop_back();
        return true;
    }

    std::vector<std::optional<std::set<std::string, std::less<>>>> m_open; // keys of each open object; nothing for an array
};

} // namespace JsonRead
