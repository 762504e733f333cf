#include "titlebar.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <QWidget>
#include <QWindow>

namespace {

class TitleBar : public QWidget {
public:
    explicit TitleBar(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QToolButton* addButton(const QString& glyph, const QString& name);
    int buttonsLeft() const;

    QWidget* m_window;
    QHBoxLayout* m_buttons;
};

constexpr int iconSize = 20;
constexpr int spacing = 6;

TitleBar::TitleBar(QWidget* window)
    : QWidget(window)
    , m_window(window) {
    setObjectName(QStringLiteral("titleBar"));
    setFixedHeight(qMax(28, fontMetrics().height() + 12));
    m_buttons = new QHBoxLayout(this);
    m_buttons->setContentsMargins(0, 3, 3, 3);
    m_buttons->setSpacing(2);
    m_buttons->addStretch();
    // Read before the window turns frameless: the same buttons an X11 window manager gives.
    const Qt::WindowFlags flags = window->windowFlags();
    if (flags & Qt::WindowMinimizeButtonHint) {
        // The widget's own state changes at once, so the game hears of this minimise.
        connect(addButton(QStringLiteral("\u2013"), QStringLiteral("Riduci a icona")),
                &QToolButton::clicked, window, &QWidget::showMinimized);
    }
    if (flags & Qt::WindowCloseButtonHint) {
        connect(addButton(QStringLiteral("\u2715"), QStringLiteral("Chiudi")),
                &QToolButton::clicked, window, &QWidget::close);
    }
    window->installEventFilter(this);
}

QToolButton* TitleBar::addButton(const QString& glyph, const QString& name) {
    auto* button = new QToolButton(this);
    button->setText(glyph);
    button->setAccessibleName(name);
    button->setToolTip(name);
    button->setAutoRaise(true);
    // Keyboard use of the window stays as it was: tab order and default buttons.
    button->setFocusPolicy(Qt::NoFocus);
    const int side = height() - 6;
    button->setFixedSize(side, side);
    m_buttons->addWidget(button);
    return button;
}

int TitleBar::buttonsLeft() const {
    int left = width();
    for (int i = 0; i < m_buttons->count(); ++i) {
        if (QWidget* button = m_buttons->itemAt(i)->widget())
            left = qMin(left, button->x());
    }
    return left;
}

bool TitleBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window) {
        switch (event->type()) {
        case QEvent::Resize:
            setGeometry(0, 0, m_window->width(), height());
            raise();
            break;
        case QEvent::WindowTitleChange:
        case QEvent::WindowIconChange:
        case QEvent::ActivationChange:
            update();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TitleBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(0, height() - 1, width(), height() - 1);

    int left = spacing;
    const QIcon icon = m_window->windowIcon();
    if (!icon.isNull()) {
        icon.paint(&p, QRect(left, (height() - iconSize) / 2, iconSize, iconSize));
        left += iconSize + spacing;
    }
    // Centred on the window as a window manager centres it, unless the text would run under
    // the icon or the buttons; elided only where it cannot fit at all.
    const int right = buttonsLeft() - spacing;
    const QString title =
        fontMetrics().elidedText(m_window->windowTitle(), Qt::ElideRight, qMax(0, right - left));
    const int textWidth = fontMetrics().horizontalAdvance(title);
    const int x = qBound(left, (width() - textWidth) / 2, qMax(left, right - textWidth));
    p.setPen(palette().color(m_window->isActiveWindow() ? QPalette::Active : QPalette::Disabled,
                             QPalette::WindowText));
    p.drawText(QRect(x, 0, textWidth, height()), Qt::AlignVCenter | Qt::AlignLeft, title);
}

void TitleBar::mousePressEvent(QMouseEvent* event) {
    // The compositor moves the window; a client cannot place itself on Wayland.
    if (event->button() == Qt::LeftButton && m_window->windowHandle())
        m_window->windowHandle()->startSystemMove();
}

} // namespace

bool drawsOwnTitleBars() {
    return QGuiApplication::platformName() == QLatin1String("wayland");
}

void addTitleBar(QWidget* window) {
    auto* bar = new TitleBar(window);
    window->setWindowFlag(Qt::FramelessWindowHint);
    QMargins margins = window->contentsMargins();
    margins.setTop(margins.top() + bar->height());
    window->setContentsMargins(margins);
    bar->setGeometry(0, 0, window->width(), bar->height());
}

void addTitleBarWhereNeeded(QWidget* window) {
    if (drawsOwnTitleBars())
        addTitleBar(window);
}
