#pragma once

// What the benchmarks of the application's windows share: dialogs that ask nothing, and
// the main that starts the Qt application object those windows need.

#include "app/shell/dialogs.h"
#include "bench/qt_bench_main.h"

#include <optional>

namespace BenchApp {

// No question is asked in these runs; any that is gets the cautious answer, and an alert
// means the run measured the wrong path. The folder chooser answers `folder`.
class SilentDialogs final : public Dialogs {
public:
    std::optional<QString> folder;

    bool confirm(const QString &) override { return false; }
    void alert(const QString &, const QString &message) override { qFatal("alert: %s", qPrintable(message)); }
    std::optional<QString> askText(const QString &, const QString &, const QString &) override { return {}; }
    std::optional<QString> fileToOpen(const QString &) override { return {}; }
    std::optional<QString> fileToSave(const QString &, const QString &) override { return {}; }
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

} // namespace BenchApp
