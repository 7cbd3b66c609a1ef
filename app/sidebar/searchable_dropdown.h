#pragma once

#include "app/sidebar/dropdown_option.h"

#include <QFrame>
#include <QPushButton>
#include <QWidget>

#include <vector>

class DropdownListModel;
class QLabel;
class QLineEdit;
class QListView;

// The closed face of a dropdown: the chosen title on one line, elided when the button is
// narrower than the title, and an up-down chevron at the trailing edge.
class DropdownButton : public QPushButton {
    Q_OBJECT
public:
    explicit DropdownButton(QWidget *parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// The popup of a dropdown: a filter field over the list of the options it matches. The keys
// stay in the field: the arrows and the page keys move the highlight through the list, and
// Return chooses the highlighted row. The highlight starts on the current choice, in sight,
// and moves to the first match as the user types.
class DropdownPopup : public QFrame {
    Q_OBJECT
public:
    static constexpr int popupWidth = 420;
    static constexpr int popupHeight = 320;

    explicit DropdownPopup(QWidget *parent = nullptr);
    // Its size where the screen has room; on a smaller screen the list is shorter.
    QSize sizeHint() const override;
    void setOptions(const DropdownOptionIndex *index, const QString &selection);
    // Shows the popup below `anchor` (above it near the screen's bottom), the filter field focused.
    void openBelow(QWidget *anchor);

    QLineEdit *queryField() const { return m_query; }
    QListView *listView() const { return m_list; }
    QLabel *emptyLabel() const { return m_empty; }

signals:
    void chosen(const QString &id);
    void closed();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    void hideEvent(QHideEvent *event) override;

private:
    void refilter();
    void moveCursor(int key);
    void chooseRow(int row);

    const DropdownOptionIndex *m_index = nullptr;
    QLineEdit *m_query;
    QLabel *m_empty;
    QListView *m_list;
    DropdownListModel *m_model;
    QString m_highlighted; // the id of the option Return chooses, or none
};

// The one picker for choosing a value out of a possibly long list: a label and a button
// showing the chosen option's title; the button opens a popup whose filter field narrows
// the list. Only a click on a row or Return (on the highlighted row: the current choice, the
// first match of what is typed, or the row the arrows reached) chooses; typing never does.
// The selection is the caller's: the dropdown shows the one it was given and reports a
// choice with `chosen`.
class SearchableDropdown : public QWidget {
    Q_OBJECT
public:
    explicit SearchableDropdown(const QString &title, QWidget *parent = nullptr);

    // Each option's search text is folded here, once per list.
    void setOptions(std::vector<DropdownOption> options);
    const std::vector<DropdownOption> &options() const { return m_index.options(); }
    // Gives the options away, keeping none: a closing window may free a long list elsewhere.
    DropdownOptionIndex takeOptions();
    // May be an id no option has: the face then shows "Choose…".
    void setSelection(const QString &id);
    const QString &selection() const { return m_selection; }

    void open();
    bool isOpen() const;

    DropdownButton *button() const { return m_button; }
    DropdownPopup *popup() const { return m_popup; }

signals:
    // The user chose the option with this id; selection() already holds it.
    void chosen(const QString &id);

private:
    void refreshFace();

    DropdownOptionIndex m_index;
    QString m_selection;
    DropdownButton *m_button;
    DropdownPopup *m_popup;
};
