#include "app/print/print_queue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
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

// Asks the scheduler, again and again while it does not answer, to cancel what a hand-over
// left: the job lp named, or the jobs it finds of this user that are held or wait for their
// pages and were not in the queue before. Held, none of them prints meanwhile.
class LeftoverJobs final : public QObject {
public:
    LeftoverJobs(PrintQueue::Leftover leftover, PrintQueue::Commands commands, QObject *parent)
        : QObject(parent), m_leftover(std::move(leftover)), m_commands(std::move(commands)), m_user(userName())
    {
        if (!m_leftover.job.isEmpty())
            m_jobs.append(m_leftover.job);
        m_age.start();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        m_process.setProcessEnvironment(environment);
        connect(&m_process, &QProcess::finished, this, &LeftoverJobs::answered);
        connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                deleteLater();
        });
        // A stopped scheduler holds lpstat and cancel as it held lp: each gets a while to answer.
        m_limit.setSingleShot(true);
        connect(&m_limit, &QTimer::timeout, this, [this] { m_process.kill(); });
        ask();
    }
    ~LeftoverJobs() override
    {
        // Ended quietly: nothing it says reaches an object half gone.
        m_process.disconnect(this);
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

private:
    void ask()
    {
        if (m_age.hasExpired(giveUpMilliseconds)) {
            deleteLater();
            return;
        }
        m_cancelling = !m_jobs.isEmpty();
        if (m_cancelling)
            m_process.start(m_commands.cancel, m_jobs);
        else
            m_process.start(m_commands.lpstat, {QStringLiteral("-l"), QStringLiteral("-o"), m_leftover.queue});
        m_limit.start(m_commands.answerMilliseconds);
    }

    void askLater()
    {
        QTimer::singleShot(m_commands.leftoverLookMilliseconds, this, &LeftoverJobs::ask);
    }

    void answered(int code, QProcess::ExitStatus status)
    {
        m_limit.stop();
        const QString output = QString::fromLocal8Bit(m_process.readAllStandardOutput());
        if (status != QProcess::NormalExit) {
            askLater(); // no answer within the limit
            return;
        }
        // Cancelled, or gone already ("does not exist", "already canceled"): nothing is left.
        if (m_cancelling) {
            deleteLater();
            return;
        }
        if (code != 0) {
            askLater();
            return;
        }
        m_jobs = leftIn(output);
        if (!m_jobs.isEmpty()) {
            ask();
            return;
        }
        if (++m_emptyLooks >= emptyLooks) {
            deleteLater();
            return;
        }
        askLater();
    }

    // The jobs of this user that `lpstat -l -o` lists held or waiting for their pages, and
    // that were not there before:
    //   Office-12               ann                  0   Thu Dec 10 02:02:57 2026
    //   \tAlerts: job-incoming
    //   \tqueued for Office
    QStringList leftIn(const QString &listing) const
    {
        QStringList jobs;
        QString job;
        for (const QString &line : listing.split(QLatin1Char('\n'))) {
            if (!line.isEmpty() && !line.front().isSpace()) {
                const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
                const bool ours = fields.size() >= 2 && fields[1] == m_user && !m_leftover.before.contains(fields[0]);
                job = ours ? fields[0] : QString();
                continue;
            }
            const QString detail = line.trimmed();
            if (job.isEmpty() || !detail.startsWith(QStringLiteral("Alerts:")))
                continue;
            const QStringList alerts = detail.mid(7).split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (alerts.contains(QStringLiteral("job-incoming")) || alerts.contains(QStringLiteral("job-hold-until-specified")))
                jobs.append(job);
        }
        return jobs;
    }

    PrintQueue::Leftover m_leftover;
    PrintQueue::Commands m_commands;
    QString m_user;
    QElapsedTimer m_age;
    QStringList m_jobs; // to cancel, once found
    QProcess m_process; // lpstat, or cancel
    bool m_cancelling = false;
    QTimer m_limit;
    int m_emptyLooks = 0;
};

} // namespace

void PrintQueue::cancelLeftover(const Leftover &leftover, const Commands &commands)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application || leftover.queue.isEmpty())
        return;
    QMetaObject::invokeMethod(application, [application, leftover, commands] {
        new LeftoverJobs(leftover, commands, application);
    }, Qt::QueuedConnection);
}
