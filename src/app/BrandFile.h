#pragma once
#include <QString>

struct TBrandRecord {
    QString ApplicationName, BranderCode, BranderType, AffiliateURL, AffiliateTYPE, AffiliateID;
    QString MasterNewsBaseURL, PlatinumNewsBaseURL, GoldNewsBaseURL;
    QString MasterPublID, PlatinumPublID, GoldPublID;
    QString AppHelpURL, CopyrightYears, CopyrightCompany, AboutText;
    QString WelcomeHtml, BannerImageFile, BannerURL;
    QString Link1Caption, Link1URL, Link2Caption, Link2URL;
};
