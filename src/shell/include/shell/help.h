#pragma once

#include <QIcon>

class QWidget;

// The program's icon, drawn at 32 and 16 pixels.
QIcon applicationIcon();

// Shows the program's short help (F1, or a click on "Press F1 for Help"), naming the folder the
// database and maps are in.
void showHelpWindow(QWidget *parent, const QString &programFolder);

// What an installation carries beside the programs, from the same code the window uses: the
// icon at 16, 32 and 48 pixels and as SVG, and the help as an HTML page. False when a file could
// not be written.
bool writeInstallFiles(const QString &folder);
