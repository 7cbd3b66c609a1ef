#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
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
    // When set, the job goes in held until this (`job-hold-until`), over what the dialog chose.
    QString holdUntil;
};

// `lp`'s arguments: copies, sides and the dialog's options, less those that would put the
// chart on other paper, turn it, scale it or pick pages again (the pages drawn are the ones
// chosen), and the reverse order; the hold asked for; then the chart's paper as `PageSize` (what a PPD queue obeys)
// and `media` (what a driverless one does), and the landscape turn, last, so that nothing overrides them.
QStringList lpArguments(const Request &request);

// One paper a queue lists: its name there and its size in points, as it feeds.
struct ListedPaper {
    QString name;
    double width = 0;
    double height = 0;
};

// The papers a queue offers, as lpoptions lists the choices of its PageSize option.
struct QueuePapers {
    QList<ListedPaper> listed; // those whose size the name tells
    bool takesCustomSizes = false;
};
// The papers in lpoptions' listing of a queue's options (`lpoptions -p <queue> -l`). A name
// tells its size when it is a standard paper's ("Letter", "A4", "Tabloid", with a suffix
// such as ".Fullbleed"), inches ("11x17"), points ("w612h792") or a PWG name
// ("na_letter_8.5x11in"); other names are left out. One turned across the feed ("A4Rotated",
// "A4.Transverse") is another paper and is left out too. Nothing listed: a queue without a
// paper option, or no listing at all (a raw queue).
QueuePapers papersFromOptions(const QString &listing);

// The name to give the queue for `paper`: among the sizes the queue lists, one of the same
// size within a point (named upright: a paper named the other way round feeds across and is
// another paper), its own name first; else a custom size, short side first, where the queue
// takes one. A queue that lists no sizes at all (a raw queue, some driverless ones) is
// handed the paper's name, or a custom size for a paper without one. Nothing when the queue
// lists sizes, none fits and it takes no custom size.
std::optional<QString> paperFor(const QList<ListedPaper> &listed, bool takesCustomSizes, const QPageSize &paper);
// The paper as the user knows it: "Letter", "A3", or its size in inches.
QString paperName(const QPageSize &paper);

// The print system's commands; tests give stand-ins.
struct Commands {
    QString lp = QStringLiteral("lp");
    QString lpstat = QStringLiteral("lpstat");
    QString lpoptions = QStringLiteral("lpoptions");
    QString cancel = QStringLiteral("cancel");
    // How long one question may take before the scheduler counts as slow (and one cancel of
    // a leftover job is given up, to be asked again).
    int answerMilliseconds = 5000;
    // How long a finished job's hand-over may wait on the print system, all its questions
    // together; and the check before the dialog, for a slow scheduler.
    int handOverMilliseconds = 60000;
    // How often the cancel of a job a hand-over left is asked again, until the scheduler answers.
    int leftoverLookMilliseconds = 5000;
};

// Asks whether the scheduler runs (`lpstat -r`) and its default queue (`lpstat -d`), on the
// calling thread, which waits for the answers: never the window's. A slow scheduler is waited
// for as long as a hand-over waits (`handOverMilliseconds`); `slow` runs once it has taken
// longer than `answerMilliseconds`, for the window to say what it waits for. Throws
// OrganizationError "The print scheduler (CUPS) is not running. Nothing was printed." when
// none runs, and "The print scheduler (CUPS) does not answer. Nothing was printed." when it
// does not answer within that limit. No default queue, or no lpstat, lets the dialog open.
void requireAnswer(const Commands &commands, std::stop_token stop, const std::function<void()> &slow = {});

// A job a hand-over ended halfway may have left in its queue, held until it is cancelled.
struct Leftover {
    QString queue;
    QString job;   // "Office-12"; empty while lp has not named it
    QString title; // the job's name in the queue
    // It was let print just before the hand-over ended: the scheduler may print it before it
    // takes the cancel.
    bool released = false;
};

// Hands a finished job to its queue on the calling thread, which waits for the print system,
// so never the window's: asks the queue's papers (lpoptions), names the chart's `paper` the
// queue's way, hands the job over held (lp), then lets it print as the dialog chose (lp -i).
// Everything it asks the print system shares one limit, `handOverMilliseconds`. Once `stop`
// is requested, what runs is ended and nothing more is done; a job the scheduler may have by
// then is held, prints nothing, and is cancelled once the scheduler answers (cancelLeftover).
// An lp that has yet to name the job is not ended but left to go on until the scheduler
// names it, and that job alone is cancelled: ended, it could leave a job no one knows.
// Returns the job when it was being let print as it was stopped or ran out of time: its
// cancel is asked, but the scheduler may print it first (LeftoverJobs tells which).
// Throws OrganizationError "The printer “<queue>” has no <paper> paper." for a queue that
// lists its papers, none of them the chart's, and takes no custom size; "The printer
// “<queue>” did not take the job: <cause>." with lp's own sentence and the reason the queue
// gives for refusing jobs, or plain words when the scheduler is not running, lp cannot start
// or the scheduler does not answer within the limit.
std::optional<Leftover> handOver(Request request, const QPageSize &paper, const Commands &commands,
                                 std::stop_token stop);

// Cancels the leftover's job once the scheduler answers, asking every
// `leftoverLookMilliseconds` (LeftoverJobs). Callable from any thread.
void cancelLeftover(const Leftover &leftover, const Commands &commands);

// As the application ends: every hand-over still running stops as on Cancel.
void stopAllHandOvers();
// Hand-overs running, or lp runs given up that wait for the scheduler to name their job.
bool handOversRunning();
// Ends the lp runs still waiting to name their job; the jobs they may have left, unnamed.
QList<Leftover> endGivenUpRuns();

} // namespace PrintQueue
