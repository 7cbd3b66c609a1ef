#pragma once

#include "app/sidebar/binding.h"

// moc cannot parse the standard library's C++20 headers that the JSON library pulls in.
#ifndef Q_MOC_RUN
#include "core/model/print_settings.h"
#endif

#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

class ChartAppearanceControls;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QLocale;

// A named paper size in inches, width being the short edge.
struct PaperPreset {
    QString name;
    double width = 0;
    double height = 0;
};

// Letter, Legal, Tabloid, A4 and A3, in that order.
std::vector<PaperPreset> standardPapers();

// The paper picker's text: "Custom" while the user has chosen it, else the first preset
// within 0.01 inch in both stored dimensions (orientation aside), else "Custom".
QString paperName(const ChartPrintSettings &settings, const std::vector<PaperPreset> &papers, bool customPaper = false);
// Whether a typed paper dimension is kept: finite and from 2 to 200 inches.
bool acceptDimension(double inches);
// Inches as the panel and its help show them: up to three decimals, no trailing zeros.
QString inchesText(double inches);
// The help of the "Paper & Appearance" button: the paper's sides as laid out on the page,
// "Design paper: <W> × <H> inches. …".
QString paperHelpText(const ChartPrintSettings &settings);
// A dimension as typed in `locale`, when it reads as a number that acceptDimension keeps.
std::optional<double> readDimension(const QString &text, const QLocale &locale);

// What the "Paper & Appearance" panel edits, all owned by the chart window.
struct ChartDesignBindings {
    Binding<ChartPrintSettings> settings;
    Binding<QString> pageTitle;
    Binding<QString> pageSubtitle;
    std::optional<Binding<bool>> focusedDepartmentView;
};

// The "Paper & Appearance" panel: paper preset or custom size, orientation, balance to
// paper, the display toggles and the page headings. Every control writes at once through
// the bindings; the panel keeps no copy beyond whether "Custom" was chosen.
class ChartDesignControls : public QWidget {
    Q_OBJECT
public:
    static constexpr int panelWidth = 480;
    static constexpr int panelHeight = 700;

    ChartDesignControls(ChartDesignBindings bindings, std::vector<PaperPreset> papers, QWidget *parent = nullptr);
    // The whole panel, its controls centred in it, where the screen has room.
    QSize sizeHint() const override;

    void setCanChangeFocusedView(bool can);
    // Shows the bound values again, after a change made elsewhere. A field the user is
    // still typing in keeps its text.
    void refresh();

    QComboBox *paperPicker() const { return m_paper; }
    QLineEdit *widthField() const { return m_width; }
    QLineEdit *heightField() const { return m_height; }
    QComboBox *orientationPicker() const { return m_orientation; }
    QCheckBox *balanceBox() const { return m_balance; }
    ChartAppearanceControls *appearance() const { return m_appearance; }
    QLineEdit *titleField() const { return m_title; }
    QLineEdit *subtitleField() const { return m_subtitle; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void choosePaper(const QString &name);
    void commitDimension(QLineEdit *field, double ChartPrintSettings::*member);
    void writeSettings(const ChartPrintSettings &settings);

    ChartDesignBindings m_bindings;
    std::vector<PaperPreset> m_papers;
    bool m_customPaper = false;
    QComboBox *m_paper;
    QLineEdit *m_width;
    QLineEdit *m_height;
    QComboBox *m_orientation;
    QCheckBox *m_balance;
    ChartAppearanceControls *m_appearance;
    QLineEdit *m_title;
    QLineEdit *m_subtitle;
};
