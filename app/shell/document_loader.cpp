#include "app/shell/document_loader.h"

#include "app/shell/organization_document.h"

#include <QThread>
#include <QWidget>

#include <new>
#include <optional>

// Written by the worker, read on the loader's thread only after the worker has finished.
struct DocumentLoader::Result {
    std::optional<OrganizationArchive> archive;
    std::optional<FileStamp> stamp;
    std::unique_ptr<WindowOpening> opening;
    QString error;
    QString notice;
};

DocumentLoader::DocumentLoader(const QString &path, QWidget *window, Prepare prepare, Done done, QObject *parent)
    : QObject(parent)
    , m_path(OrganizationDocument::canonicalPath(path))
    , m_window(window)
    , m_done(std::move(done))
    , m_result(std::make_shared<Result>())
{
    m_thread = QThread::create([result = m_result, path, prepare = std::move(prepare)] {
        try {
            result->archive = OrganizationDocument::readFile(path, result->stamp, &result->notice);
        } catch (const OrganizationError &error) {
            result->error = QString::fromStdString(error.message());
            return;
        } catch (const std::bad_alloc &) {
            result->error = QStringLiteral("There is not enough memory to open this file.");
            return;
        }
        // Without it the window makes what it needs itself, and says what fails there.
        try {
            if (prepare)
                result->opening = prepare(*result->archive);
        } catch (const std::bad_alloc &) {
        }
    });
    connect(m_thread, &QThread::finished, this, &DocumentLoader::finish);
    m_thread->start();
}

DocumentLoader::~DocumentLoader()
{
    if (!m_thread)
        return;
    if (!m_waitForRead && m_thread->isRunning())
        return; // a running thread's object must stay: it goes with the process
    m_thread->wait();
    delete m_thread;
}

void DocumentLoader::finish()
{
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_finished = true;
    if (m_window)
        m_done(m_result->archive ? &*m_result->archive : nullptr, m_result->stamp, std::move(m_result->opening),
               m_result->error, m_result->notice);
    m_result.reset();
    deleteLater();
}
