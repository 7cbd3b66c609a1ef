#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;

// What the preview pane shows, without widgets: the page, the page count as last read, the
// picture of the page at 1400 pixels on its longer side, or the message of the last failed
// rendering.
class PreviewPaneState {
public:
    static constexpr int pixels = 1400;

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

private:
    void showPage(int page);
    void renderPage();

    std::optional<QByteArray> m_document;
    int m_page = 0;
    int m_pageCount = 0;
    QImage m_image;
    std::optional<QString> m_errorMessage;
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
