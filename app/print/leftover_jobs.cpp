#include "app/print/print_queue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QTimer>

#include <pwd.h>
#include <unistd.h>

#include <utility>

namespace {

// As long as the scheduler keeps a job whose pages never come (cupsd's MultipleOperationTimeout).
const qint64 giveUpMilliseconds = 15 * 60 * 1000;
// Answered looks that find nothing before the queue is taken to hold nothing of ours: the
// scheduler may take the request an ended lp left it only after answering a later one.
const int emptyLooks = 4;

// Who the scheduler takes lp's jobs to be from.
QString userName()
{
    const passwd *user = getpwuid(getuid());
    return user ? QString::fromLocal8Bit(user->pw_name) : QString();
}

// Looks at one queue until its scheduler answers, then cancels the jobs of this user that still
// wait for their pages. A job another program is sending now waits for its pages too, for a
// moment: only a job seen waiting on two looks in a row is taken for the one lp left.
class LeftoverJobs final : public QObject {
public:
    LeftoverJobs(QString queue, PrintQueue::Commands commands, QObject *parent)
        : QObject(parent), m_queue(std::move(queue)), m_commands(std::move(commands)), m_user(userName())
    {
        m_age.start();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        m_lpstat.setProcessEnvironment(environment);
        connect(&m_lpstat, &QProcess::finished, this, &LeftoverJobs::answered);
        connect(&m_lpstat, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                lookLater();
        });
        connect(&m_cancel, &QProcess::finished, this, &QObject::deleteLater);
        connect(&m_cancel, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                deleteLater();
        });
        // A stopped scheduler holds lpstat and cancel as it held lp: each gets a while to answer.
        m_limit.setSingleShot(true);
        connect(&m_limit, &QTimer::timeout, this, [this] {
            m_lpstat.kill();
            m_cancel.kill();
        });
        look();
    }
    ~LeftoverJobs() override
    {
        // Ended quietly: nothing they say reaches a look half gone.
        for (QProcess *process : {&m_lpstat, &m_cancel}) {
            process->disconnect(this);
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished();
            }
        }
    }

private:
    void look()
    {
        if (m_user.isEmpty() || m_age.hasExpired(giveUpMilliseconds)) {
            deleteLater();
            return;
        }
        m_lpstat.start(m_commands.lpstat, {QStringLiteral("-l"), QStringLiteral("-o"), m_queue});
        m_limit.start(m_commands.answerMilliseconds);
    }

    void lookLater()
    {
        m_limit.stop();
        QTimer::singleShot(m_commands.leftoverLookMilliseconds, this, &LeftoverJobs::look);
    }

    void answered(int code, QProcess::ExitStatus status)
    {
        m_limit.stop();
        const QString output = QString::fromLocal8Bit(m_lpstat.readAllStandardOutput());
        if (status != QProcess::NormalExit || code != 0) {
            lookLater();
            return;
        }
        const QSet<QString> waiting = waitingForPages(output);
        QStringList again;
        for (const QString &job : waiting) {
            if (m_waiting.contains(job))
                again.append(job);
        }
        m_waiting = waiting;
        if (!again.isEmpty()) {
            again.sort();
            m_cancel.start(m_commands.cancel, again);
            m_limit.start(m_commands.answerMilliseconds);
            return;
        }
        if (waiting.isEmpty() && ++m_emptyLooks >= emptyLooks) {
            deleteLater();
            return;
        }
        lookLater();
    }

    // The jobs of this user in the queue that wait for their pages, as `lpstat -l -o` lists them:
    //   Office-12               ann                  0   Thu Dec 10 02:02:57 2026
    //   \tAlerts: job-incoming
    //   \tqueued for Office
    QSet<QString> waitingForPages(const QString &listing) const
    {
        QSet<QString> jobs;
        QString job;
        for (const QString &line : listing.split(QLatin1Char('\n'))) {
            if (!line.startsWith(QLatin1Char('\t')) && !line.startsWith(QLatin1Char(' '))) {
                const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
                const bool ours = fields.size() >= 2 && fields[0].startsWith(m_queue + QLatin1Char('-')) && fields[1] == m_user;
                job = ours ? fields[0] : QString();
                continue;
            }
            const QString detail = line.trimmed();
            if (!job.isEmpty() && detail.startsWith(QStringLiteral("Alerts:"))
                && detail.mid(7).split(QLatin1Char(' '), Qt::SkipEmptyParts).contains(QStringLiteral("job-incoming")))
                jobs.insert(job);
        }
        return jobs;
    }

    QString m_queue;
    PrintQueue::Commands m_commands;
    QString m_user;
    QElapsedTimer m_age;
    QProcess m_lpstat;
    QProcess m_cancel;
    QTimer m_limit;
    QSet<QString> m_waiting; // on the last look
    int m_emptyLooks = 0;
};

} // namespace

void PrintQueue::cancelLeftoverJob(const QString &queue, const Commands &commands)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application || queue.isEmpty())
        return;
    QMetaObject::invokeMethod(application, [application, queue, commands] {
        new LeftoverJobs(queue, commands, application);
    }, Qt::QueuedConnection);
}
