// Opens the window on a folder, edits Y5 of the first record to 7.3 and says "ready", then runs
// until it is ended. "committed" writes the edit first; "typing" leaves it in an open editor.
#include "shell/form1.h"
#include "shell/termination.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 3)
        return 2;
    FixedColorPicker picker(0);
    Form1Options options;
    options.appPath = QString::fromLocal8Bit(argv[1]);
    options.picker = &picker;
    Form1 form(options);
    form.Form_Load();
    installTerminationHandler(&form);
    form.show();
    const QModelIndex cell = form.model().index(0, 5);
    if (qstrcmp(argv[2], "committed") == 0) {
        form.model().setData(cell, QStringLiteral("7.3"), Qt::EditRole);
    } else {
        form.grid->setCurrentIndex(cell);
        form.grid->edit(cell);
        auto *editor = form.grid->viewport()->findChild<QLineEdit *>();
        if (!editor)
            return 3;
        editor->setFocus();
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("7.3"));
    }
    std::puts("ready");
    std::fflush(stdout);
    return QApplication::exec();
}
