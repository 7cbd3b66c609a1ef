#pragma once

#include "app/import/import_flow.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"

#include "core/support/organization_error.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <memory>

namespace ImportTest {

inline ImportSheet sheet(std::string name, std::vector<std::vector<std::string>> rows)
{
    return ImportSheet{.name = std::move(name), .rows = std::move(rows), .sourceIssues = std::vector<ImportCellIssue>()};
}

// Three people; "E3" names a manager nobody has, so row 4 is the sheet's one error.
inline ImportSheet staffSheet(std::string name = "Staff")
{
    return sheet(std::move(name), {
                                      {"Employee Number", "Employee Name", "Pay Level", "Supervisor ID"},
                                      {"E10", "Ada", "Superintendent", ""},
                                      {"E11", "Grace", "Principal", "E10"},
                                      {"E12", "Alan", "Teacher", "E99"},
                                  });
}

// Lets a background read finish and the coalesced review signal arrive.
inline void settle(const ImportFlow &flow)
{
    QElapsedTimer timer;
    timer.start();
    while (flow.isLoading() && timer.elapsed() < 10'000) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    QCoreApplication::processEvents();
}

// A flow over the small district with a reader that returns `sheets` or throws `readError`.
struct FlowFixture {
    std::vector<ImportSheet> sheets = {staffSheet()};
    std::string readError;
    ScriptedDialogs dialogs;
    std::vector<std::pair<Organization, ImportMode>> applied;
    std::string refusal;
    Organization existing = AppTest::district().organization;
    std::unique_ptr<ImportFlow> flow;

    FlowFixture() { restart(); }

    void restart()
    {
        flow = std::make_unique<ImportFlow>(
            existing,
            [this](const Organization &organization, ImportMode mode) {
                applied.emplace_back(organization, mode);
                if (!refusal.empty())
                    throw OrganizationError::invalid(refusal);
            },
            dialogs,
            [this](const QString &) {
                if (!readError.empty())
                    throw OrganizationError::invalid(readError);
                return sheets;
            });
    }

    void load(const QString &path = "staff.xlsx")
    {
        flow->load(path);
        settle(*flow);
    }
};

} // namespace ImportTest
