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

QString ExampleAffiliateBase(const QString& SiteUrl)
{
    QString base = TrimLow(SiteUrl);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    if (base.isEmpty())
        base = QStringLiteral("http://www.yoursite.com");
    return base + QLatin1Char('/');
}

QString AffiliateHelpText(const QString& SiteUrl)
{
    return QStringLiteral("The affiliate url will be like ") + ExampleAffiliateBase(SiteUrl) +
           QStringLiteral(
               "?affid=AFFILIATEID where AFFILIATEID will be the value that you enter in the previous "
               "field");
}
