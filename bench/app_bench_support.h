#pragma once

// What the benchmarks of the application's windows share: dialogs that ask nothing, and
// the main that starts the Qt application object those windows need.

#include "app/shell/dialogs.h"
#include "bench/qt_bench_main.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <optional>

namespace BenchApp {

// No question is asked in these runs; any that is gets the cautious answer, and an alert
// means the run measured the wrong path. The folder chooser answers `folder`, the save
// panel `file`.
class SilentDialogs final : public Dialogs {
public:
    std::optional<QString> folder;
    std::optional<QString> file;

    bool confirm(const QString &) override { return false; }
    void alert(const QString &, const QString &message) override { qFatal("alert: %s", qPrintable(message)); }
    std::optional<QString> askText(const QString &, const QString &, const QString &) override { return {}; }
    std::optional<QString> fileToOpen(const QString &) override { return {}; }
    std::optional<QString> fileToSave(const QString &, const QString &) override { return file; }
    std::optional<QString> fileToSaveUnconfirmed(const QString &, const QString &) override { return file; }
    std::optional<QString> fileToSaveWithMessage(const QString &, const QString &, const QString &,
                                                 const QString &) override
    {
        return {};
    }
    SaveAnswer askToSave(const QString &, const QString &) override { return SaveAnswer::cancel; }
    int ask(const QString &, const QString &, const QList<DialogButton> &buttons, DialogButton::Role) override
    {
        return int(buttons.size()) - 1;
    }
    std::optional<QString> askTextWithMessage(const QString &, const QString &, const QString &, const QString &,
                                              const QString &) override
    {
        return {};
    }
    std::optional<QString> folderToChoose(const QString &, const QString &, const QString &) override { return folder; }
};

// Runs the event loop while `busy()`, as a window's does: the longest wait of the events in
// milliseconds, so also how long a click such as Cancel waits at most.
template <typename Busy>
double longestTurnWhile(Busy busy)
{
    double longest = 0;
    QElapsedTimer turn;
    while (busy()) {
        turn.start();
        QCoreApplication::processEvents();
        longest = std::max(longest, turn.nsecsElapsed() / 1e6);
    }
    return longest;
}

} // namespace BenchApp
