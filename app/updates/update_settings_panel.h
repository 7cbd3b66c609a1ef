#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class UpdateStore;

// The update preferences: the running version, the automatic-check switch, a manual check,
// the time of the last check, the store's message and, when a release is known, its notes
// with install and skip. Keeps no state: every change of the store redraws it.
class UpdateSettingsPanel : public QWidget {
    Q_OBJECT
public:
    explicit UpdateSettingsPanel(UpdateStore &store, QWidget *parent = nullptr);

    QCheckBox *automaticToggle() const { return m_automatic; }
    QPushButton *checkButton() const { return m_check; }
    QPushButton *installButton() const { return m_install; }
    QPushButton *skipButton() const { return m_skip; }
    QPushButton *cancelButton() const { return m_cancel; }
    QProgressBar *installProgressBar() const { return m_installProgress; }
    QLabel *installStatus() const { return m_installStatus; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refresh();

    UpdateStore &m_store;
    QLabel *m_running;
    QCheckBox *m_automatic;
    QPushButton *m_check;
    QProgressBar *m_progress;
    QLabel *m_lastChecked;
    QLabel *m_message;
    QWidget *m_release;
    QLabel *m_releaseTitle;
    QLabel *m_notes;
    QPushButton *m_install;
    QPushButton *m_skip;
    QProgressBar *m_installProgress;
    QLabel *m_installStatus;
    QPushButton *m_cancel;
    QLabel *m_digest;
};
