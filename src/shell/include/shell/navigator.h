#pragma once

// The record navigator: first, previous, caption, next, last. A failure to open the table is
// shown in its caption, with the full reason as tool tip.

#include <QLabel>
#include <QToolButton>
#include <QWidget>

class Navigator : public QWidget
{
    Q_OBJECT
public:
    explicit Navigator(const QString &caption, QWidget *parent = nullptr);

    // `more`: records after the `count` located so far.
    void setPosition(int position, int count, bool more = false);
    // Records that cannot be changed: the caption says so, the tool tip why (empty: editable).
    void setReadOnly(const QString &reason);
    void showFailure(const QString &reason);
    QString caption() const { return m_caption->text(); }

    QToolButton *firstButton() const { return m_first; }
    QToolButton *previousButton() const { return m_previous; }
    QToolButton *nextButton() const { return m_next; }
    QToolButton *lastButton() const { return m_last; }

signals:
    void first();
    void previous();
    void next();
    void last();

private:
    QString m_normalCaption;
    QString m_readOnly;
    QLabel *m_caption;
    QToolButton *m_first, *m_previous, *m_next, *m_last;
};
