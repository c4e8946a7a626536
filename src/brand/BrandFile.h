#pragma once
// The brand record and what the main window shows because of it. Parsing is
// a pure function of the decrypted brand text and a random source, so the
// window only applies the result (and checks the banner file on disk).
#include <QByteArray>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>

struct TBrandRecord {
    QString ApplicationName, BranderCode, BranderType, AffiliateURL, AffiliateTYPE, AffiliateID;
    QString MasterNewsBaseURL, PlatinumNewsBaseURL, GoldNewsBaseURL;
    QString MasterPublID, PlatinumPublID, GoldPublID;
    QString AppHelpURL, CopyrightYears, CopyrightCompany, AboutText;
    QString WelcomeHtml, BannerImageFile, BannerURL;
    QString Link1Caption, Link1URL, Link2Caption, Link2URL;
};

// Returns an index in 0 .. Count-1 (Count >= 1), every index equally likely.
using TRandomIndex = std::function<int(int Count)>;

// Uniform picks from the process-wide generator, seeded by the system.
int SystemRandomIndex(int Count);

// The record plus the window state derived from it.
struct TBrandLoad {
    TBrandRecord Record;
    bool FromBrandFile = false; // false: design state, no skin or icon loaded

    QString Caption;
    bool NewsButtonVisible = true;
    QString MakeMoneyCaption;

    // The banner: the panel is shown when BannerPanelVisible and, where a
    // picture is named (BannerDataFile non-empty), that file exists.
    bool BannerPanelVisible = true;
    bool BannerClickable = false; // hand-point cursor, click opens BannerURL
    int BannerNumber = 0;         // 1 to 16: the entry picked; 0 for none
    QString BannerDataFile;       // "banner" + BannerNumber + ".dat", or empty
    bool BannerAnimated = false;  // shown in the animated view
    QByteArray BannerFormat;      // image reader format from the entry's name

    bool LinksPanelVisible = true;
    QString Link1Caption, Link1URL, Link2Caption, Link2URL; // the two link labels
};

// At most this many welcome, banner and link entries are read.
inline constexpr int MaxBrandEntries = 16;

// One tag the reader looked for, in the order it looked: whether its start
// tag was found in what was left of the text, and the value it read. Lets
// the brand tool tell a brander which tags the program would miss.
struct TBrandTagRead {
    QByteArray Name;
    bool Found = false;
    QString Value;
};

// Reads the decrypted brand text. RandomIndex picks the welcome page, the
// banner and the two (different) links; an index it returns outside the
// range is folded into it. Reads, when given, receives every tag looked for.
TBrandLoad ParseBrandText(const QByteArray& Plain, const TRandomIndex& RandomIndex = SystemRandomIndex,
                          QList<TBrandTagRead>* Reads = nullptr);

// Whether the tier table shows the News button for this brand.
bool NewsButtonVisibleFor(const TBrandRecord& Brand);

// Piece 0 and piece 1 of a banner or link entry split at "^"; a missing
// piece is empty.
QPair<QString, QString> SplitBrandEntry(const QString& Entry);

// "banner" + Number + ".dat": the neutral name the picture is stored under.
QString BannerDataFileName(int Number);

// Whether a banner picture is shown animated: its file name, lower-cased,
// contains ".gif". Only the file-name part counts, not a folder.
bool IsGifName(const QString& FileName);

// The image reader format for a picture, from the extension of its file
// name ("jpg" reads as "jpeg"); empty when the name has no extension.
QByteArray ImageFormatForName(const QString& FileName);

// The file-name part of a name that may carry a folder ("/" or "\").
QString FileNamePart(const QString& FileName);
