#pragma once

#include "app/sidebar/binding.h"

// moc cannot parse the standard library's C++20 headers that the JSON library pulls in.
#ifndef Q_MOC_RUN
#include "core/model/print_settings.h"
#endif

#include <QWidget>

#include <optional>

class QCheckBox;
class QLabel;

// The four switches of how cards show people.
enum class DisplayToggle { names, positions, payLevel, collapseToPosition };

bool isDisplayToggleOn(const ChartPrintSettings &settings, DisplayToggle toggle);
// The settings after the user turns one switch on or off, with the switches it drags
// along: names and collapsed titles never show together, collapsing needs job titles.
ChartPrintSettings withDisplayToggle(ChartPrintSettings settings, DisplayToggle toggle, bool on);

// The checkboxes "Names", "Positions (Job Titles)", "Pay Level", "Collapse to Position"
// and, for a caller that offers it, "Focused Department View". Every click writes through
// the binding and then shows what the binding holds, so a refused write shows as refused.
class ChartAppearanceControls : public QWidget {
    Q_OBJECT
public:
    // Without a focused-view binding (the print sheet) only the first four rows show.
    explicit ChartAppearanceControls(Binding<ChartPrintSettings> settings,
                                     std::optional<Binding<bool>> focusedDepartmentView = std::nullopt,
                                     QWidget *parent = nullptr);

    // Whether the focused-view checkbox may be changed now; its caption shows either way.
    void setCanChangeFocusedView(bool can);
    // Shows the bound values again, after a change made elsewhere.
    void refresh();

    QCheckBox *checkBox(DisplayToggle toggle) const;
    // Null without a focused-view binding.
    QCheckBox *focusedViewBox() const { return m_focusedView; }

private:
    QCheckBox *addToggle(DisplayToggle toggle, const QString &label, const QString &toolTip);
    QLabel *addCaption(const QString &text);

    Binding<ChartPrintSettings> m_settings;
    std::optional<Binding<bool>> m_focusedDepartmentView;
    QCheckBox *m_toggles[4] = {};
    QCheckBox *m_focusedView = nullptr;
};
