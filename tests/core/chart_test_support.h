#pragma once

#include "core/chart/chart_layout.h"
#include "core/chart/dotted_routing.h"
#include "core/model/organization.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

// Small builders for chart tests.
namespace ChartTest {

inline Position position(std::string id, std::optional<std::string> manager = std::nullopt, bool isAssistant = false)
{
    Position p;
    p.id = std::move(id);
    p.title = "Teacher";
    p.department = "Instruction";
    p.managerID = std::move(manager);
    p.isAssistant = isAssistant;
    return p;
}

inline Position assistant(std::string id, std::string manager)
{
    return position(std::move(id), std::move(manager), true);
}

inline Position filled(Position p, std::string employeeNumber, std::string name)
{
    p.employee = Employee{std::move(employeeNumber), std::move(name)};
    return p;
}

inline Rect frameOf(const ChartLayout &layout, const std::string &id)
{
    for (const ChartNode &node : layout.nodes)
        if (node.id == id)
            return node.frame;
    return Rect::null();
}

} // namespace ChartTest
