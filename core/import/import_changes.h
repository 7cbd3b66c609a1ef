#pragma once

struct Position;

namespace TabularImport {

// The position as a user reads it on a card or in a spreadsheet row, so that a row read back
// from a workbook compares equal to the position it was written from:
// - texts (pay level, job title, department, location, the person) trimmed, the employee
//   number in canonical form;
// - the job title as shown: a custom job title equal to the pay level is none;
// - absent values as their defaults: no assistant flag is false, no sibling order is 0, a
//   blank primary manager is none;
// - dotted-line managers as a set (the chart draws them in no order);
// - FTE and school shares to the 15 significant digits a spreadsheet keeps.
// School shares keep their order, which the card shows. Display-only fields are dropped.
Position comparableForm(const Position &position);

// True when importing `imported` over `stored` changes nothing the user can see or the row
// can say: their comparable forms are equal. Ids must match too.
bool isUnchanged(const Position &stored, const Position &imported);

} // namespace TabularImport
