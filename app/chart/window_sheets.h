#pragma once

class ChartWindow;
class ExistingPositionPicker;
class PositionEditor;
class PositionGroupEditor;
class QuickEntrySheet;
class SpreadsheetImportWindow;
struct Position;

// The chart window's sheets, each presented window-modal over the window with what it
// needs of the document taken now, and saving through the window's ChartView; each deletes
// itself when closed. The toolbar, menus and card actions call these.
namespace WindowSheets {

// Opens each sheet whenever the window's view asks for it (toolbar, menus, inspector, card
// menu, sidebar, empty state), which makes the commands that ask available. Called before
// the window's controls are built, so they start enabled.
void connectSheets(ChartWindow &window);

// `position` is the stored position to edit, or the prepared blank one when `isNew`.
PositionEditor *openPositionEditor(ChartWindow &window, const Position &position, bool isNew);
ExistingPositionPicker *openExistingPicker(ChartWindow &window);
QuickEntrySheet *openQuickEntry(ChartWindow &window);
PositionGroupEditor *openGroupEditor(ChartWindow &window);
// Not modal: the import window stands beside the chart window, one per chart window; a
// second request only brings it forward, with the organization it was opened with.
SpreadsheetImportWindow *openSpreadsheetImport(ChartWindow &window);

} // namespace WindowSheets
