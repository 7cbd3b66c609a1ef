#include "app/updates/settings_window.h"

#include "app/updates/update_settings_panel.h"

#include <QApplication>
#include <QScreen>
#include <QScrollArea>
#include <QWindow>
#include <QVBoxLayout>

#include <algorithm>

SettingsWindow::SettingsWindow(UpdateStore &store, QWidget *parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Settings"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // Long release notes scroll: the window never needs to be taller than the screen.
    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *content = new QWidget(scroll);
    auto *padded = new QVBoxLayout(content);
    padded->setContentsMargins(20, 20, 20, 20);
    m_panel = new UpdateSettingsPanel(store, content);
    padded->addWidget(m_panel);
    scroll->setWidget(content);
    layout->addWidget(scroll);
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
