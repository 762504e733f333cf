#pragma once

#include <QWidget>

// A label on the board. It catches every click in its rectangle and does nothing with
// it: a click on a label is not a click on the board. Its text is plain text, drawn on one
// line, so a typed name is shown as typed and never interpreted. Assistive technology finds it
// as a QLabel: static text named by its text, described by its tool tip.
class BoardLabel : public QWidget {
    Q_OBJECT
public:
    static constexpr int frameWidth = 2;

    explicit BoardLabel(QWidget* parent = nullptr);

    QString text() const { return m_text; }
    // Auto-sized labels take the size of their text (plus the frame), keeping their
    // top-left corner, and measure it again when their font changes.
    void setText(const QString& text);

    void setTextColor(const QColor& color);
    // An invalid colour paints nothing behind the text: the board shows through.
    void setBackground(const QColor& color);
    void setCentred(bool centred) { m_centred = centred; }
    void setFramed(bool framed) { m_framed = framed; }
    void setAutoSize(bool autoSize) { m_autoSize = autoSize; }

    bool isFramed() const { return m_framed; }
    bool isAutoSize() const { return m_autoSize; }
    bool isCentred() const { return m_centred; }
    bool isTransparent() const { return !m_background.isValid(); }
    QColor textColor() const { return m_textColor; }
    QColor background() const { return m_background; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void measure();

    QString m_text;
    QColor m_textColor = Qt::black;
    QColor m_background;
    bool m_centred = false;
    bool m_framed = false;
    bool m_autoSize = false;
    // Only writing a text measures: the design size stands until then.
    bool m_measured = false;
};
