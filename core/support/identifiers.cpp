#include "core/support/identifiers.h"

#include <chrono>
#include <cstdint>
#include <random>

std::string makeUUID()
{
    thread_local std::mt19937_64 generator{std::random_device{}()};
    uint64_t high = generator();
    uint64_t low = generator();
    high = (high & 0xFFFFFFFFFFFF0FFFull) | 0x0000000000004000ull; // version 4
    low = (low & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;   // RFC 4122 variant
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    auto append = [&](uint64_t value, int firstNibble, int count) {
        for (int i = 0; i < count; ++i)
            text.push_back(digits[(value >> (4 * (firstNibble - i))) & 0xF]);
    };
    append(high, 15, 8);
    text.push_back('-');
    append(high, 7, 4);
    text.push_back('-');
    append(high, 3, 4);
    text.push_back('-');
    append(low, 15, 4);
    text.push_back('-');
    append(low, 11, 12);
    return text;
}

std::optional<std::string> canonicalUUID(std::string_view text)
{
    if (text.size() != 36)
        return std::nullopt;
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        char &c = out[i];
        if (dash) {
            if (c != '-')
                return std::nullopt;
            continue;
        }
        if (c >= 'a' && c <= 'f')
            c = static_cast<char>(c - 'a' + 'A');
        else if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return std::nullopt;
    }
    return out;
}

Date Date::now()
{
    const auto since1970 = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch());
    return Date{since1970.count() - referenceDateOffset};
}
