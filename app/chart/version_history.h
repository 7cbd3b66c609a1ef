#pragma once

#include <QDialog>
#include <QObject>
#include <QString>

#include <optional>
#include <string>
#include <vector>

class ChartView;
class ChartWindow;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// One saved version as the history lists it.
struct VersionRow {
    std::string id;
    QString heading; // "Version <number> — <note>"
    QString detail;  // "<date and time> · <count> positions"
    QString date;    // "<date and time>"
    QString spoken;  // "Version <number> — <note> · <count> positions": the row's name for a screen reader
};

// The version history of one window, without widgets: the note typed for the next version,
// "Save Version", restoring a version and setting the baseline with its optional backup.
// Every change to the document is one undo step; undoing a baseline brings the versions
// back. The note and the result line live as long as the window.
class VersionHistory : public QObject {
    Q_OBJECT
public:
    explicit VersionHistory(ChartView &view);
    // The window's history, made on first use.
    static VersionHistory &of(ChartView &view);

    const QString &versionNote() const { return m_versionNote; }
    void setVersionNote(const QString &note);
    // The result line after a baseline; empty before, and again once the removed versions
    // are back (the baseline undone).
    const QString &baselineMessage() const { return m_baselineMessage; }

    // Newest first.
    std::vector<VersionRow> rows() const;
    QString countText() const;
    bool canSetBaseline() const;

    // Saves the current state as a version noted `versionNote`, or "Saved version" when it
    // is empty, and empties the note. Failures are alerted; the note stays.
    void saveVersion();
    // Brings a version back (the archive saves the state before and after) and clears the
    // selection. False, after an alert, when it failed: the history then stays open.
    bool restore(const std::string &id);
    // Asks "Set the current organization as the baseline?" and runs the chosen way.
    void requestBaseline();
    // Removes every saved version, with a backup of the document as it was first when
    // `saveBackup` (the user names the file; cancelling changes nothing). Failures show in
    // "Baseline Error" and change nothing; a backup once written stays.
    void setBaseline(bool saveBackup);

signals:
    void changed();

private:
    // The backup's path, or nothing when cancelled; throws OrganizationError for the
    // document's own file.
    std::optional<QString> chooseBackup();
    void forgetUndoneBaseline();

    ChartView &m_view;
    QString m_versionNote;
    QString m_baselineMessage;
    // One version the last baseline removed: while it is absent the result line holds.
    std::string m_removedVersionID;
};

// The "Version History" dialog, 680 × 500, over its window's VersionHistory.
class VersionHistoryDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int dialogWidth = 680;
    static constexpr int dialogHeight = 500;

    VersionHistoryDialog(VersionHistory &history, QWidget *parent);
    // Opens it window-modal over `window`; it deletes itself when closed.
    static VersionHistoryDialog *open(ChartWindow &window);

    QLineEdit *noteField() const { return m_note; }
    QListWidget *list() const { return m_list; }
    QPushButton *baselineButton() const { return m_baseline; }
    QLabel *resultLabel() const { return m_result; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void refresh();

    VersionHistory &m_history;
    QLineEdit *m_note;
    QListWidget *m_list;
    QLabel *m_count;
    QPushButton *m_baseline;
    QLabel *m_result;
    QPushButton *m_done;
    bool m_closing = false; // closed by a restore, with the list as it was
};
