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

namespace
{

// The user name and password a protected site's address may carry are no
// one's business on the screen (and never part of an affiliate's link).
QString WithoutUserInfo(QString Url)
{
    const qsizetype scheme = Url.indexOf(QLatin1String("://"));
    if (scheme < 0)
        return Url;
    const qsizetype start = scheme + 3;
    qsizetype end = start;
    while (end < Url.size() && Url[end] != QLatin1Char('/') && Url[end] != QLatin1Char('?') &&
           Url[end] != QLatin1Char('#'))
        ++end;
    const qsizetype at = Url.lastIndexOf(QLatin1Char('@'), end - 1);
    if (at >= start)
        Url.remove(start, at + 1 - start);
    return Url;
}

} // namespace

QString ExampleAffiliateBase(const QString& SiteUrl)
{
    QString base = WithoutUserInfo(TrimLow(SiteUrl));
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    if (base.isEmpty())
        base = QStringLiteral("http://www.yoursite.com");
    return base + QLatin1Char('/');
}

QString AffiliateHelpText(const QString& SiteUrl)
{
    // Affiliates' links lead to the site's counting script.
    return QStringLiteral("The affiliate url will be like ") + ExampleAffiliateBase(SiteUrl) +
           QStringLiteral(
               "track.php?affid=AFFILIATEID where AFFILIATEID will be the value that you enter in the previous "
               "field");
}
