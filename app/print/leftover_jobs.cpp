#include "app/print/leftover_jobs.h"

#include "app/shell/dialogs.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

// How long a cancel is asked again while the scheduler does not answer, before it is only
// asked once more as the application ends.
const qint64 giveUpMilliseconds = 15 * 60 * 1000;

// When lpstat says `job` was made, in a listing of its queue's jobs:
//   Office-7                kim              1024   Thu Dec 10 02:02:58 2026
// Nothing when it is not listed.
std::optional<QDateTime> madeAt(const QString &listing, const QString &job)
{
    for (const QString &line : listing.split(QLatin1Char('\n'))) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        if (fields.size() >= 8 && fields[0] == job)
            return QDateTime::fromString(fields.mid(fields.size() - 5).join(QLatin1Char(' ')),
                                         QStringLiteral("ddd MMM d HH:mm:ss yyyy"));
    }
    return std::nullopt;
}

} // namespace

// Asks the scheduler, again and again while it does not answer, to cancel one job, until it
// says that the job is cancelled (or was already, or is gone), or that it has printed.
class LeftoverJobs::Cancel final : public QObject {
public:
    Cancel(PrintQueue::Leftover leftover, PrintQueue::Commands commands, LeftoverJobs *jobs)
        : QObject(jobs), m_leftover(std::move(leftover)), m_commands(std::move(commands)), m_jobs(jobs)
    {
        m_age.start();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        m_process.setProcessEnvironment(environment);
        connect(&m_process, &QProcess::finished, this, &Cancel::answered);
        connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                askLater();
        });
        // A stopped scheduler holds cancel as it held lp: each ask gets a while to answer.
        m_limit.setSingleShot(true);
        connect(&m_limit, &QTimer::timeout, this, [this] { m_process.kill(); });
        m_later.setSingleShot(true);
        connect(&m_later, &QTimer::timeout, this, &Cancel::ask);
        ask();
    }
    ~Cancel() override
    {
        // Ended quietly: nothing it says reaches an object half gone.
        m_process.disconnect(this);
        end();
    }

    const PrintQueue::Leftover &leftover() const { return m_leftover; }
    bool isAsking() const { return m_process.state() != QProcess::NotRunning; }

    // Now, unless it is being asked already; whether it is.
    bool askNow()
    {
        if (isAsking())
            return false;
        m_later.stop();
        ask();
        return true;
    }

    void end()
    {
        m_later.stop();
        m_limit.stop();
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

private:
    void ask()
    {
        // A scheduler that went away may come back without the job and give its id to the
        // next one made: its queue is looked at first.
        m_listing = m_wentAway.isValid();
        if (m_listing) {
            m_process.start(m_commands.lpstat,
                            {QStringLiteral("-W"), QStringLiteral("not-completed"), QStringLiteral("-o"), m_leftover.queue});
        } else {
            m_process.start(m_commands.cancel, {m_leftover.job});
        }
        m_limit.start(m_commands.answerMilliseconds);
    }

    // A job of that id made after the scheduler went away is another's: this one went with it.
    void listed(int code)
    {
        if (code != 0) {
            askLater();
            return;
        }
        const std::optional<QDateTime> made = madeAt(QString::fromLocal8Bit(m_process.readAllStandardOutput()), m_leftover.job);
        if (made && made->isValid() && *made > m_wentAway) {
            m_jobs->cancelEnded(this, Fate::cancelled);
            return;
        }
        m_process.start(m_commands.cancel, {m_leftover.job});
        m_limit.start(m_commands.answerMilliseconds);
    }

    void askLater()
    {
        m_limit.stop();
        emit m_jobs->unanswered(m_leftover.job);
        if (!m_age.hasExpired(giveUpMilliseconds))
            m_later.start(m_commands.leftoverLookMilliseconds);
    }

    void answered(int code, QProcess::ExitStatus status)
    {
        m_limit.stop();
        const QString said = QString::fromLocal8Bit(m_process.readAllStandardError());
        if (status != QProcess::NormalExit) {
            askLater(); // no answer within the limit
            return;
        }
        if (std::exchange(m_listing, false)) {
            listed(code);
            return;
        }
        // "cancel: cancel-job failed: Job #7 is already completed - can't cancel."
        if (code == 0 || said.contains(QStringLiteral("already canceled")) || said.contains(QStringLiteral("already aborted"))
            || said.contains(QStringLiteral("does not exist"))) {
            m_jobs->cancelEnded(this, Fate::cancelled);
            return;
        }
        if (said.contains(QStringLiteral("already completed"))) {
            m_jobs->cancelEnded(this, Fate::printed);
            return;
        }
        // Not answered (no scheduler), or refused for now.
        if (said.contains(QStringLiteral("Unable to connect")) && !m_wentAway.isValid())
            m_wentAway = QDateTime::currentDateTime();
        askLater();
    }

    PrintQueue::Leftover m_leftover;
    PrintQueue::Commands m_commands;
    LeftoverJobs *m_jobs;
    QElapsedTimer m_age;
    QDateTime m_wentAway; // when the scheduler was first found gone
    bool m_listing = false; // the process lists the queue's jobs rather than cancels
    QProcess m_process;
    QTimer m_limit;
    QTimer m_later;
};

