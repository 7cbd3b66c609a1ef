#include "core_printers.h"

#include "core/chart/chart_layout.h"
#include "core/chart/dotted_ink.h"
#include "core/chart/dotted_routing.h"
#include "core/document/organization_archive.h"
#include "core/model/organization.h"
#include "core/model/print_settings.h"
#include "core/planning/proposal_changes.h"
#include "core/support/geometry.h"
#include "core/support/identifiers.h"

#include <gtest/gtest.h>

#include <ostream>

using ::testing::PrintToString;

std::ostream &operator<<(std::ostream &out, const Point &point) { return out << "(" << point.x << ", " << point.y << ")"; }
std::ostream &operator<<(std::ostream &out, const Size &size) { return out << size.width << " x " << size.height; }
std::ostream &operator<<(std::ostream &out, const Rect &rect) { return out << rect.origin << " " << rect.size; }
std::ostream &operator<<(std::ostream &out, const ChartSegment &segment) { return out << segment.start << "-" << segment.end; }

std::ostream &operator<<(std::ostream &out, const DottedRoute &route)
{
    out << route.reportID << " -> " << route.managerID << ":";
    for (const Point &point : route.points)
        out << " " << point;
    return out;
}

void PrintTo(const PathElement &element, std::ostream *out)
{
    switch (element.kind) {
    case PathElement::Kind::moveTo: *out << "move " << element.point; break;
    case PathElement::Kind::lineTo: *out << "line " << element.point; break;
    case PathElement::Kind::quadCurveTo: *out << "curve " << element.point << " via " << element.control; break;
    case PathElement::Kind::closeSubpath: *out << "close"; break;
    }
}

void PrintTo(const Path &path, std::ostream *out) { *out << PrintToString(path.elements); }

void PrintTo(const ChartNode &node, std::ostream *out) { *out << node.id << " at " << node.frame; }

void PrintTo(const ChartEdge &edge, std::ostream *out)
{
    *out << edge.reportID << (edge.dotted ? " ..> " : " --> ") << edge.managerID;
}

void PrintTo(const ChartRegion &region, std::ostream *out)
{
    *out << PrintToString(region.title) << " / " << PrintToString(region.subtitle) << " at " << region.frame;
}

void PrintTo(const DottedStroke &stroke, std::ostream *out)
{
    *out << (stroke.highlighted ? "highlighted " : "") << "phase " << stroke.dashPhase << " " << PrintToString(stroke.path);
}

void PrintTo(const Date &date, std::ostream *out) { *out << date.secondsSinceReferenceDate << " s after 2001-01-01 UTC"; }

void PrintTo(const Employee &employee, std::ostream *out)
{
    *out << PrintToString(employee.name) << " (" << employee.id << ")";
}

void PrintTo(const SchoolAssignment &assignment, std::ostream *out)
{
    *out << PrintToString(assignment.school) << " " << assignment.fte;
}

void PrintTo(const Position &p, std::ostream *out)
{
    *out << "{" << p.id << " " << PrintToString(p.title);
    if (p.customJobTitle)
        *out << " job title " << PrintToString(*p.customJobTitle);
    *out << " in " << PrintToString(p.department) << ", " << (p.employee ? PrintToString(*p.employee) : "vacant");
    if (p.managerID)
        *out << ", manager " << *p.managerID;
    if (!p.dottedManagerIDs.empty())
        *out << ", dotted to " << PrintToString(p.dottedManagerIDs);
    if (!p.location.empty())
        *out << ", location " << PrintToString(p.location);
    *out << ", fte " << p.fte;
    if (!p.schoolAssignments.empty())
        *out << ", schools " << PrintToString(p.schoolAssignments);
    if (p.isAssistant)
        *out << ", assistant " << *p.isAssistant;
    if (p.siblingOrder)
        *out << ", order " << *p.siblingOrder;
    if (p.groupMemberCount)
        *out << ", group of " << *p.groupMemberCount;
    if (p.sharedReportRootID)
        *out << ", shared reports of " << *p.sharedReportRootID;
    if (p.primaryManagerReference)
        *out << ", with a primary manager reference";
    if (p.reportingCallout)
        *out << ", with a reporting callout";
    if (p.proposalChange)
        *out << ", " << proposalChangeKindName(*p.proposalChange);
    *out << "}";
}

void PrintTo(const Organization &organization, std::ostream *out)
{
    *out << organization.positions.size() << " positions:";
    for (const Position &position : organization.positions)
        *out << "\n  " << PrintToString(position);
}

void PrintTo(const ChartPrintSettings &settings, std::ostream *out) { *out << PrintSettingsJson::encode(settings).dump(); }

void PrintTo(const OrganizationSheet &sheet, std::ostream *out)
{
    *out << "{" << sheet.id << " " << PrintToString(sheet.name) << ", positions " << PrintToString(sheet.positionIDs);
    if (sheet.pageTitle)
        *out << ", title " << PrintToString(*sheet.pageTitle);
    if (sheet.pageSubtitle)
        *out << ", subtitle " << PrintToString(*sheet.pageSubtitle);
    if (sheet.printSettings)
        *out << ", print settings " << PrintToString(*sheet.printSettings);
    if (sheet.focusedDepartmentView)
        *out << ", focused department view " << *sheet.focusedDepartmentView;
    *out << "}";
}

// The document as it would be saved; it is the most readable form of the whole.
void PrintTo(const OrganizationArchive &archive, std::ostream *out)
{
    try {
        *out << archive.encodeDocument();
    } catch (const std::exception &error) {
        *out << "a document that cannot be saved (" << error.what() << "), organization "
             << PrintToString(archive.organization);
    }
}

void PrintTo(const ProposalChange &change, std::ostream *out)
{
    *out << proposalChangeKindLabel(change.kind) << " " << change.positionID << " " << PrintToString(change.details);
}
