#include "app/updates/settings_window.h"

#include "app/updates/update_settings_panel.h"

#include <QVBoxLayout>

SettingsWindow::SettingsWindow(UpdateStore &store, QWidget *parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Settings"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    m_panel = new UpdateSettingsPanel(store, this);
    layout->addWidget(m_panel);
    resize(600, 440);
}

void SettingsWindow::present()
{
    show();
    raise();
    activateWindow();
}
