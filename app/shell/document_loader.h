#pragma once

// moc cannot parse the standard library's C++20 headers that the chart pulls in.
#ifndef Q_MOC_RUN
#include "app/chart/window_opening.h"
#endif

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

struct FileStamp;
struct OrganizationArchive;
class QThread;
class QWidget;

// Reads and decodes one organization file on a worker thread, so that a large document
// (hundreds of megabytes with its versions) freezes no window. The window that will show
// it is the caller's to mark busy meanwhile.
class DocumentLoader : public QObject {
    Q_OBJECT
public:
    // `archive` is the file's content (to be moved from), `stamp` the file's as it was read
    // and `opening` what `prepare` made of the content, or null with the error's message.
    // `notice`, when not empty, says the file may be older than a save that did not finish.
    using Done = std::function<void(OrganizationArchive *archive, const std::optional<FileStamp> &stamp,
                                    std::unique_ptr<WindowOpening> opening, const QString &error,
                                    const QString &notice)>;
    // Runs on the worker once the file is read: what the window needs before it shows the
    // content, made there rather than on the window's thread. May give null.
    using Prepare = std::function<std::unique_ptr<WindowOpening>(const OrganizationArchive &archive)>;

    // Starts reading `path`. When the read ends, `done` runs on this object's thread, unless
    // `window` has gone by then; then the loader deletes itself.
    DocumentLoader(const QString &path, QWidget *window, Prepare prepare, Done done, QObject *parent = nullptr);
    // Waits for a read still running: the worker must not outlive what it reports to,
    // unless let go.
    ~DocumentLoader() override;

    // The program is ending: the loader goes without waiting for a read still running
    // (a large file takes a second to decode), whose worker touches only what it shares with
    // nobody else and ends with the process.
    void letGo() { m_waitForRead = false; }

    // Canonical, as OrganizationDocument::filePath() will be.
    QString path() const { return m_path; }
    QWidget *window() const { return m_window; }
    bool isFinished() const { return m_finished; }

private:
    struct Result;
    void finish();

    QString m_path;
    QPointer<QWidget> m_window;
    Done m_done;
    std::shared_ptr<Result> m_result;
    QThread *m_thread = nullptr;
    bool m_finished = false;
    bool m_waitForRead = true;
};
