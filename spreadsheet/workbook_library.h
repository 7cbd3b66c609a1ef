#pragma once

#include <QString>

#include <optional>

// The JavaScript workbook library (SheetJS 0.20.3) that reads legacy .xls files, embedded
// as a resource at build time.
namespace WorkbookLibrary {

// The library's source text, or nothing when the resource is missing.
std::optional<QString> script();

} // namespace WorkbookLibrary
