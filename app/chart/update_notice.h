#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;

// What the status bar needs of the software-update store; the update store implements it.
class UpdateOffer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isInstalling() const = 0;
    // The version offered to the user: present only while an update is available and is
    // to be shown.
    virtual std::optional<QString> offeredVersion() const = 0;
    // Installs the offered version, or restarts once one is installed.
    virtual void install() = 0;
    // What the notice says while installing, with the progress.
    virtual QString installingText() const { return QStringLiteral("Updating Vantrel…"); }
    virtual bool canCancelInstall() const { return false; }
    virtual void cancelInstall() {}
    virtual bool isRestartPending() const { return false; }

signals:
    void changed();
};

// The update notice at the right of a chart window's status bar: "Updating Vantrel…" with
// the progress and Cancel during an installation, a button "Restart to Finish Updating" once
// a release is installed, else a button "Update to <version>…" while an update is offered,
// else nothing.
class UpdateNotice : public QWidget {
    Q_OBJECT
public:
    enum class Kind { none, installing, offer, restart };
    struct Content {
        Kind kind = Kind::none;
        QString text;
        bool operator==(const Content &) const = default;
    };
    static Content content(const UpdateOffer *offer);

    explicit UpdateNotice(QWidget *parent = nullptr);
    // Null shows nothing; the notice follows the offer's changes.
    void setOffer(UpdateOffer *offer);
    QPushButton *cancelButton() const { return m_cancel; }
    QPushButton *updateButton() const { return m_update; }

private:
    void refresh();

    QPointer<UpdateOffer> m_offer;
    QLabel *m_installing;
    QPushButton *m_cancel;
    QPushButton *m_update;
};
