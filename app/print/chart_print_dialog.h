#pragma once

#include <QPrintDialog>

class QLabel;

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

// The system's print dialog for a chart of a known number of pages, whose "Pages" field
// takes a typed list ("2", "2-3", "1, 4-6") as "Pages from … to" takes a range.
//
// Qt 6.4's own dialog hands a typed list to CUPS to pick the pages on the server and then,
// finding no pages chosen on the printer, refuses every list as "Invalid Pages Definition".
// Here the list goes to the printer as its page ranges instead, like a range from … to: the
// chart draws only the pages chosen, and the server picks none again.
//
// Taking the user's answer, Qt asks the print scheduler on this thread, and a scheduler that
// has stopped answering would hold the whole application there. So Print first asks it on a
// worker whether it answers (`check`), the dialog and the windows going on meanwhile: the
// dialog says that it waits, Cancel ends the wait, and the choices made in it are taken once
// the scheduler answers. It closes with the check's failure when it does not.
class ChartPrintDialog final : public QPrintDialog {
    Q_OBJECT
public:
    // Throws OrganizationError when the print system does not answer; ends soon once stopped.
    using Check = std::function<void(std::stop_token)>;

    ChartPrintDialog(QPrinter *printer, int pageCount, QWidget *parent = nullptr, Check check = {});
    ~ChartPrintDialog() override;

    void accept() override;
    void reject() override;
    // Why the dialog closed without printing when the check failed; nothing otherwise.
    const std::optional<std::string> &failure() const { return m_failure; }

private:
    void checked(const std::optional<std::string> &failure);
    void takeAnswer();
    void setPrintEnabled(bool enabled);

    int m_pageCount;
    Check m_check;
    QLabel *m_waiting = nullptr; // says that Print waits for the scheduler
    bool m_checking = false;
    std::optional<std::string> m_failure;
    std::jthread m_checker; // last: stopped and joined before the rest goes
};
