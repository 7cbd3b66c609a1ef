#include "core/support/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace NumberText {

namespace {

// from_chars takes "-" but not "+"; a single "+" is allowed before anything but a sign.
std::optional<std::string_view> withoutPlus(std::string_view text)
{
    if (!text.starts_with('+'))
        return text;
    text.remove_prefix(1);
    if (text.empty() || text.front() == '+' || text.front() == '-')
        return std::nullopt;
    return text;
}

} // namespace

std::optional<double> decimal(std::string_view text)
{
    const std::optional<std::string_view> body = withoutPlus(text);
    if (!body || body->empty())
        return std::nullopt;
    double value = 0;
    const char *end = body->data() + body->size();
    const auto [ptr, ec] = std::from_chars(body->data(), end, value, std::chars_format::general);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

std::optional<int64_t> wholeNumber(std::string_view text)
{
    const std::optional<std::string_view> body = withoutPlus(text);
    if (!body || body->empty())
        return std::nullopt;
    int64_t value = 0;
    const char *end = body->data() + body->size();
    const auto [ptr, ec] = std::from_chars(body->data(), end, value, 10);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

std::string shortestDecimal(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    if (value == 0)
        return std::signbit(value) ? "-0.0" : "0.0";

    // Shortest round-trip digits in scientific form, "d.ddde±XX", then laid out again.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::abs(value), std::chars_format::scientific);
    const std::string_view scientific(buffer, static_cast<size_t>(result.ptr - buffer));
    const size_t e = scientific.find('e');
    std::string digits;
    for (char c : scientific.substr(0, e)) {
        if (c != '.')
            digits += c;
    }
    const int exponent = std::atoi(std::string(scientific.substr(e + 1)).c_str());

    std::string out = value < 0 ? "-" : "";
    if (exponent < -4 || std::abs(value) > 9007199254740992.0) {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out += digits.substr(1);
        }
        out += exponent < 0 ? "e-" : "e+";
        std::string magnitude = std::to_string(std::abs(exponent));
        if (magnitude.size() < 2)
            magnitude.insert(0, "0");
        return out + magnitude;
    }
    // Digits times ten to the point position: the point goes after `point` digits.
    const int point = exponent + 1;
    if (point <= 0)
        return out + "0." + std::string(static_cast<size_t>(-point), '0') + digits;
    if (static_cast<size_t>(point) < digits.size())
        return out + digits.substr(0, static_cast<size_t>(point)) + "." + digits.substr(static_cast<size_t>(point));
    return out + digits + std::string(static_cast<size_t>(point) - digits.size(), '0') + ".0";
}

} // namespace NumberText
