#pragma once

#include <QWidget>

class UpdateSettingsPanel;
class UpdateStore;

// The application's Settings window; its content is the update panel.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    explicit SettingsWindow(UpdateStore &store, QWidget *parent = nullptr);

    UpdateSettingsPanel *panel() const { return m_panel; }
    // Brings the window forward (showing the panel starts the store's schedule).
    // On first showing it is placed wholly on the screen, at most as large as its free area.
    void present();

private:
    void placeOnScreen();

    UpdateSettingsPanel *m_panel;
};
