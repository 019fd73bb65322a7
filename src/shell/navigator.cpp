#include "shell/navigator.h"

#include <QHBoxLayout>

Navigator::Navigator(const QString &caption, QWidget *parent)
    : QWidget(parent)
    , m_normalCaption(caption)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const auto button = [this, layout](Qt::ArrowType arrow, const QString &text,
                                       const QString &tip) {
        auto *b = new QToolButton(this);
        if (text.isEmpty())
            b->setArrowType(arrow);
        else
            b->setText(text);
        b->setToolTip(tip);
        b->setAutoRaise(false);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        b->setFixedWidth(18);
        b->setStyleSheet(QStringLiteral("QToolButton { padding: 0px; }"));
        layout->addWidget(b);
        return b;
    };
    m_first = button(Qt::NoArrow, QStringLiteral("|◀"), QStringLiteral("第一条记录"));
    m_previous = button(Qt::LeftArrow, QString(), QStringLiteral("上一条记录"));
    m_caption = new QLabel(caption, this);
    m_caption->setFrameShape(QFrame::StyledPanel);
    m_caption->setMinimumWidth(10);
    layout->addWidget(m_caption, 1);
    m_next = button(Qt::RightArrow, QString(), QStringLiteral("下一条记录"));
    m_last = button(Qt::NoArrow, QStringLiteral("▶|"), QStringLiteral("最后一条记录"));
    connect(m_first, &QToolButton::clicked, this, &Navigator::first);
    connect(m_previous, &QToolButton::clicked, this, &Navigator::previous);
    connect(m_next, &QToolButton::clicked, this, &Navigator::next);
    connect(m_last, &QToolButton::clicked, this, &Navigator::last);
    setPosition(-1, 0);
}

void Navigator::setPosition(int position, int count, bool more)
{
    // The same width as the designed caption, so it fits between the arrows.
    m_caption->setText(m_readOnly.isEmpty() ? m_normalCaption : QStringLiteral("  只读数据"));
    m_caption->setStyleSheet(QString());
    const QString where = count > 0 ? QStringLiteral("记录 %1 / %2%3")
                                          .arg(position + 1)
                                          .arg(count)
                                          .arg(more ? QStringLiteral("+") : QString())
                                    : QStringLiteral("没有记录");
    m_caption->setToolTip(m_readOnly.isEmpty() ? where : where + QLatin1Char('\n') + m_readOnly);
    const bool after = position >= 0 && (position + 1 < count || more);
    m_first->setEnabled(position > 0);
    m_previous->setEnabled(position > 0);
    m_next->setEnabled(after);
    m_last->setEnabled(after);
}

void Navigator::setReadOnly(const QString &reason)
{
    m_readOnly = reason;
}

void Navigator::showFailure(const QString &reason)
{
    // Short enough for the caption between the arrows; the reason is in the tool tip and over
    // the grid.
    m_caption->setText(QStringLiteral(" 无法打开"));
    m_caption->setStyleSheet(QStringLiteral("color: rgb(192, 0, 0);"));
    m_caption->setToolTip(reason);
    for (QToolButton *b : {m_first, m_previous, m_next, m_last})
        b->setEnabled(false);
}
