#pragma once

#include "core/chart/chart_scene.h"
#include "core/model/employee_directory.h"

#include <memory>

struct OrganizationArchive;

// What a window opening a file needs of the content before it can show it, made on the
// thread that reads the file rather than on the window's, where 20,000 positions would hold
// every key (Quit too) between the read and the first paint: the first chart laid out, and
// the sort keys of the names in its list of people.
struct WindowOpening {
    std::unique_ptr<ChartSceneCache::Prepared> chart; // null when it cannot be built
    EmployeeDirectory::SortKeys sidebarKeys;

    // Safe on any thread. Cost: about 200 ms on a 20,000-position district.
    static std::unique_ptr<WindowOpening> prepare(const OrganizationArchive &archive);
};
