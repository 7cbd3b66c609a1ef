#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Numbers typed into cells, read and written the same way on every machine: C locale,
// no grouping, no hexadecimal.
namespace NumberText {

// A decimal number: optional "+" or "-", digits with an optional point, an optional
// exponent ("1e-3"); "inf" and "nan" read as themselves. The whole text must be the
// number. Nothing for anything else, for hexadecimal ("0x1p3"), a decimal comma ("1,5")
// or a value out of range.
std::optional<double> decimal(std::string_view text);

// A whole decimal number with an optional "+" or "-" that fits in 64 bits.
std::optional<int64_t> wholeNumber(std::string_view text);

// The shortest decimal that reads back as the same double, always with a fractional part
// (1 is "1.0", 0.75 "0.75"); below 0.0001 or above 2^53 in exponent form ("1e-05",
// "1.5e+20"). Used wherever an FTE is written into a message or report.
std::string shortestDecimal(double value);

} // namespace NumberText
