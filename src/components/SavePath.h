#pragma once
// The save dialog of the exports: proposes a file name in the folder the
// operator chose last time (kept for the session only, as the program
// stores no preferences), and remembers the folder of the answer.
#include <QString>

class QWidget;

// The chosen path, or empty when the operator cancelled. Folder is the
// folder to start in (empty: the home folder) and receives the chosen one.
QString AskSavePath(QWidget* Parent, const QString& Title, QString& Folder, const QString& FileName,
                    const QString& Filter, const QString& Suffix);
