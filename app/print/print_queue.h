#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <stop_token>

class QPageSize;

// Handing a finished print job to a CUPS queue through the system's `lp`.
namespace PrintQueue {

// What a job asks of its queue.
struct Request {
    QString queue; // without its instance
    QString title;
    int copies = 1;
    bool collate = false;
    QString sides = QStringLiteral("one-sided");
    bool landscape = false;
    bool reverse = false; // last page first
    // What the print dialog chose for the queue, as name, value, name, value...
    QStringList dialogOptions;
    QString paper; // the queue's name for the chart's paper (paperFor)
    QString file;
};

// `lp`'s arguments: copies, sides and the dialog's options, less those that would put the
// chart on other paper, turn it, scale it or pick pages again (the pages drawn are the ones
// chosen), and the reverse order; then the chart's paper as `PageSize` (what a PPD queue obeys) and `media` (what
// a driverless one does), and the landscape turn, last, so that nothing overrides them.
QStringList lpArguments(const Request &request);

// The name to give the queue for `paper`: among the sizes the queue lists, one of the same
// size within a point (named upright: a paper named the other way round feeds across and is
// another paper), its own name first; else a custom size, short side first, where the queue
// takes one. A queue that lists no sizes at all (a raw queue, some driverless ones) is
// handed the paper's name, or a custom size for a paper without one. Nothing when the queue
// lists sizes, none fits and it takes no custom size.
std::optional<QString> paperFor(const QList<QPageSize> &listed, bool takesCustomSizes, const QPageSize &paper);
// The paper as the user knows it: "Letter", "A3", or its size in inches.
QString paperName(const QPageSize &paper);

// The print system's commands; tests give stand-ins.
struct Commands {
    QString lp = QStringLiteral("lp");
    QString lpstat = QStringLiteral("lpstat");
    // How long the scheduler may take to say whether it runs.
    int answerMilliseconds = 5000;
};

// Asks whether the scheduler runs (`lpstat -r`) and its default queue (`lpstat -d`), on the
// calling thread, which waits for the answers: never the window's. Throws OrganizationError
// "The print scheduler (CUPS) is not running. Nothing was printed." when none runs, and "The
// print scheduler (CUPS) does not answer. Nothing was printed." when it does not answer
// within `answerMilliseconds`. No default queue, or no lpstat, lets the dialog open.
void requireAnswer(const Commands &commands, std::stop_token stop);

// Runs `lp` with `arguments` on the calling thread, which waits for the print system: up to
// a minute when the scheduler does not answer, so never the window's thread. Once `stop` is
// requested `lp` is ended and nothing more is done. Throws OrganizationError "The printer
// “<queue>” did not take the job: <cause>." with lp's own sentence, or plain words when the
// scheduler is not running, lp cannot start or nothing answers.
void submit(const QStringList &arguments, const QString &queue, const Commands &commands, std::stop_token stop);

} // namespace PrintQueue
