#include "BrandFile.h"

#include "brand/AppConstants.h"
#include "brand/BrandText.h"
#include "util/UUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

int SystemRandomIndex(int Count)
{
    return Count <= 1 ? 0 : int(QRandomGenerator::global()->bounded(Count));
}

namespace
{

// The reader shares one buffer across all reads: each read starts where the
// previous one ended, which is why the tags must stand in reading order.
class TBrandReader
{
public:
    TBrandReader(const QByteArray& Plain, QList<TBrandTagRead>* ReadLog)
        : Buffer(NormalizeLinesCrLf(Plain)), Reads(ReadLog)
    {
    }

    QString Read(const QByteArray& Name)
    {
        const qsizetype before = Buffer.size();
        const QString value =
            QString::fromLocal8Bit(ExtractTagValue(StartTagOf(Name), EndTagOf(Name), Buffer));
        // A start tag that is not found leaves the buffer as it was.
        if (Reads)
            Reads->append({Name, Buffer.size() != before, value});
        return value;
    }

    // Family + 1, Family + 2, ... up to the first empty value.
    QStringList ReadEntries(const QByteArray& Family)
    {
        QStringList entries;
        for (int n = 1; n <= MaxBrandEntries; ++n) {
            const QString value = Read(Family + QByteArray::number(n));
            if (value.isEmpty())
                break;
            entries.append(value);
        }
        return entries;
    }

private:
    QByteArray Buffer;
    QList<TBrandTagRead>* Reads;
};

int Pick(const TRandomIndex& RandomIndex, int Count)
{
    int i = RandomIndex ? RandomIndex(Count) : SystemRandomIndex(Count);
    i %= Count;
    return i < 0 ? i + Count : i;
}

void ReadRecordValues(TBrandReader& Reader, TBrandRecord& R, QString& MakeMoney)
{
    R.ApplicationName = Reader.Read("ApplicationName");
    R.BranderCode = Reader.Read("BranderCode");
    R.BranderType = Reader.Read("BranderType");
    R.AffiliateURL = Reader.Read("AffiliateURL");
    R.AffiliateTYPE = Reader.Read("AffiliateTYPE");
    R.AffiliateID = Reader.Read("AffiliateID");
    R.AffiliateURL.replace(QStringLiteral("%%AFFILIATEID%%"), R.AffiliateID, Qt::CaseSensitive);
    R.MasterNewsBaseURL = Reader.Read("MasterNewsBaseURL");
    R.PlatinumNewsBaseURL = Reader.Read("PlatinumNewsBaseURL");
    R.GoldNewsBaseURL = Reader.Read("GoldNewsBaseURL");
    R.MasterPublID = Reader.Read("MasterPublID");
    R.PlatinumPublID = Reader.Read("PlatinumPublID");
    R.GoldPublID = Reader.Read("GoldPublID");
    MakeMoney = Reader.Read("MakeMoneyButton");
    R.AppHelpURL = Reader.Read("AppHelpURL");
    R.CopyrightYears = Reader.Read("CopyrightYears");
    R.CopyrightCompany = Reader.Read("CopyrightCompany");
    R.AboutText = Reader.Read("AboutText");
}

void PickBanner(const QStringList& Banners, const TRandomIndex& RandomIndex, TBrandLoad& L)
{
    L.BannerPanelVisible = false;
    if (Banners.isEmpty())
        return;
    const int b = Pick(RandomIndex, int(Banners.size()));
    const auto [image, url] = SplitBrandEntry(Banners[b]);
    L.Record.BannerImageFile = image;
    L.Record.BannerURL = url;
    L.BannerClickable = !url.isEmpty();
    if (image.isEmpty())
        return;
    // The picture stays in its neutral file and is read in place; the name
    // in the entry only tells how to read it.
    L.BannerPanelVisible = true;
    L.BannerNumber = b + 1;
    L.BannerDataFile = BannerDataFileName(L.BannerNumber);
    L.BannerAnimated = IsGifName(image);
    L.BannerFormat = ImageFormatForName(image);
}

void PickLinks(QStringList Links, const TRandomIndex& RandomIndex, TBrandRecord& R)
{
    if (Links.isEmpty())
        return;
    const int first = Pick(RandomIndex, int(Links.size()));
    std::tie(R.Link1Caption, R.Link1URL) = SplitBrandEntry(Links[first]);
    // The second link is drawn from the others, so the two always differ.
    Links.removeAt(first);
    if (Links.isEmpty())
        return;
    const int second = Pick(RandomIndex, int(Links.size()));
    std::tie(R.Link2Caption, R.Link2URL) = SplitBrandEntry(Links[second]);
}

} // namespace

