#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

TMessageBox::TMessageBox(QWidget* owner) : QObject(owner), Owner(owner)
{
    setObjectName(QStringLiteral("msgMain"));
}

void TMessageBox::Notice(const QString& Text, TMsgKind Kind)
{
    Show(Text, Kind, false);
}

bool TMessageBox::Question(const QString& Text, TMsgKind Kind)
{
    return Show(Text, Kind, true) == QMessageBox::Ok;
}

int TMessageBox::Show(const QString& Text, TMsgKind Kind, bool WithCancel)
{
    if (Quiet)
        return QMessageBox::Cancel;
    // A dialog that is open at the time (settings, news, add/edit) owns the
    // box, so the box stacks above it; otherwise the main window does.
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent)
        parent = Owner;
    QMessageBox box(Kind == TMsgKind::Warning ? QMessageBox::Warning : QMessageBox::Information,
                    Owner ? Owner->window()->windowTitle() : QApplication::applicationName(), Text,
                    WithCancel ? (QMessageBox::Ok | QMessageBox::Cancel) : QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("msgMainBox"));
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    if (WithCancel)
        box.setEscapeButton(QMessageBox::Cancel);
    return box.exec();
}
