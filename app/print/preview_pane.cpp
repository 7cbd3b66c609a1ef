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
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>
#include <utility>
#include <vector>

// Draws pages of the preview ahead of the one shown, on a thread of its own, with its own
// reading of the PDF.
class PreviewPrefetcher {
public:
    // Called on the prefetching thread with each picture made.
    using Deliver = std::function<void(unsigned document, int page, const QImage &picture)>;

    explicit PreviewPrefetcher(Deliver deliver)
        : m_deliver(std::move(deliver)), m_thread([this](std::stop_token stop) { run(stop); })
    {
    }
    ~PreviewPrefetcher()
    {
        m_thread.request_stop();
        m_wake.notify_all();
    }

    // Replaces what waits to be drawn: these pages of `pdf`, in this order.
    void request(unsigned document, const QByteArray &pdf, std::vector<int> pages)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_document = document;
            m_pdf = pdf;
            m_pages.assign(pages.begin(), pages.end());
        }
        m_wake.notify_all();
    }

    // The picture of `page` when it is made, or being made (then it waits for it): a page
    // asked for just after it was drawn ahead is not drawn twice. Null otherwise, and the
    // page no longer waits to be drawn here.
    std::optional<QImage> take(unsigned document, int page)
    {
        std::unique_lock lock(m_mutex);
        m_made.wait(lock, [&] { return m_drawing != std::pair(document, page); });
        for (const auto &[made, picture] : m_recent) {
            if (made == std::pair(document, page))
                return picture;
        }
        std::erase(m_pages, page);
        return std::nullopt;
    }

private:
    // Made lately, so asked for again before its picture reached the pane.
    bool isRecent(unsigned document, int page) const
    {
        return std::any_of(m_recent.begin(), m_recent.end(),
                           [&](const auto &made) { return made.first == std::pair(document, page); });
    }

    void run(std::stop_token stop)
    {
        std::unique_ptr<ChartPDFRasterizer::Document> opened;
        std::optional<unsigned> openedDocument;
        std::unique_lock lock(m_mutex);
        while (m_wake.wait(lock, stop, [&] { return !m_pages.empty(); })) {
            const unsigned document = m_document;
            const QByteArray pdf = m_pdf;
            const int page = m_pages.front();
            m_pages.pop_front();
            if (isRecent(document, page))
                continue;
            m_drawing = {document, page};
            lock.unlock();
            QImage picture;
            try {
                if (openedDocument != document) {
                    opened.reset();
                    openedDocument = document;
                    opened = std::make_unique<ChartPDFRasterizer::Document>(pdf);
                }
                if (opened)
                    picture = opened->bitmap(page, PreviewPaneState::pixels);
            } catch (const std::exception &) {
                // The page shown reports its own failure when it is drawn there.
            }
            lock.lock();
            m_drawing.reset();
            if (!picture.isNull()) {
                m_recent.emplace_back(std::pair(document, page), picture);
                if (m_recent.size() > recentKept)
                    m_recent.pop_front();
                m_deliver(document, page, picture);
            }
            m_made.notify_all();
        }
    }

    static constexpr size_t recentKept = 4;

    Deliver m_deliver;
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::condition_variable m_made;
    unsigned m_document = 0;
    QByteArray m_pdf;
    std::deque<int> m_pages;
    std::optional<std::pair<unsigned, int>> m_drawing;
    std::deque<std::pair<std::pair<unsigned, int>, QImage>> m_recent;
    std::jthread m_thread; // last: started once the rest exists
};

namespace {

// Pages drawn ahead, nearest first, and the pages kept around the one shown.
const int aheadForward = 2;
const int aheadBack = 1;
const int keptAround = 3;

} // namespace

PreviewPaneState::PreviewPaneState()
    : m_ahead(std::make_unique<PreviewPrefetcher>([this](unsigned document, int page, const QImage &picture) {
        QMetaObject::invokeMethod(this, [this, document, page, picture] { pictureArrived(document, page, picture); },
                                  Qt::QueuedConnection);
    }))
{
}

PreviewPaneState::~PreviewPaneState() = default;

void PreviewPaneState::setDocument(const std::optional<QByteArray> &document, bool samePages)
{
    if (document == m_document)
        return;
    m_document = document;
    ++m_generation;
    m_opened.reset();
    m_pictures.clear();
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
        if (!m_opened)
            m_opened = std::make_unique<ChartPDFRasterizer::Document>(*m_document);
        m_pageCount = m_opened->pageCount();
        const auto made = m_pictures.find(m_page);
        std::optional<QImage> ahead;
        if (made == m_pictures.end())
            ahead = m_ahead->take(m_generation, m_page);
        m_image = made != m_pictures.end() ? made->second : ahead ? *ahead : m_opened->bitmap(m_page, pixels);
        m_pictures[m_page] = m_image;
        m_errorMessage.reset();
    } catch (const std::exception &error) {
        m_image = QImage();
        m_errorMessage = QString::fromUtf8(error.what());
        return;
    }
    drawAhead();
}

void PreviewPaneState::drawAhead()
{
    std::erase_if(m_pictures, [&](const auto &picture) { return std::abs(picture.first - m_page) > keptAround; });
    std::vector<int> wanted;
    for (int step = 1; step <= aheadForward; ++step) {
        for (int page : {m_page + step, m_page - step}) {
            if (page >= 0 && page < m_pageCount && (page > m_page || step <= aheadBack) && !m_pictures.contains(page))
                wanted.push_back(page);
        }
    }
    m_ahead->request(m_generation, *m_document, std::move(wanted));
}

void PreviewPaneState::pictureArrived(unsigned document, int page, const QImage &picture)
{
    if (document == m_generation && std::abs(page - m_page) <= keptAround)
        m_pictures.emplace(page, picture);
}

std::vector<int> PreviewPaneState::picturedPages() const
{
    std::vector<int> pages;
    for (const auto &[page, picture] : m_pictures)
        pages.push_back(page);
    return pages;
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
