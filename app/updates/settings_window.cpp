#include "app/updates/settings_window.h"

#include "app/shell/accessible_fields.h"
#include "app/updates/update_settings_panel.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QWindow>
#include <QVBoxLayout>

#include <algorithm>

SettingsWindow::SettingsWindow(UpdateStore &store, QWidget *parent) : QWidget(parent, Qt::Window)
{
    AccessibleFields::readAsWindow(this);
    setWindowTitle(QStringLiteral("Settings"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // Long release notes scroll: the window never needs to be taller than the screen.
    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The window opens on its first control, not on the nameless area around them.
    scroll->setFocusPolicy(Qt::NoFocus);
    auto *content = new QWidget(scroll);
    auto *padded = new QVBoxLayout(content);
    padded->setContentsMargins(20, 20, 20, 20);
    m_panel = new UpdateSettingsPanel(store, content);
    padded->addWidget(m_panel);
    scroll->setWidget(content);
    layout->addWidget(scroll);
    // Closes as every other window does: a Close button, Escape and Ctrl+W.
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(20, 8, 20, 16);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    for (const QKeySequence &keys : {QKeySequence(Qt::Key_Escape), QKeySequence(QStringLiteral("Ctrl+W"))}) {
        auto *shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &QWidget::close);
    }
    resize(600, 440);
}

void SettingsWindow::present()
{
    if (!isVisible())
        placeOnScreen();
    show();
    raise();
    activateWindow();
}

void SettingsWindow::placeOnScreen()
{
    // On the screen of the window the user works in, centred on it and wholly inside the
    // screen's free area, title bar included.
    const QWidget *active = QApplication::activeWindow();
    if (active == this)
        active = nullptr;
    const QScreen *screen = active ? active->screen() : this->screen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    resize(size().boundedTo(room.size().shrunkBy(frame)));
    const QSize framed = size().grownBy(frame);
    const QPoint centre = active ? active->frameGeometry().center() : room.center();
    const int x = std::clamp(centre.x() - framed.width() / 2, room.left(), room.right() + 1 - framed.width());
    const int y = std::clamp(centre.y() - framed.height() / 2, room.top(), room.bottom() + 1 - framed.height());
    move(x, y);
}
