#pragma once

// The window's small controls: the picture box, the frame around it, the up-down spinner with
// its buddy text box, and a label that can be clicked.

#include "core/design.h"
#include "plot/raster_surface.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <memory>

// The picture box: shows the retained picture of the surface; a click reports Click.
class SurfaceView : public QWidget
{
    Q_OBJECT
public:
    explicit SurfaceView(QWidget *parent = nullptr);
    // Gives the view a surface of its own pixel size; the old picture is dropped.
    void resizeSurface(int pixels);
    RasterSurface &surface() { return *m_surface; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    std::unique_ptr<RasterSurface> m_surface;
};

// A command button that Enter presses too, as Space does, when it has the focus.
class CommandButton : public QPushButton
{
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// The image control around the surface: a thin frame that reports Click.
class FrameImage : public QFrame
{
    Q_OBJECT
public:
    using QFrame::QFrame;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// The up-down control with its buddy: the line count in its designed range, kept equal to
// the buddy's text.
class UpDown : public QWidget
{
    Q_OBJECT
public:
    UpDown(QLineEdit *buddy, QWidget *parent = nullptr);
    int value() const { return m_value; }
    void setValue(int value);
    int minimum() const { return LineCountMin; }
    int maximum() const { return WindowLineCountMax; }
    QWidget *upButton() const { return m_up; }
    QWidget *downButton() const { return m_down; }

signals:
    void changed();

protected:
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    QLineEdit *m_buddy;
    QWidget *m_up;
    QWidget *m_down;
    int m_value = LineCountDefault;
};

// A label that reports a click (Label7 opens the help).
class ClickableLabel : public QLabel
{
public:
    using QLabel::QLabel;
    std::function<void()> onClick;

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
