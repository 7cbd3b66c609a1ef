#pragma once

class QLabel;
class QString;
class QWidget;

// How fields are named for screen readers: from the label the user sees beside them.
namespace AccessibleFields {

// Makes combo boxes read their label as their name and their choice as their value (Qt on
// Linux gives the choice as both). Once per process, after the application object exists;
// the application calls it, and every window with a combo box, or one of those below,
// before it is shown.
void install();

// Has a window made of a plain widget (not a dialog or main window) read as a window rather
// than as a nameless filler. First thing in its constructor, before anything reads it.
void readAsWindow(QWidget *window);

// Ties `label` to `field`: the label is the field's buddy (its name, and Alt with the
// label's mnemonic focuses the field). A text field inside an editable combo box is named
// too, as screen readers announce the focused text field itself.
void tie(QLabel *label, QWidget *field);
// Names a field that shows no label of its own, from the text that stands in for one (a
// placeholder or a heading). A text field's clear button is named "Clear": call this after
// turning the button on.
void name(QWidget *field, const QString &name);

// Has `line`, a label that says in its window what would otherwise take a dialog (a failure,
// or what an action did), reach a screen reader as a notification: heard when it comes into
// sight, and when setMessage gives it a new text while in sight. Before the line is shown.
void announce(QLabel *line);
// Gives an announced line `text`; showing or hiding the line, or what holds it, stays the
// caller's.
void setMessage(QLabel *line, const QString &text);
// Has a line in sight heard again with the text it already shows: the same failure met a
// second time is news to the user too, though setMessage finds nothing new to tell.
void announceAgain(QLabel *line);
// Gives an announced line the message of a failure just met (or of what an action just did),
// heard once now, whether it is new or the text the line already shows. Before the line is
// shown, as setMessage: a line coming into sight is heard as it shows.
void tell(QLabel *line, const QString &text);

} // namespace AccessibleFields
