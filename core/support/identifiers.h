#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

// A new random (version 4) UUID as 36 upper-case characters, e.g. "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
std::string makeUUID();
// The canonical upper-case form of a UUID text, or nothing when the text is not a UUID.
std::optional<std::string> canonicalUUID(std::string_view text);

// A moment as seconds since 1 January 2001 00:00:00 UTC, the document's date form.
struct Date {
    double secondsSinceReferenceDate = 0;

    static Date now();
    // Seconds between 1 January 1970 and 1 January 2001.
    static constexpr double referenceDateOffset = 978307200.0;
    double secondsSince1970() const { return secondsSinceReferenceDate + referenceDateOffset; }

    bool operator==(const Date &) const = default;
    auto operator<=>(const Date &) const = default;
};
