#pragma once

// Fixtures the chart tests share: a chart view over a document, and a chart window of a
// controller of its own. Every scripted answer must be used by the end of the test.

#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/shell/document_controller.h"
#include "app/shell/organization_document.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QTemporaryDir>

namespace AppTest {

// Lets queued layouts, fits and repaints run.
inline void settle()
{
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}

class ChartViewFixture : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(dialogs.exhausted()) << "scripted answers left unused"; }

    // A document as read from a file: unmodified and with nothing to undo.
    void open(const OrganizationArchive &archive)
    {
        const QString path = dir.filePath("open.json");
        writeBytes(path, QByteArray::fromStdString(archive.encodeDocument()));
        document.load(path);
    }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    OrganizationDocument document;
    ChartView view{document, dialogs};
};

// The window is closed without asking after the test; SetUp opens it.
class ChartWindowFixture : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_TRUE(dialogs.exhausted());
        window->document()->setModified(false);
        window->closeWithoutAsking();
        deleteClosedWindows();
    }

    ScriptedDialogs dialogs;
    DocumentController controller{dialogs};
    ChartWindow *window = nullptr;
};

// A 1200 × 800 chart window on the sample organization, shown and active, for the keyboard.
class SampleChartWindow : public ChartWindowFixture {
protected:
    void SetUp() override
    {
        window = controller.newDocument();
        window->document()->setArchive(OrganizationArchive::make("Sample", Organization::example()));
        window->resize(1200, 800);
        window->show();
        window->activateWindow();
        QApplication::setActiveWindow(window);
        settle();
    }
};

} // namespace AppTest
