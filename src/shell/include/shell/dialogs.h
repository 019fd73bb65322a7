#pragma once

// The window's questions and warnings, behind an interface so tests can answer them.

#include "pipeline/map_export.h"
#include "pipeline/record_change.h"

#include <QColor>
#include <QString>
#include <QStringList>

class QWidget;

class Dialogs
{
public:
    virtual ~Dialogs();
    // Question icon, Yes and No; true for Yes. No is the default (Enter, Escape): every
    // question this program asks is one whose Yes gives something up.
    virtual bool askYesNo(const QString &title, const QString &text) = 0;
    // Exclamation icon, OK only.
    virtual void warn(const QString &title, const QString &text) = 0;
    // The same with the engine's or system's own words in a details area.
    virtual void warn(const QString &title, const QString &text, const QString &details)
    {
        (void)details;
        warn(title, text);
    }
    // Information icon, OK only.
    virtual void inform(const QString &title, const QString &text) = 0;
    // A question with several answers, one button each in order; the last is the default
    // (Enter, Escape) and gives nothing up. The index of the answer.
    virtual int askChoice(const QString &title, const QString &text, const QStringList &answers)
    {
        (void)title;
        (void)text;
        return int(answers.size()) - 1;
    }
    // A file to write, starting at `suggested`; empty when the user cancels.
    virtual QString askSaveFile(const QString &title, const QString &suggested,
                                const QString &filters) = 0;
    // A file to read; empty when the user cancels.
    virtual QString askOpenFile(const QString &title, const QString &filters) = 0;
    // The size of a map to export, starting at `last`; nothing when the user cancels.
    // `bitmap`: the file is made of pixels.
    virtual std::optional<MapSize> askMapSize(const QString &title, const MapSize &last,
                                              bool bitmap)
    {
        (void)title;
        (void)bitmap;
        return last;
    }
};

class MessageBoxDialogs : public Dialogs
{
public:
    explicit MessageBoxDialogs(QWidget *parent = nullptr)
        : m_parent(parent)
    {
    }
    bool askYesNo(const QString &title, const QString &text) override;
    void warn(const QString &title, const QString &text) override;
    void warn(const QString &title, const QString &text, const QString &details) override;
    void inform(const QString &title, const QString &text) override;
    int askChoice(const QString &title, const QString &text, const QStringList &answers) override;
    QString askSaveFile(const QString &title, const QString &suggested,
                        const QString &filters) override;
    QString askOpenFile(const QString &title, const QString &filters) override;
    std::optional<MapSize> askMapSize(const QString &title, const MapSize &last,
                                      bool bitmap) override;

private:
    QWidget *m_parent;
};

// The colour picker of the common dialog: it opens at the colour last chosen and, on Cancel,
// answers with that colour.
class DialogColorPicker : public ColorPicker
{
public:
    explicit DialogColorPicker(QWidget *parent = nullptr)
        : m_parent(parent)
    {
    }
    Long ShowColor() override;

private:
    QWidget *m_parent;
    QColor m_color = Qt::black;
};
