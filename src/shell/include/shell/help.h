#pragma once

#include <QIcon>

class QWidget;

// The program's icon, drawn at 32 and 16 pixels.
QIcon applicationIcon();

// Shows the program's short help (F1, or a click on "Press F1 for Help").
void showHelpWindow(QWidget *parent);
