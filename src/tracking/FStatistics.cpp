#include "FStatistics.h"

#include "components/MessageBox.h"
#include "components/SavePath.h"
#include "tracking/StatisticsView.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

TfrmStatistics::TfrmStatistics(QWidget* parent, TMessageBox& Messages, QString& Folder)
    : QDialog(parent), Msg(Messages), SaveFolder(Folder)
{
    setObjectName(QStringLiteral("frmStatistics"));
    setWindowTitle(QStringLiteral("Statistics"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    // The program's style draws compact dialogs; the buttons still need room
    // around them and their captions.
    layout->setContentsMargins(10, 10, 10, 10);
    Chart = new TStatisticsView(this);
    layout->addWidget(Chart, 1);
    auto* buttons = new QHBoxLayout;
    btnSavePng = new QPushButton(QStringLiteral("Save as PNG…"), this);
    btnSavePng->setObjectName(QStringLiteral("btnSavePng"));
    btnClose = new QPushButton(QStringLiteral("Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setDefault(true);
    for (QPushButton* button : {btnSavePng, btnClose})
        button->setMinimumWidth(button->sizeHint().width() + 24);
    buttons->addWidget(btnSavePng);
    buttons->addStretch(1);
    buttons->addWidget(btnClose);
    layout->addLayout(buttons);
    connect(btnSavePng, &QPushButton::clicked, this, &TfrmStatistics::btnSavePngClick);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmStatistics::SetStatistics(const TAffiliateStatistics& Stats)
{
    Chart->SetStatistics(Stats);
    adjustSize();
}

void TfrmStatistics::btnSavePngClick()
{
    const QString path =
        AskSavePath(this, QStringLiteral("Save as PNG"), SaveFolder, QStringLiteral("statistics.png"),
                    QStringLiteral("PNG pictures (*.png)"), QStringLiteral("png"));
    if (!path.isEmpty())
        SavePicture(path);
}

bool TfrmStatistics::SavePicture(const QString& Path)
{
    QSaveFile file(Path);
    QString reason;
    if (!file.open(QIODevice::WriteOnly)) {
        reason = file.errorString();
    } else {
        QImageWriter writer(&file, "png");
        if (!writer.write(Chart->Picture())) {
            reason = writer.errorString();
            file.cancelWriting();
        } else if (!file.commit()) {
            reason = file.errorString();
        }
    }
    if (reason.isEmpty())
        return true;
    Msg.Notice(QStringLiteral("The picture could not be saved to %1: %2")
                   .arg(QFileInfo(Path).absoluteFilePath(), reason));
    return false;
}

void TfrmStatistics::RunStatistics(QWidget* parent, TMessageBox& Messages, QString& Folder,
                                   const TAffiliateStatistics& Stats)
{
    TfrmStatistics dialog(parent, Messages, Folder);
    dialog.SetStatistics(Stats);
    dialog.exec();
}
