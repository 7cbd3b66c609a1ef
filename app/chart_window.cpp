#include "app/chart_window.h"

#include "app/document_controller.h"
#include "app/organization_document.h"
#include "app/organization_file_commands.h"

#include <QCloseEvent>
#include <QLabel>

ChartWindow::ChartWindow(DocumentController &controller, OrganizationDocument *document)
    : m_controller(controller), m_document(document)
{
    setAttribute(Qt::WA_DeleteOnClose);
    m_document->setParent(this);
    resize(defaultWidth, defaultHeight);
    m_commands = new OrganizationFileCommands(*this, controller);

    m_placeholder = new QLabel;
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setTextFormat(Qt::RichText);
    setCentralWidget(m_placeholder);

    connect(m_document, &OrganizationDocument::filePathChanged, this, &ChartWindow::refreshTitle);
    // Read the flag, not the signal's argument: a slot that ran earlier may have cleared it.
    connect(m_document, &OrganizationDocument::modifiedChanged, this, [this] { setWindowModified(m_document->isModified()); });
    connect(m_document, &OrganizationDocument::archiveChanged, this, &ChartWindow::refreshPlaceholder);
    refreshTitle();
    refreshPlaceholder();
}

void ChartWindow::setContent(QWidget *content)
{
    // setCentralWidget deletes the placeholder, and the QPointer forgets it.
    setCentralWidget(content);
}

void ChartWindow::setPrintAction(std::function<void()> action)
{
    m_printAction = std::move(action);
    emit printActionChanged();
}

void ChartWindow::print()
{
    if (m_printAction)
        m_printAction();
}

void ChartWindow::closeWithoutAsking()
{
    m_closeApproved = true;
    close();
}

void ChartWindow::closeEvent(QCloseEvent *event)
{
    if (!m_closeApproved && !m_controller.mayClose(this)) {
        event->ignore();
        return;
    }
    event->accept();
    m_controller.windowClosed(this);
}

void ChartWindow::refreshTitle()
{
    setWindowTitle(m_document->displayName() + QStringLiteral("[*]"));
    setWindowModified(m_document->isModified());
}

void ChartWindow::refreshPlaceholder()
{
    if (!m_placeholder)
        return;
    const OrganizationArchive &archive = m_document->archive();
    const qsizetype count = qsizetype(archive.organization.positions.size());
    const QString positions = count == 1 ? QStringLiteral("1 position") : QString("%L1 positions").arg(count);
    m_placeholder->setText(QString("<h2>%1</h2><p>%2</p>")
                               .arg(QString::fromStdString(archive.name).toHtmlEscaped(), positions));
}
