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
    // The restart after an installed update: the review before quitting, then the end of the
    // event loop. False, with every window kept, when a document was neither saved nor
    // discarded (cancelled, or its save failed).
    bool restart();
    bool isRestartRequested() const { return m_restart; }
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