TBrandLoad ParseBrandText(const QByteArray& Plain, const TRandomIndex& RandomIndex,
                          QList<TBrandTagRead>* Reads)
{
    TBrandLoad L;
    L.FromBrandFile = true;
    TBrandRecord& R = L.Record;
    TBrandReader reader(Plain, Reads);

    QString makeMoney;
    ReadRecordValues(reader, R, makeMoney);
    // A brand without a name still shows the product and its version rather
    // than a bare " v2.01".
    L.Caption =
        (R.ApplicationName.isEmpty() ? DesignCaption : R.ApplicationName) + QStringLiteral(" v") + AppVersion;
    L.NewsButtonVisible = NewsButtonVisibleFor(R);
    L.MakeMoneyCaption = makeMoney.isEmpty() ? DefaultMakeMoneyCaption : makeMoney;

    const QStringList welcomes = reader.ReadEntries("Welcome");
    const QStringList banners = reader.ReadEntries("Banner");
    const QStringList links = reader.ReadEntries("Link");

    if (!welcomes.isEmpty())
        R.WelcomeHtml = welcomes[Pick(RandomIndex, int(welcomes.size()))];
    PickBanner(banners, RandomIndex, L);
    PickLinks(links, RandomIndex, R);

    L.LinksPanelVisible = !R.Link1Caption.isEmpty();
    L.Link1Caption = R.Link1Caption;
    L.Link1URL = R.Link1URL;
    L.Link2Caption = R.Link2Caption;
    L.Link2URL = R.Link2URL;
    return L;
}

bool NewsButtonVisibleFor(const TBrandRecord& B)
{
    const auto both = [](const QString& a, const QString& b) { return !a.isEmpty() && !b.isEmpty(); };
    const QString& type = B.BranderType;
    if (type == QLatin1String("Master") || type == QLatin1String("Free"))
        return both(B.MasterNewsBaseURL, B.MasterPublID);
    if (type == QLatin1String("Platinum"))
        return both(B.PlatinumNewsBaseURL, B.PlatinumPublID);
    if (type == QLatin1String("Gold"))
        return both(B.GoldNewsBaseURL, B.GoldPublID);
    return false;
}

QPair<QString, QString> SplitBrandEntry(const QString& Entry)
{
    QStringList pieces;
    SplitByChar(QLatin1Char('^'), Entry, pieces);
    return {pieces.value(0), pieces.value(1)};
}

QString BannerDataFileName(int Number)
{
    return QStringLiteral("banner") + QString::number(Number) + QStringLiteral(".dat");
}

QString FileNamePart(const QString& FileName)
{
    const qsizetype cut =
        qMax(FileName.lastIndexOf(QLatin1Char('/')), FileName.lastIndexOf(QLatin1Char('\\')));
    return FileName.mid(cut + 1);
}

bool IsGifName(const QString& FileName)
{
    return FileNamePart(FileName).toLower().contains(QLatin1String(".gif"));
}

QByteArray ImageFormatForName(const QString& FileName)
{
    const QString name = FileNamePart(FileName);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return {};
    const QByteArray ext = name.mid(dot + 1).toLower().toLatin1();
    if (ext == "jpg" || ext == "jpe" || ext == "jfif")
        return "jpeg";
    if (ext == "tif")
        return "tiff";
    return ext;
}
