// The main window brands itself from the brand file beside the program.
#include "FMain.h"
#include "app/AppConstants.h"
#include "app/BannerPicture.h"
#include "components/ClickLabel.h"
#include "components/SkinApply.h"
#include "util/FileCrypt.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QIcon>
#include <QImage>
#include <QMovie>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>

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
