#include "app/sidebar/chart_appearance_controls.h"

#include "app/sidebar/sidebar_style.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

bool isDisplayToggleOn(const ChartPrintSettings &settings, DisplayToggle toggle)
{
    switch (toggle) {
    case DisplayToggle::names:
        return settings.showNames();
    case DisplayToggle::positions:
        return settings.showPositions();
    case DisplayToggle::payLevel:
        return settings.showPayLevel;
    case DisplayToggle::collapseToPosition:
        return settings.collapseToPosition();
    }
    return false;
}

ChartPrintSettings withDisplayToggle(ChartPrintSettings settings, DisplayToggle toggle, bool on)
{
    switch (toggle) {
    case DisplayToggle::names:
        settings.setShowNames(on);
        break;
    case DisplayToggle::positions:
        settings.setShowPositions(on);
        break;
    case DisplayToggle::payLevel:
        settings.showPayLevel = on;
        break;
    case DisplayToggle::collapseToPosition:
        settings.setCollapseToPosition(on);
        break;
    }
    return settings;
}

ChartAppearanceControls::ChartAppearanceControls(Binding<ChartPrintSettings> settings,
                                                 std::optional<Binding<bool>> focusedDepartmentView, QWidget *parent)
    : QWidget(parent)
    , m_settings(std::move(settings))
    , m_focusedDepartmentView(std::move(focusedDepartmentView))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    addToggle(DisplayToggle::names, tr("Names"),
              tr("Show employee names or Vacant. Turning Names on turns Collapse to Position off."));
    addToggle(DisplayToggle::positions, tr("Positions (Job Titles)"),
              tr("Show the Job Title on each card. Pay Level is a separate label."));
    addToggle(DisplayToggle::payLevel, tr("Pay Level"), tr("Show the position’s Pay Level in addition to its Job Title."));
    addToggle(DisplayToggle::collapseToPosition, tr("Collapse to Position"), QString());
    addCaption(tr("Hide names and combine compatible Job Titles under the same manager into one card with a count "
                  "and total FTE. Records are not merged. Checking this turns Names off and Positions on."));
    if (m_focusedDepartmentView) {
        m_focusedView = new QCheckBox(tr("Focused Department View"), this);
        layout->addWidget(m_focusedView);
        connect(m_focusedView, &QCheckBox::toggled, this, [this](bool on) {
            m_focusedDepartmentView->set(on);
            refresh();
        });
        addCaption(tr("For this sheet only: keep its department together, put shared reports in a separate area, and "
                      "link to their primary managers instead of bringing in the whole reporting chain. Turn off to "
                      "see full context. Printing uses the same view."));
    }
    refresh();
}

QCheckBox *ChartAppearanceControls::addToggle(DisplayToggle toggle, const QString &label, const QString &toolTip)
{
    auto *box = new QCheckBox(label, this);
    box->setToolTip(toolTip);
    layout()->addWidget(box);
    m_toggles[int(toggle)] = box;
    connect(box, &QCheckBox::toggled, this, [this, toggle](bool on) {
        m_settings.set(withDisplayToggle(m_settings.get(), toggle, on));
        refresh();
    });
    return box;
}

QLabel *ChartAppearanceControls::addCaption(const QString &text)
{
    QLabel *caption = makeCaption(text, this);
    layout()->addWidget(caption);
    return caption;
}

void ChartAppearanceControls::setCanChangeFocusedView(bool can)
{
    if (m_focusedView)
        m_focusedView->setEnabled(can);
}

void ChartAppearanceControls::refresh()
{
    const ChartPrintSettings settings = m_settings.get();
    for (DisplayToggle toggle : {DisplayToggle::names, DisplayToggle::positions, DisplayToggle::payLevel,
                                 DisplayToggle::collapseToPosition}) {
        // Blocked: showing a value must not write it back.
        const QSignalBlocker blocker(m_toggles[int(toggle)]);
        m_toggles[int(toggle)]->setChecked(isDisplayToggleOn(settings, toggle));
    }
    if (m_focusedView) {
        const QSignalBlocker blocker(m_focusedView);
        m_focusedView->setChecked(m_focusedDepartmentView->get());
    }
}

QCheckBox *ChartAppearanceControls::checkBox(DisplayToggle toggle) const
{
    return m_toggles[int(toggle)];
}
