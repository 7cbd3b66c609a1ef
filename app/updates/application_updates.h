#pragma once

#include <QObject>

#include <memory>

class DocumentController;
class QNetworkAccessManager;
class QSettings;
class SettingsWindow;
class UpdateStore;

// The update machinery of one run: the store with its real network, clock and installer,
// the Settings window, and the restart that follows an installed update.
class ApplicationUpdates : public QObject {
    Q_OBJECT
public:
    ApplicationUpdates(DocumentController &controller, QSettings &settings);
    ~ApplicationUpdates() override;

    UpdateStore &store() const { return *m_store; }
    void showSettings();
    // After the event loop: starts the newly installed program when a restart was asked.
    void restartIfRequested() const;

private:
    DocumentController &m_controller;
    std::unique_ptr<QNetworkAccessManager> m_network;
    struct Parts;
    std::unique_ptr<Parts> m_parts;
    UpdateStore *m_store = nullptr;
    SettingsWindow *m_settingsWindow = nullptr;
    bool m_restart = false;
};
