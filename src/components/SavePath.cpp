#include "SavePath.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

QString AskSavePath(QWidget* Parent, const QString& Title, QString& Folder, const QString& FileName,
                    const QString& Filter, const QString& Suffix)
{
    const QString start = Folder.isEmpty() || !QDir(Folder).exists() ? QDir::homePath() : Folder;
    // Qt's own dialog, the same on every desktop (and one that tests can
    // answer like a user).
    QFileDialog dialog(Parent, Title, start, Filter);
    dialog.setObjectName(QStringLiteral("dlgSave"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(Suffix);
    dialog.selectFile(QDir(start).filePath(FileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString path = dialog.selectedFiles().first();
    Folder = QFileInfo(path).absolutePath();
    return path;
}
