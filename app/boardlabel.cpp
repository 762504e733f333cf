#include "boardlabel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

namespace {

constexpr int textFlags = Qt::TextSingleLine;

// What assistive technology finds where a label is painted: what Qt tells of a QLabel, static
// text named by its text. The description (the tool tip), the place on the screen and the
// states (hidden, disabled) are the plain widget's.
class AccessibleBoardLabel : public QAccessibleWidget {
public:
    explicit AccessibleBoardLabel(BoardLabel* label)
        : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const BoardLabel*>(widget())->text();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* accessibleBoardLabel(const QString&, QObject* object) {
    if (auto* label = qobject_cast<BoardLabel*>(object))
        return new AccessibleBoardLabel(label);
    return nullptr;
}

} // namespace

BoardLabel::BoardLabel(QWidget* parent)
    : QWidget(parent) {
    // Before the first label can be asked for: Qt keeps the interface it made first.
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(accessibleBoardLabel);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
}

void BoardLabel::setText(const QString& text) {
    const bool changed = text != m_text;
    m_text = text;
    if (m_autoSize)
        measure();
    update();
    // Told as a QLabel tells it, so that a screen reader hears the score and the clock change.
    if (changed && accessibleName().isEmpty()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void BoardLabel::measure() {
    m_measured = true;
    const int frame = m_framed ? 2 * frameWidth : 0;
    const QSize textSize = fontMetrics().size(textFlags, m_text);
    resize(textSize.width() + frame, fontMetrics().height() + frame);
}

void BoardLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange && m_measured)
        measure();
    QWidget::changeEvent(event);
}

void BoardLabel::setTextColor(const QColor& color) {
    m_textColor = color;
    update();
}

void BoardLabel::setBackground(const QColor& color) {
    m_background = color;
    update();
}

void BoardLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_background.isValid())
        painter.fillRect(rect(), m_background);
    QRect inside = rect();
    if (m_framed) {
        qDrawWinPanel(&painter, rect(), palette(), true, nullptr);
        inside.adjust(frameWidth, frameWidth, -frameWidth, -frameWidth);
    }
    const int align = (m_centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop;
    if (isEnabled()) {
        painter.setPen(m_textColor);
        painter.drawText(inside, align | textFlags, m_text);
    } else {
        painter.setPen(Qt::white);
        painter.drawText(inside.translated(1, 1), align | textFlags, m_text);
        painter.setPen(QColor(128, 128, 128));
        painter.drawText(inside, align | textFlags, m_text);
    }
}

void BoardLabel::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void BoardLabel::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

void BoardLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}
