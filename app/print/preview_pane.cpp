#include "app/print/preview_pane.h"

#include "printing/chart_pdf_rasterizer.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

void PreviewPaneState::setDocument(const std::optional<QByteArray> &document, bool samePages)
{
    if (document == m_document)
        return;
    m_document = document;
    if (!samePages)
        m_page = 0;
    renderPage();
}

void PreviewPaneState::showPage(int page)
{
    if (page < 0 || page >= m_pageCount || page == m_page)
        return;
    m_page = page;
    renderPage();
}

void PreviewPaneState::renderPage()
{
    if (!m_document)
        return;
    try {
        m_pageCount = ChartPDFRasterizer::pageCount(*m_document);
        m_image = ChartPDFRasterizer::bitmap(*m_document, m_page, pixels);
        m_errorMessage.reset();
    } catch (const std::exception &error) {
        m_image = QImage();
        m_errorMessage = QString::fromUtf8(error.what());
    }
}

QString PreviewPaneState::pageLabel() const
{
    if (m_pageCount == 0)
        return QStringLiteral("No pages");
    return QStringLiteral("Page %1 of %2").arg(m_page + 1).arg(m_pageCount);
}

QString PreviewPaneState::placeholderText() const
{
    return m_errorMessage.value_or(QStringLiteral("Choose settings, then Update Preview."));
}

namespace {

// The page picture fitted into the space it has, 8 points in from every side, or the
// placeholder.
class PreviewPageArea : public QWidget {
public:
    explicit PreviewPageArea(const PreviewPaneState &state) : m_state(state)
    {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QImage &image = m_state.image();
        if (!image.isNull()) {
            const QSizeF frame(std::max(1, width() - 16), std::max(1, height() - 16));
            const QSizeF fitted = QSizeF(image.size()).scaled(frame, Qt::KeepAspectRatio);
            const QRectF target(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
            painter.drawImage(target, image);
            return;
        }
        const QIcon icon = style()->standardIcon(QStyle::SP_FileIcon);
        const int iconSide = 40;
        QFont heading = font();
        heading.setBold(true);
        heading.setPointSizeF(heading.pointSizeF() * 1.4);
        const int headingHeight = QFontMetrics(heading).height();
        const QRect textBox(16, 0, std::max(1, width() - 32), height());
        const int textHeight = painter.fontMetrics()
                                   .boundingRect(textBox, Qt::AlignHCenter | Qt::TextWordWrap, m_state.placeholderText())
                                   .height();
        int y = (height() - (iconSide + 8 + headingHeight + 6 + textHeight)) / 2;
        icon.paint(&painter, QRect((width() - iconSide) / 2, y, iconSide, iconSide));
        y += iconSide + 8;
        painter.save();
        painter.setFont(heading);
        painter.drawText(QRect(0, y, width(), headingHeight), Qt::AlignHCenter, QStringLiteral("Preview"));
        painter.restore();
        y += headingHeight + 6;
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(QRect(textBox.left(), y, textBox.width(), textHeight), Qt::AlignHCenter | Qt::TextWordWrap,
                         m_state.placeholderText());
    }

private:
    const PreviewPaneState &m_state;
};

} // namespace

ChartPDFPreview::ChartPDFPreview(QWidget *parent)
    : QWidget(parent)
    , m_pageArea(new PreviewPageArea(m_state))
    , m_previous(new QPushButton(style()->standardIcon(QStyle::SP_ArrowLeft), QStringLiteral("Previous")))
    , m_label(new QLabel)
    , m_next(new QPushButton(style()->standardIcon(QStyle::SP_ArrowRight), QStringLiteral("Next")))
{
    m_next->setLayoutDirection(Qt::RightToLeft); // the chevron after the word
    QFont caption = m_label->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    m_label->setFont(caption);

    auto *row = new QHBoxLayout;
    row->addWidget(m_previous);
    row->addStretch();
    row->addWidget(m_label);
    row->addStretch();
    row->addWidget(m_next);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pageArea, 1);
    layout->addLayout(row);

    connect(m_previous, &QPushButton::clicked, this, [this] {
        m_state.previous();
        refresh();
    });
    connect(m_next, &QPushButton::clicked, this, [this] {
        m_state.next();
        refresh();
    });
    refresh();
}

void ChartPDFPreview::setDocument(const std::optional<QByteArray> &document, bool samePages)
{
    m_state.setDocument(document, samePages);
    refresh();
}

void ChartPDFPreview::refresh()
{
    m_previous->setEnabled(m_state.canGoBack());
    m_next->setEnabled(m_state.canGoForward());
    m_label->setText(m_state.pageLabel());
    m_pageArea->update();
}
