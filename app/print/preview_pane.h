#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>
#include <QWidget>

#include <map>
#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QPushButton;
class PreviewPrefetcher;
namespace ChartPDFRasterizer {
class Document;
}

// What the preview pane shows, without widgets: the page, the page count as last read, the
// picture of the page at 1400 pixels on its longer side, or the message of the last failed
// rendering.
//
// The PDF is read once per document, and the pages next to the one shown are drawn ahead on
// a thread of their own (they arrive as events), so that turning a page only shows a
// picture already made.
class PreviewPaneState : public QObject {
    Q_OBJECT
public:
    static constexpr int pixels = 1400;

    PreviewPaneState();
    ~PreviewPaneState() override;

    // New bytes (or none) from the sheet. Bytes different from those shown return to the
    // first page and render it, unless they are the same pages with their dotted lines
    // added (`samePages`); equal bytes change nothing; none only returns to page 0.
    void setDocument(const std::optional<QByteArray> &document, bool samePages = false);
    void next() { showPage(m_page + 1); }
    void previous() { showPage(m_page - 1); }

    int page() const { return m_page; }
    int pageCount() const { return m_pageCount; }
    const QImage &image() const { return m_image; }
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }

    bool canGoBack() const { return m_page >= 1; }
    bool canGoForward() const { return m_page + 1 < m_pageCount; }
    // "Page 2 of 5", or "No pages".
    QString pageLabel() const;
    // The placeholder's description while there is no picture.
    QString placeholderText() const;

    // Pages drawn and kept: the one shown and those ahead of it either way.
    std::vector<int> picturedPages() const;

private:
    void showPage(int page);
    void renderPage();
    void drawAhead();
    void pictureArrived(unsigned document, int page, const QImage &picture);

    std::optional<QByteArray> m_document;
    int m_page = 0;
    int m_pageCount = 0;
    QImage m_image;
    std::optional<QString> m_errorMessage;

    unsigned m_generation = 0; // counts documents given, so late pictures of another are dropped
    std::unique_ptr<ChartPDFRasterizer::Document> m_opened;
    std::map<int, QImage> m_pictures;
    std::unique_ptr<PreviewPrefetcher> m_ahead; // last: stopped before the rest goes
};

// The preview pane of the print sheet: the page picture scaled to fit, or a placeholder,
// over a row with "Previous", the page label and "Next".
class ChartPDFPreview : public QWidget {
    Q_OBJECT
public:
    explicit ChartPDFPreview(QWidget *parent = nullptr);

    void setDocument(const std::optional<QByteArray> &document, bool samePages = false);
    const PreviewPaneState &state() const { return m_state; }

private:
    void refresh();

    PreviewPaneState m_state;
    QWidget *m_pageArea;
    QPushButton *m_previous;
    QLabel *m_label;
    QPushButton *m_next;
};
