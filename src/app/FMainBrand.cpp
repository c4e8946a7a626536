// The main window brands itself from the brand file beside the program.
#include "FMain.h"
#include "brand/AppConstants.h"
#include "brand/BannerPicture.h"
#include "components/ClickLabel.h"
#include "components/SkinApply.h"
#include "util/FileCrypt.h"

#include <QApplication>
#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QIcon>
#include <QImage>
#include <QMovie>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>

namespace
{

// The background colour a GIF names in its screen descriptor (an index into
// its global colour table); invalid when it names none.
QColor GifBackground(const QByteArray& Gif)
{
    if (Gif.size() < 13 || !(uchar(Gif[10]) & 0x80))
        return {};
    const int entries = 2 << (uchar(Gif[10]) & 7);
    const int index = uchar(Gif[11]);
    const qsizetype at = 13 + 3 * qsizetype(index);
    if (index >= entries || at + 2 >= Gif.size())
        return {};
    return QColor(uchar(Gif[at]), uchar(Gif[at + 1]), uchar(Gif[at + 2]));
}

} // namespace

void TfrmMain::LoadBrandFile()
{
    const QString path = DataFile(BrandFileName);
    if (!QFileInfo::exists(path))
        return;
    // Decrypted into memory only: the brand's plain text never touches the
    // disk. A damaged file is still read for whatever text it yields.
    QByteArray plain;
    DecryptFileToMemory(path, plain);
    ApplyBrand(ParseBrandText(plain));
}

void TfrmMain::ApplyBrand(const TBrandLoad& Load)
{
    Brand = Load.Record;
    setWindowTitle(Load.Caption);
    btnNews->setVisible(Load.NewsButtonVisible);
    btnMakeMoney->setText(Load.MakeMoneyCaption);

    const Qt::CursorShape cursor = Load.BannerClickable ? Qt::PointingHandCursor : Qt::ArrowCursor;
    imgBanner->setCursor(cursor);
    gifBanner->setCursor(cursor);
    if (!Load.BannerPanelVisible)
        panBanner->hide();
    else if (!Load.BannerDataFile.isEmpty() && !ShowBanner(Load))
        panBanner->hide();

    panLinks->setVisible(Load.LinksPanelVisible);
    lblLink1URL->setText(Load.Link1Caption);
    lblLink1URL->SetTarget(Load.Link1URL);
    lblLink2URL->setText(Load.Link2Caption);
    lblLink2URL->SetTarget(Load.Link2URL);

    if (!Load.FromBrandFile)
        return;
    const QString skinPath = DataFile(SkinFileName);
    if (QFileInfo::exists(skinPath))
        skin::ApplyFile(skinPath);
    const QString iconPath = DataFile(IconFileName);
    if (QFileInfo::exists(iconPath)) {
        const QIcon icon(iconPath);
        if (!icon.isNull()) {
            QApplication::setWindowIcon(icon);
            setWindowIcon(icon);
        }
    }
}

bool TfrmMain::ShowBanner(const TBrandLoad& Load)
{
    // The picture is read in place from its neutral file; the entry's own
    // file name only tells which format it is in.
    QFile file(DataFile(Load.BannerDataFile));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    BannerData = file.readAll();
    QSize size;
    if (Load.BannerAnimated) {
        gifMovie = OpenAnimatedBanner(&BannerData, this);
        if (!gifMovie)
            return false;
        size = gifMovie->currentImage().size();
        // Not transparent: what the frames leave open shows the picture's own
        // background colour. And it loops for ever, also when the file does
        // not ask for it (a GIF without a loop extension plays once).
        if (const QColor background = GifBackground(BannerData); background.isValid()) {
            QPalette palette = gifBanner->palette();
            palette.setColor(QPalette::Window, background);
            gifBanner->setPalette(palette);
        }
        gifBanner->setAutoFillBackground(true);
        // A single picture has nothing to loop: restarting it would only
        // repaint it over and over.
        if (gifMovie->frameCount() != 1)
            connect(gifMovie, &QMovie::finished, gifMovie, &QMovie::start);
        gifBanner->setMovie(gifMovie);
        gifMovie->start();
        gifBanner->show();
        imgBanner->hide();
    } else {
        const QImage picture = DecodeStillBanner(BannerData, Load.BannerFormat);
        BannerData.clear();
        if (picture.isNull())
            return false;
        size = picture.size();
        imgBanner->setPixmap(QPixmap::fromImage(picture));
        imgBanner->show();
        gifBanner->hide();
    }
    imgBanner->resize(size);
    gifBanner->resize(size);
    panBanner->setFixedHeight(size.height() + 10);
    CenterBanner();
    return true;
}
