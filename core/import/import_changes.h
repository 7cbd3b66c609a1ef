#pragma once

#include "core/import/import_field.h"

struct Position;

namespace TabularImport {

// True when importing `imported` over `stored` changes nothing the user can see or a row can
// say, so that a row read back from an exported workbook is no change. The two are compared
// as a user reads them:
// - texts (pay level, job title, department, location, the person) trimmed, the employee
//   number in canonical form;
// - the job title as shown: a custom job title equal to the pay level is none;
// - absent values as their defaults: no assistant flag is false, no sibling order is 0, a
//   blank primary manager is none;
// - dotted-line managers as a set (the chart draws them in no order);
// - FTE and school shares to the 15 significant digits a spreadsheet keeps.
// Ids must match. School shares keep their order, which the card shows; display-only fields
// are ignored. Allocates only for texts or lists that differ as stored.
bool isUnchanged(const Position &stored, const Position &imported);

// True when the field that `field` feeds reads differently in `imported` than in `stored`,
// compared as isUnchanged compares it. Position ID, pay level, job title and the vacant
// flag give false: a blank cell there is refused or decides nothing on its own.
bool changesField(ImportField field, const Position &stored, const Position &imported);

} // namespace TabularImport
