#include "app/updates/update_settings_panel.h"

#include "app/shell/accessible_fields.h"
#include "app/shell/focus_keeper.h"
#include "app/updates/update_store.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

static QFont headline(QFont font)
{
    font.setBold(true);
    return font;
}

static QFont caption(QFont font)
{
    font.setPointSizeF(font.pointSizeF() * 0.85);
    return font;
}

static QLabel *plainLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

UpdateSettingsPanel::UpdateSettingsPanel(UpdateStore &store, QWidget *parent) : QWidget(parent), m_store(store)
{
    auto *rows = new QVBoxLayout(this);
    rows->setSpacing(12);
    m_running = plainLabel(this);
    m_running->setFont(headline(font()));
    m_automatic = new QCheckBox(QStringLiteral("Check for updates automatically"), this);
    connect(m_automatic, &QCheckBox::toggled, this, [this](bool on) { m_store.setAutomatic(on); });
    m_check = new QPushButton(QStringLiteral("Check for Updates"), this);
    connect(m_check, &QPushButton::clicked, this, [this] { m_store.check(true); });
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 0);
    m_progress->setMaximumHeight(8);
    m_progress->setTextVisible(false);
    m_lastChecked = plainLabel(this);
    m_lastChecked->setFont(caption(font()));
    m_message = plainLabel(this);
    AccessibleFields::announce(m_message);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_release = new QWidget(this);
    auto *release = new QVBoxLayout(m_release);
    release->setContentsMargins(0, 0, 0, 0);
    release->setSpacing(12);
    m_releaseTitle = plainLabel(m_release);
    m_releaseTitle->setFont(headline(font()));
    m_notes = plainLabel(m_release);
    m_notes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *explanation = plainLabel(m_release);
    explanation->setFont(caption(font()));
    explanation->setForegroundRole(QPalette::PlaceholderText);
    explanation->setText(QStringLiteral(
        "Download and install without leaving Vantrel. Vantrel verifies the signed download and hands it to the "
        "system's package manager, which asks for an administrator's password, then restarts after your "
        "confirmation. Unsaved charts must be saved or explicitly discarded before restarting; you can cancel."));
    auto *buttons = new QHBoxLayout;
    m_install = new QPushButton(m_release);
    m_install->setDefault(true);
    connect(m_install, &QPushButton::clicked, this, [this] { m_store.installUpdate(); });
    m_skip = new QPushButton(QStringLiteral("Skip This Version"), m_release);
    connect(m_skip, &QPushButton::clicked, this, [this] { m_store.skipAvailable(); });
    buttons->addWidget(m_install);
    buttons->addWidget(m_skip);
    buttons->addStretch();
    // While installing: how far it has come, and Cancel until the package manager starts.
    auto *installing = new QHBoxLayout;
    m_installProgress = new QProgressBar(m_release);
    m_installProgress->setMaximumHeight(8);
    m_installProgress->setTextVisible(false);
    m_installStatus = plainLabel(m_release);
    m_installStatus->setWordWrap(false);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), m_release);
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_store.cancelInstall(); });
    installing->addWidget(m_installProgress, 1);
    installing->addWidget(m_installStatus);
    installing->addWidget(m_cancel);
    m_digest = plainLabel(m_release);
    QFont mono = caption(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_digest->setFont(mono);
    m_digest->setWordWrap(false);
    m_digest->setTextInteractionFlags(Qt::TextSelectableByMouse);
    release->addWidget(m_releaseTitle);
    release->addWidget(m_notes);
    release->addWidget(explanation);
    release->addLayout(buttons);
    release->addLayout(installing);
    release->addWidget(m_digest);

    for (QWidget *row : {static_cast<QWidget *>(m_running), static_cast<QWidget *>(m_automatic),
                         static_cast<QWidget *>(m_check), static_cast<QWidget *>(m_progress),
                         static_cast<QWidget *>(m_lastChecked), static_cast<QWidget *>(m_message), m_release})
        rows->addWidget(row, 0, row == m_check ? Qt::AlignLeft : Qt::Alignment());
    rows->addStretch();

    connect(&store, &UpdateOffer::changed, this, &UpdateSettingsPanel::refresh);
    refresh();
}

void UpdateSettingsPanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_store.start();
}

void UpdateSettingsPanel::refresh()
{
    m_running->setText(QStringLiteral("Vantrel %1 (%2)").arg(m_store.version()).arg(m_store.build()));
    const QSignalBlocker quiet(m_automatic);
    m_automatic->setChecked(m_store.isAutomatic());
    const bool busy = m_store.isChecking() || m_store.isInstalling();
    // The buttons keep the focus through a check or an install they are disabled for.
    FocusKeeper::setEnabled(m_check, !busy);
    m_progress->setVisible(m_store.isChecking());
    const std::optional<QDateTime> checked = m_store.lastChecked();
    m_lastChecked->setVisible(bool(checked));
    if (checked)
        m_lastChecked->setText(QStringLiteral("Last checked: ")
                               + QLocale().toString(checked->toLocalTime(), QLocale::ShortFormat));
    AccessibleFields::setMessage(m_message, m_store.message());
    m_message->setVisible(!m_store.message().isEmpty());

    const std::optional<UpdateManifest> &release = m_store.available();
    m_release->setVisible(bool(release));
    if (!release)
        return;
    const std::optional<InstallProgress> &progress = m_store.installProgress();
    for (QWidget *part : {static_cast<QWidget *>(m_installProgress), static_cast<QWidget *>(m_installStatus)})
        part->setVisible(m_store.isInstalling());
    m_cancel->setVisible(m_store.isInstalling());
    FocusKeeper::setEnabled(m_cancel, m_store.canCancelInstall());
    m_installStatus->setText(m_store.progressText());
    // Busy without a total, else the share done.
    const bool known = progress && progress->total > 0;
    m_installProgress->setRange(0, known ? 1000 : 0);
    if (known)
        m_installProgress->setValue(int(progress->done * 1000 / progress->total));
    m_releaseTitle->setText(
        QStringLiteral("Version %1 (%2)").arg(QString::fromStdString(release->version)).arg(release->releaseBuild()));
    m_notes->setText(QString::fromStdString(release->releaseNotes()));
    // "&&": a single ampersand would be taken as a mnemonic.
    m_install->setText(m_store.isInstalling()       ? QStringLiteral("Update in Progress…")
                       : m_store.isRestartPending() ? QStringLiteral("Restart to Finish Updating")
                                                    : QStringLiteral("Download && Install Update…"));
    FocusKeeper::setEnabled(m_install, !m_store.isInstalling());
    FocusKeeper::setEnabled(m_skip, !m_store.isInstalling() && !m_store.isRestartPending());
    m_digest->setText(QStringLiteral("SHA-256: ") + QString::fromStdString(release->sha256));
}
