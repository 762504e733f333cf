#pragma once

#include <QIcon>
#include <QPushButton>

// A push button drawn in exactly its own back colour (the style's palette would tint it),
// with an optional picture above its caption. Disabled, it shows its disabled picture and
// a greyed caption and lets clicks through to the board beneath it.
class GraphicButton : public QPushButton {
    Q_OBJECT
public:
    explicit GraphicButton(QWidget* parent = nullptr);

    QColor backColor() const { return m_backColor; }
    // Repaints at once on a real change, so that a colour set inside a busy loop reaches
    // the screen; setting the same colour again costs a comparison.
    void setBackColor(const QColor& color);

    void setPictures(const QIcon& normal, const QIcon& down, const QIcon& disabled);
    // The side of the picture's square, 32 pixels unless the window is drawn smaller.
    void setPictureSize(int side);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QIcon currentPicture() const;

    QColor m_backColor;
    int m_pictureSize = 32;
    QIcon m_normal;
    QIcon m_down;
    QIcon m_disabled;
};
