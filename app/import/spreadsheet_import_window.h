#pragma once

#include "app/import/import_flow.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <optional>

class ColumnMatchingStep;
class CorrectionGrid;
class ImportFileStep;
class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QToolButton;

// The import window beside a chart window: at most one per owner window, titled after it
// (and retitled with it), with its frame remembered under "VantrelImportWorkspace". It may
// outlive its owner; the apply action then refuses. Closing it drops the import, corrections
// included.
class SpreadsheetImportWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int defaultWidth = 1100;
    static constexpr int defaultHeight = 800;
    static inline const QString frameKey = QStringLiteral("VantrelImportWorkspace");

    // Shows the owner's import window in front, building it when there is none; the
    // organization and action of a later call for an open window are not used.
    static SpreadsheetImportWindow *present(QWidget *owner, Organization existing, ImportFlow::ApplyAction apply,
                                               Dialogs &dialogs, ImportFlow::Reader reader = {});
    // The open import window of `owner`, or null.
    static SpreadsheetImportWindow *windowFor(const QWidget *owner);

    // The window's minimum size and frame for a width the view needs: never narrower than
    // 1,100 unless asked, its height kept from `current`, placed at `resting` (where it stood
    // before the view widened it) as far as the screen's available area allows. So widening
    // moves it back onto the screen, and shrinking back returns it to where it was.
    struct Frame {
        QSize minimum;
        QRect geometry;
    };
    static Frame frameFor(int requestedWidth, const QRect &current, const QPoint &resting, const QRect &available);

    ImportFlow &flow() const { return *m_flow; }
    ImportFileStep *fileStep() const { return m_fileStep; }
    ColumnMatchingStep *columnStep() const { return m_columnStep; }
    CorrectionGrid *correctionGrid() const { return m_grid; }
    QPushButton *stepButton(ImportFlow::Step step) const { return m_stepButtons[size_t(step)]; }
    QPushButton *primaryButton() const { return m_primary; }
    QPushButton *saveDraftButton() const { return m_saveDraft; }
    QLabel *errorLine() const { return m_error; }
    QWidget *busyLine() const { return m_busy; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    SpreadsheetImportWindow(QWidget *owner, Organization existing, ImportFlow::ApplyAction apply, Dialogs &dialogs,
                               ImportFlow::Reader reader);
    QWidget *buildTitleRow();
    QWidget *buildStepBar();
    QWidget *buildActionRow();
    void refresh();
    void followOwnerTitle();
    void followWidth(int width);
    // After the file chooser: the focus waits while the file is read, then goes on to what
    // comes next.
    void chooserClosed();
    void placeFocusAfterReading();

    ImportFlow *m_flow;
    QPointer<QWidget> m_owner;
    // Where the window stands unless the view's width pushes it, and where followWidth()
    // last put it: a window found elsewhere was moved by its user, and rests there now.
    QPoint m_resting;
    std::optional<QPoint> m_placed;
    std::array<QPushButton *, 3> m_stepButtons{};
    QWidget *m_busy = nullptr;
    QProgressBar *m_reading = nullptr;
    QStackedWidget *m_steps = nullptr;
    ImportFileStep *m_fileStep = nullptr;
    ColumnMatchingStep *m_columnStep = nullptr;
    QLabel *m_caption = nullptr;
    CorrectionGrid *m_grid = nullptr;
    QLabel *m_error = nullptr;
    QPushButton *m_backToColumns = nullptr;
    QPushButton *m_saveDraft = nullptr;
    QPushButton *m_backToFile = nullptr;
    QPushButton *m_primary = nullptr;
    bool m_focusAfterReading = false; // a chosen file is being read
};
