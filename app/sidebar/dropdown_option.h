#pragma once

#include <QString>

#include <string>
#include <vector>

// One entry of a chooser: what is stored, what is shown, and a line of detail.
struct DropdownOption {
    QString id;
    QString title;
    QString detail;
    bool operator==(const DropdownOption &) const = default;
};

// A list of options with each option's search text ("title detail id") case-folded once,
// so that narrowing the list on each keystroke only compares bytes.
class DropdownOptionIndex {
public:
    DropdownOptionIndex() = default;
    explicit DropdownOptionIndex(std::vector<DropdownOption> options);

    const std::vector<DropdownOption> &options() const { return m_options; }
    // Positions in options() of the options whose search text contains the trimmed query,
    // ignoring case, in list order; every option for a blank query. Linear in the options.
    std::vector<int> matches(const QString &query) const;

private:
    std::vector<DropdownOption> m_options;
    std::vector<std::string> m_folded;
};

// The options a query keeps, in their order (see DropdownOptionIndex::matches).
std::vector<DropdownOption> filterOptions(const std::vector<DropdownOption> &options, const QString &query);

// What the closed dropdown shows: the title of the first option whose id is `selection`,
// else "Choose…".
QString faceTitle(const std::vector<DropdownOption> &options, const QString &selection);
