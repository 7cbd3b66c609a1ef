#include "app/sidebar/dropdown_option.h"

#include "core/support/text.h"

#include <QCoreApplication>

DropdownOptionIndex::DropdownOptionIndex(std::vector<DropdownOption> options)
    : m_options(std::move(options))
{
    m_folded.reserve(m_options.size());
    for (const DropdownOption &option : m_options) {
        // Joined with single spaces so a query may run across the title and the detail.
        const QString text = option.title + u' ' + option.detail + u' ' + option.id;
        m_folded.push_back(Text::caseFolded(text.toStdString()));
    }
}

std::vector<int> DropdownOptionIndex::matches(const QString &query) const
{
    const std::string needle = Text::caseFolded(Text::trimmed(query.toStdString()));
    std::vector<int> kept;
    if (needle.empty()) {
        kept.resize(m_options.size());
        for (size_t i = 0; i < kept.size(); ++i)
            kept[i] = int(i);
        return kept;
    }
    for (size_t i = 0; i < m_folded.size(); ++i) {
        if (m_folded[i].find(needle) != std::string::npos)
            kept.push_back(int(i));
    }
    return kept;
}

std::vector<DropdownOption> filterOptions(const std::vector<DropdownOption> &options, const QString &query)
{
    const DropdownOptionIndex index(options);
    std::vector<DropdownOption> kept;
    for (int i : index.matches(query))
        kept.push_back(options[size_t(i)]);
    return kept;
}

QString faceTitle(const std::vector<DropdownOption> &options, const QString &selection)
{
    for (const DropdownOption &option : options) {
        if (option.id == selection)
            return option.title;
    }
    return QCoreApplication::translate("SearchableDropdown", "Choose…");
}
