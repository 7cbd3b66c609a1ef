#pragma once

#include "app/import/spreadsheet_import_window.h"

#include "import_flow_fixture.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <QTest>
#include <QWidget>

namespace ImportTest {

// The import window over one sheet, shown at its corrections step and active.
class CorrectionsStep : public ::testing::Test {
protected:
    explicit CorrectionsStep(ImportSheet sheet) : m_sheet(std::move(sheet)) {}

    void SetUp() override
    {
        window = SpreadsheetImportWindow::present(&owner, Organization(), [](const Organization &, ImportMode) {}, dialogs,
                                                  [sheet = m_sheet](const QString &) { return std::vector<ImportSheet>{sheet}; });
        window->flow().load("staff.xlsx");
        settle(window->flow());
        window->flow().showStep(ImportFlow::Step::corrections);
        settle(window->flow());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
    void TearDown() override
    {
        if (window)
            window->close();
        AppTest::deleteClosedWindows();
    }

    QWidget owner;
    ScriptedDialogs dialogs;
    QPointer<SpreadsheetImportWindow> window;

private:
    ImportSheet m_sheet;
};

} // namespace ImportTest
