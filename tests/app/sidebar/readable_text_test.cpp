#include "app/sidebar/sidebar_style.h"

#include "palette_contrast.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

using namespace AppTest;

namespace {

// How well a caption reads, drawn in a window of `palette`.
double captionContrast(const QPalette &palette)
{
    QWidget window;
    window.setPalette(palette);
    auto *layout = new QVBoxLayout(&window);
    QLabel *caption = makeCaption(QStringLiteral("Changes apply to this chart and its print layout."), &window);
    layout->addWidget(caption);
    window.show();
    QCoreApplication::processEvents();
    const QImage shot = caption->grab().toImage();
    return strongestContrast(shot, shot.rect(), palette.color(QPalette::Window));
}

// Captions and second lines read at 4.5:1 in a light and a dark palette once the
// application's secondary text is made readable; a light desktop's own grey does not.
TEST(ReadableText, SecondaryTextReadsInBothPalettes)
{
    EXPECT_LT(captionContrast(lightPalette()), 4.5) << "the desktop's grey alone";
    for (const QPalette &palette : {lightPalette(), darkPalette()}) {
        const QPalette readable = withReadableSecondaryText(palette);
        EXPECT_GE(captionContrast(readable), 4.5) << palette.color(QPalette::Window).name().toStdString();
        EXPECT_GE(contrast(readable.color(QPalette::PlaceholderText), readable.color(QPalette::Base)), 4.5);
        // Text that already reads is left as it is.
        EXPECT_EQ(withReadableSecondaryText(readable), readable);
    }
}

// A colour made readable keeps its hue: red stays red, darker on light, lighter on dark.
TEST(ReadableText, ColoursStayTheirHue)
{
    for (const QColor &background : {QColor(239, 239, 239), QColor(53, 53, 53), QColor(72, 72, 72)}) {
        const QColor red = readableOn(errorRed, {background});
        EXPECT_GE(contrast(red, background), 4.5) << background.name().toStdString();
        EXPECT_GT(red.red(), red.green() + 40) << red.name().toStdString();
    }
    EXPECT_EQ(readableOn(Qt::black, {Qt::white}), QColor(Qt::black));
}

} // namespace
