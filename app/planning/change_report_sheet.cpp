#include "app/planning/change_report_sheet.h"

#include "app/planning/planning_workspace_controller.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

ChangeReportSheet::ChangeReportSheet(PlanningWorkspaceController &controller, QWidget *parent)
    : QDialog(parent)
    , m_controller(controller)
    , m_text(new QPlainTextEdit(this))
    , m_save(new QPushButton(QStringLiteral("Save Report\u2026"), this))
    , m_done(new QPushButton(QStringLiteral("Done"), this))
{
    setWindowTitle(QStringLiteral("Proposal Change Report"));
    setFixedSize(sheetWidth, sheetHeight);
    auto *title = new QLabel(QStringLiteral("Proposal Change Report"), this);
    QFont heading = title->font();
    heading.setPointSizeF(heading.pointSizeF() * 1.4);
    heading.setBold(true);
    title->setFont(heading);
    m_text->setReadOnly(true);
    m_text->setAccessibleName(QStringLiteral("Change report"));
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_save->setAutoDefault(false);
    m_done->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_save);
    buttons->addStretch();
    buttons->addWidget(m_done);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(16);
    layout->addWidget(title);
    layout->addWidget(m_text, 1);
    layout->addLayout(buttons);

    connect(m_save, &QPushButton::clicked, &m_controller, &PlanningWorkspaceController::exportReport);
    connect(m_done, &QPushButton::clicked, this, &QDialog::reject);
    connect(&m_controller, &PlanningWorkspaceController::changed, this, &ChangeReportSheet::refresh);
    refresh();
}

void ChangeReportSheet::refresh()
{
    const QString report = QString::fromStdString(m_controller.report());
    if (report != m_text->toPlainText())
        m_text->setPlainText(report);
}
