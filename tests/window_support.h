#pragma once

// A window under test: its questions answered and recorded, its colour picker counted, its
// database in a folder of its own.

#include "recording_surface.h"
#include "shell/form1.h"
#include "test_support.h"

#include <QDir>

#include <memory>

class FakeDialogs : public Dialogs
{
public:
    bool answer = true;
    QStringList questions;
    QStringList warnings;
    QStringList notes;
    bool askYesNo(const QString &title, const QString &text) override
    {
        questions << title + QLatin1Char('|') + text;
        return answer;
    }
    void warn(const QString &title, const QString &text) override
    {
        warnings << title + QLatin1Char('|') + text;
    }
    void inform(const QString &title, const QString &text) override
    {
        notes << title + QLatin1Char('|') + text;
    }
    QString saveAs;
    QString offeredFormats;
    QString askSaveFile(const QString &, const QString &, const QString &filters) override
    {
        offeredFormats = filters;
        return saveAs;
    }
    std::optional<MapSize> mapSize; // the size chosen; else the one offered
    QList<MapSize> offeredSizes;
    std::optional<MapSize> askMapSize(const QString &, const MapSize &last, bool) override
    {
        offeredSizes << last;
        return mapSize.value_or(last);
    }
    QString openFile;
    QString askOpenFile(const QString &, const QString &) override { return openFile; }
    QList<int> choices; // answered in turn; then the last answer, the one that gives nothing up
    int askChoice(const QString &title, const QString &text, const QStringList &answers) override
    {
        questions << title + QLatin1Char('|') + text;
        return choices.isEmpty() ? int(answers.size()) - 1 : choices.takeFirst();
    }
};

struct Window
{
    FakeDialogs dialogs;
    CountingPicker picker{0xFF0000};
    std::unique_ptr<Form1> form;
    bool loaded = false;

    Window(const QString &appPath, const QString &lockPath = QString(), bool answer = true,
           const QList<int> &choices = {})
    {
        dialogs.answer = answer;
        dialogs.choices = choices;
        Form1Options options;
        options.appPath = appPath;
        options.lockPath = lockPath;
        options.dialogs = &dialogs;
        options.picker = &picker;
        options.importTool = QStringLiteral(TESMORA_CLI);
        form = std::make_unique<Form1>(options);
        loaded = form->Form_Load();
    }
};

inline QString dbIn(const QString &folder)
{
    return folder + QStringLiteral("/配方数据.mdb");
}

// A folder with the three reference series in its database (or none).
inline QString windowFolder(const QString &folder, bool withDatabase)
{
    QDir().mkpath(folder);
    if (withDatabase)
        makeTable(dbIn(folder), {HardnessRow, ViscosityRow,
                                 QStringLiteral("12, 23.4, 25.1, 24.0, 27.3, 26.2, 22.8, 25.9, "
                                                "23.7, 28.4, 28.0, 28.9, '拉伸率'")});
    return folder;
}
