#include "FTrend.h"

#include "components/MessageBox.h"
#include "components/SavePath.h"
#include "tracking/TrendView.h"
#include "util/AtomicWrite.h"

#include <QBuffer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QPushButton>
#include <QVBoxLayout>

TfrmTrend::TfrmTrend(QWidget* parent, TMessageBox& Messages, QString& Folder)
    : QDialog(parent), Msg(Messages), SaveFolder(Folder)
{
    setObjectName(QStringLiteral("frmTrend"));
    setWindowTitle(QStringLiteral("Trend"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    Chart = new TTrendView(this);
    layout->addWidget(Chart, 1);
    auto* buttons = new QHBoxLayout;
    auto* png = new QPushButton(QStringLiteral("Save as PNG…"), this);
    png->setObjectName(QStringLiteral("btnSavePng"));
    auto* csv = new QPushButton(QStringLiteral("Save as CSV…"), this);
    csv->setObjectName(QStringLiteral("btnSaveCsv"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("btnClose"));
    close->setDefault(true);
    for (QPushButton* button : {png, csv, close})
        button->setMinimumWidth(button->sizeHint().width() + 24);
    buttons->addWidget(png);
    buttons->addWidget(csv);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(png, &QPushButton::clicked, this, &TfrmTrend::btnSavePngClick);
    connect(csv, &QPushButton::clicked, this, &TfrmTrend::btnSaveCsvClick);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmTrend::SetTrend(const TTrend& Trend)
{
    Chart->SetTrend(Trend);
    adjustSize();
}

void TfrmTrend::btnSavePngClick()
{
    const QString path =
        AskSavePath(this, QStringLiteral("Save as PNG"), SaveFolder, QStringLiteral("trend.png"),
                    QStringLiteral("PNG pictures (*.png)"), QStringLiteral("png"));
    if (!path.isEmpty())
        SavePicture(path);
}

void TfrmTrend::btnSaveCsvClick()
{
    const QString path =
        AskSavePath(this, QStringLiteral("Save as CSV"), SaveFolder, QStringLiteral("trend.csv"),
                    QStringLiteral("CSV files (*.csv);;All files (*)"), QStringLiteral("csv"));
    if (!path.isEmpty())
        SaveCsv(path);
}

bool TfrmTrend::Saved(const QString& Path, const QString& What, const QString& Reason)
{
    if (Reason.isEmpty())
        return true;
    Msg.Notice(QStringLiteral("The %1 could not be saved to %2: %3")
                   .arg(What, QFileInfo(Path).absoluteFilePath(), Reason));
    return false;
}

bool TfrmTrend::SavePicture(const QString& Path)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    QString reason;
    if (!writer.write(Chart->Picture()))
        reason = writer.errorString();
    else
        WriteFileAtomically(Path, png, reason);
    return Saved(Path, QStringLiteral("picture"), reason);
}

bool TfrmTrend::SaveCsv(const QString& Path)
{
    QString reason;
    WriteFileAtomically(Path, TrendCsv(Chart->Trend()), reason);
    return Saved(Path, QStringLiteral("trend"), reason);
}

void TfrmTrend::RunTrend(QWidget* parent, TMessageBox& Messages, QString& Folder, const TTrend& Trend)
{
    TfrmTrend dialog(parent, Messages, Folder);
    dialog.SetTrend(Trend);
    dialog.exec();
}
