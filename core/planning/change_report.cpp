#include "core/planning/change_report.h"

#include "core/model/fte_text.h"
#include "core/document/planning.h"
#include "core/planning/proposal_changes.h"

#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>
#include <string_view>
#include <unordered_set>

std::string ChangeReport::lockTimeText(Date date, const std::string &localeID, const std::string &timeZoneID)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale = localeID.empty() ? icu::Locale::getDefault() : icu::Locale(localeID.c_str());
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(locale, status));
    // Full year, numeric month and day, and hours and minutes in the locale's own clock.
    icu::UnicodeString pattern = U_SUCCESS(status) ? generator->getBestPattern("yMdjmm", status) : "";
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        pattern = "y-MM-dd HH:mm";
    }
    icu::SimpleDateFormat format(pattern, locale, status);
    if (!timeZoneID.empty())
        format.adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(timeZoneID)));
    icu::UnicodeString text;
    format.format(date.secondsSince1970() * 1000.0, text);
    std::string result;
    text.toUTF8String(result);
    return result;
}

std::string ChangeReport::totalFTEText(double total)
{
    return fteText(std::round(total * 1e6) / 1e6);
}

namespace {

const OrganizationSheet *findSheet(const std::optional<std::vector<OrganizationSheet>> &sheets, std::string_view id)
{
    if (!sheets || id.empty())
        return nullptr;
    const auto it = std::find_if(sheets->begin(), sheets->end(), [&](const OrganizationSheet &s) { return s.id == id; });
    return it == sheets->end() ? nullptr : &*it;
}

// The "Positions" and "FTE" figures of one side: every position, or those its chart lists.
struct Scope {
    size_t count = 0;
    double fte = 0;
};

Scope scopeOf(const Organization &organization, const OrganizationSheet *sheet)
{
    Scope scope;
    std::unordered_set<std::string_view> listed;
    if (sheet)
        listed.insert(sheet->positionIDs.begin(), sheet->positionIDs.end());
    for (const Position &position : organization.positions) {
        if (sheet && !listed.contains(position.id))
            continue;
        ++scope.count;
        scope.fte += position.fte;
    }
    return scope;
}

std::string positionLine(const ProposalChange &change)
{
    const Position &position = change.after ? *change.after : *change.before;
    return position.jobTitle() + " \u2014 " + (position.employee ? position.employee->name : "Vacant") + " [" +
           position.id + "]";
}

std::string upperCased(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

} // namespace

std::string OrganizationPlanning::report(const std::string &proposalID, const std::string &sheetID) const
{
    const OrganizationProposal &found = proposal(proposalID);
    const std::vector<ProposalChange> list = changes(proposalID, sheetID);

    const OrganizationSheet *baselineSheet = findSheet(baseline.sheets, sheetID);
    const Scope before = scopeOf(baseline.organization, baselineSheet);
    const Scope after = scopeOf(found.state.organization, findSheet(found.state.sheets, sheetID));

    const std::string arrow = " \u2192 ";
    std::vector<std::string> lines = {
        "Proposal: " + found.name,
        "Organization: " + baseline.name,
        "Chart: " + (baselineSheet ? baselineSheet->name : std::string("Entire organization")),
        "Compared with lock: " + ChangeReport::lockTimeText(lockedAt),
        "Positions: " + std::to_string(before.count) + arrow + std::to_string(after.count),
        "FTE: " + ChangeReport::totalFTEText(before.fte) + arrow + ChangeReport::totalFTEText(after.fte),
        "",
    };
    for (ProposalChangeKind kind : {ProposalChangeKind::added, ProposalChangeKind::deleted, ProposalChangeKind::moved,
                                    ProposalChangeKind::modified}) {
        const auto count = std::count_if(list.begin(), list.end(), [&](const auto &c) { return c.kind == kind; });
        lines.push_back(upperCased(proposalChangeKindLabel(kind)) + " (" + std::to_string(count) + ")");
        for (const ProposalChange &change : list) {
            if (change.kind != kind)
                continue;
            lines.push_back(positionLine(change));
            for (const std::string &detail : change.details)
                lines.push_back("  " + detail);
        }
        lines.push_back("");
    }
    if (list.empty())
        lines.push_back("No changes from the locked baseline.");

    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += '\n';
        text += lines[i];
    }
    return text;
}
