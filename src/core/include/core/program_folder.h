#pragma once

// Where the database and the saved maps live. Beside the program where that folder can be
// written (the build folder, a copied folder); for an installed program, whose folder is the
// system's, the user's own data folder (e.g. ~/.local/share/Tesmora), much as desktop systems
// send an old program's writes out of a protected folder.

#include <QString>

// `executableFolder` is where the program runs from; `installedFolder` the folder installed
// programs live in (empty: none). Only says where; creates nothing.
QString programFolder(const QString &executableFolder, const QString &installedFolder);

// The program folder with exactly one "/" at its end.
QString appFolderFrom(const QString &appPath);
