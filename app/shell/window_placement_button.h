#pragma once

#include <QPushButton>

#include <vector>

namespace WindowPlacement {

// A push button that gives way in a window too narrow for its text, as on a small screen at a
// large scale: it may be made narrower than its text, and then shows the text elided and
// offers the whole text in its tooltip, above its own help. Screen readers hear the whole
// text either way.
class ElidingButton : public QPushButton {
    Q_OBJECT
public:
    explicit ElidingButton(const QString &text, QWidget *parent = nullptr);
    ElidingButton(const QIcon &icon, const QString &text, QWidget *parent = nullptr);

    // Wide enough for a few letters and the ellipsis.
    QSize minimumSizeHint() const override;
    bool isElided() const { return width() < sizeHint().width(); }
    // The text as drawn: the whole text, or its start and an ellipsis.
    QString shownText() const;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int textWidth() const;
};

// The widest each of buttons as wide as `widths` may be so that together they take no more than
// `room`: the widest give way first, down to one common width, and narrower ones keep theirs.
// INT_MAX when they all fit.
int commonWidth(std::vector<int> widths, int room);

// Lets the eliding buttons in the box layout of `row` give way widest first when the row is
// too narrow for all of them, so that short texts stay whole while long ones are elided.
void elideWidestFirst(QWidget &row);

} // namespace WindowPlacement
