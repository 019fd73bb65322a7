#include "shell/controls.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>

SurfaceView::SurfaceView(QWidget *parent)
    : QWidget(parent)
    , m_surface(std::make_unique<RasterSurface>(1))
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SurfaceView::resizeSurface(int pixels)
{
    auto next = std::make_unique<RasterSurface>(std::max(1, pixels));
    next->FontSize = m_surface->FontSize;
    next->ForeColor = m_surface->ForeColor;
    m_surface = std::move(next);
    update();
}

namespace {

// The style's focus frame, drawn on the widget (never on the picture that is saved).
void drawFocusFrame(QWidget *widget, QPainter &painter)
{
    QStyleOptionFocusRect option;
    option.initFrom(widget);
    option.rect = widget->rect().adjusted(1, 1, -1, -1);
    widget->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, widget);
}

} // namespace

void SurfaceView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(QRectF(rect()), m_surface->Image());
    if (hasFocus())
        drawFocusFrame(this, painter);
}

void SurfaceView::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    update();
}

void SurfaceView::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    update();
}

void CommandButton::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier) {
        animateClick();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void UpDown::paintEvent(QPaintEvent *)
{
    if (hasFocus()) {
        QPainter painter(this);
        drawFocusFrame(this, painter);
    }
}

void UpDown::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    update();
}

void UpDown::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    update();
}

void SurfaceView::mouseReleaseEvent(QMouseEvent *event)
{
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}

void FrameImage::mouseReleaseEvent(QMouseEvent *event)
{
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}

UpDown::UpDown(QLineEdit *buddy, QWidget *parent)
    : QWidget(parent)
    , m_buddy(buddy)
{
    auto *layout = new QVBoxLayout(this);
    // Room around the arrows for the focus frame.
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(0);
    auto *up = new QToolButton(this);
    auto *down = new QToolButton(this);
    up->setArrowType(Qt::UpArrow);
    down->setArrowType(Qt::DownArrow);
    for (QToolButton *b : {up, down}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        b->setIconSize(QSize(6, 6));
        layout->addWidget(b);
    }
    connect(up, &QToolButton::clicked, this, [this] { setValue(m_value + 1); });
    connect(down, &QToolButton::clicked, this, [this] { setValue(m_value - 1); });
    m_up = up;
    m_down = down;
    setFocusPolicy(Qt::StrongFocus);
    m_buddy->setText(QString::number(m_value));
}

void UpDown::setValue(int value)
{
    value = std::clamp(value, minimum(), maximum());
    if (value == m_value)
        return;
    m_value = value;
    m_buddy->setText(QString::number(m_value));
    emit changed();
}

void UpDown::wheelEvent(QWheelEvent *event)
{
    setValue(m_value + (event->angleDelta().y() > 0 ? 1 : -1));
}

void UpDown::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Up)
        setValue(m_value + 1);
    else if (event->key() == Qt::Key_Down)
        setValue(m_value - 1);
    else
        QWidget::keyPressEvent(event);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent *)
{
    if (onClick)
        onClick();
}
