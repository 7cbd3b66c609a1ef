#include "core/model/fte_text.h"

#include <charconv>
#include <cmath>

std::string fteText(double fte)
{
    if (std::isnan(fte))
        return "nan";
    if (std::isinf(fte))
        return fte < 0 ? "-inf" : "inf";
    // Fixed notation of a double needs at most about 330 characters (the smallest subnormal).
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, fte, std::chars_format::fixed);
    std::string text(buffer, result.ptr);
    if (text.find('.') == std::string::npos)
        text += ".0";
    return text;
}