LeftoverJobs::LeftoverJobs(QObject *parent) : QObject(parent) {}

LeftoverJobs &LeftoverJobs::instance()
{
    static QPointer<LeftoverJobs> jobs;
    Q_ASSERT_X(QThread::currentThread() == QCoreApplication::instance()->thread(), "LeftoverJobs",
               "used off the application's thread");
    if (!jobs)
        jobs = new LeftoverJobs(QCoreApplication::instance());
    return *jobs;
}

void LeftoverJobs::cancel(const PrintQueue::Leftover &leftover, const PrintQueue::Commands &commands)
{
    if (leftover.queue.isEmpty() || leftover.job.isEmpty())
        return;
    for (Cancel *pending : std::as_const(m_pending)) {
        if (pending->leftover().job == leftover.job)
            return;
    }
    m_settled.remove(leftover.job);
    m_pending.append(new Cancel(leftover, commands, this));
}

LeftoverJobs::Fate LeftoverJobs::fateOf(const QString &job) const
{
    return m_settled.value(job, Fate::pending);
}

bool LeftoverJobs::hasPending() const
{
    return !m_pending.isEmpty();
}

void LeftoverJobs::cancelEnded(Cancel *cancel, Fate fate)
{
    m_pending.removeAll(cancel);
    const QString job = cancel->leftover().job;
    m_settled.insert(job, fate);
    cancel->deleteLater();
    emit settled(job, fate);
}

namespace {

QString heldSentence(const PrintQueue::Leftover &left)
{
    if (left.job.isEmpty()) {
        return QStringLiteral("A job named \u201c%1\u201d may be held in the queue of the printer \u201c%2\u201d: the "
                              "print scheduler (CUPS) did not answer before it named the job.")
            .arg(left.title, left.queue);
    }
    if (left.released) {
        return QStringLiteral("Job %1 may still print on the printer \u201c%2\u201d, or stay held in its queue: it was "
                              "let print just before it was cancelled, and the print scheduler (CUPS) did not answer "
                              "to cancel it.")
            .arg(left.job, left.queue);
    }
    return QStringLiteral("Job %1 is held in the queue of the printer \u201c%2\u201d: the print scheduler (CUPS) did "
                          "not answer to cancel it.")
        .arg(left.job, left.queue);
}

} // namespace

QStringList LeftoverJobs::settleBeforeQuit(int milliseconds)
{
    PrintQueue::stopAllHandOvers();
    const QDeadlineTimer deadline(milliseconds);
    QList<QPointer<Cancel>> tried;
    // Each once more from now: one being asked as the quit begins is asked again if that
    // fails. The hand-overs stop at once and hand what they left over here, as events.
    const auto tryEach = [&] {
        for (Cancel *pending : std::as_const(m_pending)) {
            if (!tried.contains(pending) && pending->askNow())
                tried.append(pending);
        }
    };
    tryEach();
    // Until every cancel tried has had its answer, or the time is up.
    const auto waiting = [&] {
        if (PrintQueue::handOversRunning())
            return true;
        return std::any_of(m_pending.begin(), m_pending.end(),
                           [&](Cancel *pending) { return pending->isAsking() || !tried.contains(pending); });
    };
    while (!deadline.hasExpired() && waiting()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        tryEach();
    }
    QStringList left;
    for (const PrintQueue::Leftover &unnamed : PrintQueue::endGivenUpRuns())
        left.append(heldSentence(unnamed));
    // What the ended runs, or the last hand-overs, handed over just now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    for (Cancel *pending : std::exchange(m_pending, {})) {
        left.append(heldSentence(pending->leftover()));
        delete pending;
    }
    return left;
}

void LeftoverJobs::sayBeforeQuit(Dialogs &dialogs, int milliseconds)
{
    const QStringList left = instance().settleBeforeQuit(milliseconds);
    if (left.isEmpty())
        return;
    dialogs.alert(QStringLiteral("Print Not Cancelled"),
                  left.join(QLatin1Char('\n'))
                      + QStringLiteral("\n\nLook in the printer's queue and cancel what is still there."));
}

void PrintQueue::cancelLeftover(const Leftover &leftover, const Commands &commands)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application || leftover.queue.isEmpty() || leftover.job.isEmpty())
        return;
    QMetaObject::invokeMethod(application, [leftover, commands] {
        LeftoverJobs::instance().cancel(leftover, commands);
    }, Qt::QueuedConnection);
}
