#pragma once

#include "app/print/print_queue.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class Dialogs;

// What hand-overs to print queues left behind, for the whole application: jobs whose cancel
// waits on the scheduler, and lp runs given up before the scheduler named their job, which
// are cancelled once it does. Lives on the application's thread; hand-overs reach it from
// their workers through PrintQueue::cancelLeftover.
class LeftoverJobs final : public QObject {
    Q_OBJECT
public:
    enum class Fate { pending, cancelled, printed };

    // The application's, made on first use; on the application's thread only.
    static LeftoverJobs &instance();

    // Starts cancelling `leftover.job`, again and again while the scheduler does not answer.
    void cancel(const PrintQueue::Leftover &leftover, const PrintQueue::Commands &commands);
    // What became of a job whose cancel was asked here; pending until the scheduler says.
    Fate fateOf(const QString &job) const;
    bool hasPending() const;

    // Before the application ends: ends the hand-overs still running, tries every pending
    // cancel once more and waits for lp runs still to name their job, at most
    // `milliseconds` all together, then ends what still waits. One sentence for each job
    // that may still be held in its queue, or print.
    QStringList settleBeforeQuit(int milliseconds);
    // The same, said to the user through `dialogs` when anything is left.
    static void sayBeforeQuit(Dialogs &dialogs, int milliseconds = 4000);

signals:
    void settled(const QString &job, LeftoverJobs::Fate fate);
    // One ask to cancel `job` found no scheduler to answer it; it is asked again.
    void unanswered(const QString &job);

private:
    class Cancel;
    explicit LeftoverJobs(QObject *parent);
    void cancelEnded(Cancel *cancel, Fate fate);

    QList<Cancel *> m_pending;
    QHash<QString, Fate> m_settled;
};
