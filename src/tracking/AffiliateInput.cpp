#include "AffiliateInput.h"

#include "util/UUtils.h"

#include <QStringList>

bool AffiliateInputFromRecordText(const QString& RecordText, TAffiliateInput& Values)
{
    QString text = RecordText;
    text.replace(QStringLiteral("\",\""), QStringLiteral(","));
    QStringList fields;
    SplitByChar(QLatin1Char(','), text, fields);
    if (fields.size() < 3)
        return false;
    Values.Name = fields[1];
    Values.AffiliateId = fields[2];
    return true;
}

QString AffiliateInputProblem(const TAffiliateInput& Values)
{
    if (TrimLow(Values.Name).isEmpty())
        return QStringLiteral("Please provide a valid Affiliate Name");
    if (TrimLow(Values.AffiliateId).isEmpty())
        return QStringLiteral("Please provide a valid Affiliate ID");
    return {};
}

QString PublicSiteAddress(const QString& SiteUrl)
{
    // The user name and password a protected site's address may carry are no
    // one's business on the screen, and never part of an affiliate's link.
    // They are cut out of the text as written, rather than letting a URL
    // parser rewrite the rest of it; an @ in the path is no user name.
    QString url = TrimLow(SiteUrl);
    const qsizetype scheme = url.indexOf(QLatin1String("://"));
    const qsizetype start = scheme < 0 ? 0 : scheme + 3;
    qsizetype end = start;
    while (end < url.size() && url[end] != QLatin1Char('/') && url[end] != QLatin1Char('?') &&
           url[end] != QLatin1Char('#'))
        ++end;
    const qsizetype at = end > start ? url.lastIndexOf(QLatin1Char('@'), end - 1) : -1;
    if (at >= start)
        url.remove(start, at + 1 - start);
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

QString ExampleAffiliateBase(const QString& SiteUrl)
{
    QString base = PublicSiteAddress(SiteUrl);
    if (base.isEmpty())
        base = QStringLiteral("http://www.yoursite.com");
    return base + QLatin1Char('/');
}

QString AffiliateHelpText(const QString& SiteUrl)
{
    // Affiliates' links lead to the site's counting script.
    return QStringLiteral("The affiliate url will be like ") + ExampleAffiliateBase(SiteUrl) +
           QStringLiteral("track.php?affid=AFFILIATEID where AFFILIATEID will be the value that you enter in "
                          "the previous "
                          "field");
}
