#pragma once

// How GoogleTest shows the core's values in a failure: plainly, field by field, instead of as
// the object's raw bytes. Every test program includes this first (see CMakeLists.txt).

#include <iosfwd>

struct Point;
struct Size;
struct Rect;
struct PathElement;
struct Path;
struct ChartNode;
struct ChartEdge;
struct ChartSegment;
struct ChartRegion;
struct DottedRoute;
struct DottedStroke;
struct Date;
struct Employee;
struct SchoolAssignment;
struct Position;
struct Organization;
struct ChartPrintSettings;
struct OrganizationSheet;
struct OrganizationArchive;
struct ProposalChange;

std::ostream &operator<<(std::ostream &out, const Point &point);
std::ostream &operator<<(std::ostream &out, const Size &size);
std::ostream &operator<<(std::ostream &out, const Rect &rect);
std::ostream &operator<<(std::ostream &out, const ChartSegment &segment);
std::ostream &operator<<(std::ostream &out, const DottedRoute &route);
void PrintTo(const PathElement &element, std::ostream *out);
void PrintTo(const Path &path, std::ostream *out);
void PrintTo(const ChartNode &node, std::ostream *out);
void PrintTo(const ChartEdge &edge, std::ostream *out);
void PrintTo(const ChartRegion &region, std::ostream *out);
void PrintTo(const DottedStroke &stroke, std::ostream *out);
void PrintTo(const Date &date, std::ostream *out);
void PrintTo(const Employee &employee, std::ostream *out);
void PrintTo(const SchoolAssignment &assignment, std::ostream *out);
void PrintTo(const Position &position, std::ostream *out);
void PrintTo(const Organization &organization, std::ostream *out);
void PrintTo(const ChartPrintSettings &settings, std::ostream *out);
void PrintTo(const OrganizationSheet &sheet, std::ostream *out);
void PrintTo(const OrganizationArchive &archive, std::ostream *out);
void PrintTo(const ProposalChange &change, std::ostream *out);
