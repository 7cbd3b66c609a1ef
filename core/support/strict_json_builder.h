#pragma once

#include "core/support/json_read.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace JsonRead {

// Builds the value for Json::sax_parse as the parser's own builder does, but stops at a
// repeated key. The parser's input counts the bytes it has read into `read`: the repeated key
// is found here, after the parser has moved past it, and the message places it from there.
// The callbacks are final and defined here so that the parser's calls, one per value, inline.
class StrictBuilder : public nlohmann::json_sax<Json> {
public:
    // `data` is the text and `read` how many of its bytes the parser has read; the bytes read
    // must not change while this builds.
    StrictBuilder(const char *data, const std::size_t &read) : m_data(data), m_read(read) {}

    Json root;
    std::optional<std::size_t> failure; // the byte the parser failed at
    bool outOfRange = false;            // the failure is a number too large for a double ("1e400")
    std::optional<Error> repeated;

    bool null() final { return put(nullptr); }
    bool boolean(bool value) final { return put(value); }
    bool number_integer(number_integer_t value) final { return put(value); }
    bool number_unsigned(number_unsigned_t value) final { return put(value); }
    bool number_float(number_float_t value, const string_t &) final { return put(value); }
    bool string(string_t &value) final { return put(std::move(value)); }
    bool binary(binary_t &) final { return put(nullptr); }
    bool start_object(std::size_t) final { return open(Json::object()); }
    bool start_array(std::size_t) final { return open(Json::array()); }
    bool end_object() final { return close(); }
    bool end_array() final { return close(); }

    bool key(string_t &value) final
    {
        auto [slot, fresh] = m_stack.back()->get_ref<Json::object_t &>().try_emplace(std::move(value));
        if (!fresh) {
            // Not moved from: try_emplace moves only what it inserts.
            repeated = repeatedKey(value, std::string_view(m_data, m_read), m_ended);
            return false;
        }
        if (m_stack.size() == 1)
            m_member = &slot->first;
        m_slot = &slot->second;
        return true;
    }

    bool parse_error(std::size_t position, const std::string &, const nlohmann::detail::exception &error) final
    {
        failure = position;
        outOfRange = dynamic_cast<const nlohmann::detail::out_of_range *>(&error) != nullptr;
        return false;
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
        m_ended = m_read;
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
        m_ended = m_read;
        if (m_stack.size() == 2 && m_stack.back()->is_array() && m_stack.front()->is_object())
            memberElementDone(*m_member, *m_stack.back());
    }

    const char *m_data;
    const std::size_t &m_read;
    std::size_t m_ended = 0; // bytes read when the last value or bracket ended
    std::vector<Json *> m_stack;
    Json *m_slot = nullptr;
    const std::string *m_member = nullptr; // the root object's last key; a map keeps its keys in place
};

} // namespace JsonRead
