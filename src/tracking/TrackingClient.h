#pragma once
// TTrackingClient: the eight requests of actions.php on the main window's
// HTTP client. Each one sets the client's read time-out, posts its form to
// the script and judges the reply; a failed request counts as the reply
// "BAD", so nothing here throws or reports a transport error by other means.
#include "tracking/TrackingProtocol.h"

#include <QString>
#include <QStringList>
#include <functional>

class THttpClient;

class TTrackingClient
{
public:
    // SiteUrl gives the configured site address at the moment of each
    // request, so a change of the settings takes effect with the next one.
    TTrackingClient(THttpClient& Http, std::function<QString()> SiteUrl);

    bool CheckServer();
    // The protocol extensions the site has; none when it has none, is an
    // older site, or the request failed.
    QStringList LoadExtensions();
    bool DeleteAffiliates(const QString& Ids);
    TrackingProtocol::TListReply LoadAffiliates();
    // QueryType 0 to 3; Ids may be empty (the field is sent all the same).
    TrackingProtocol::TListReply LoadSales(int QueryType, const QString& Ids);
    // The history extension (docs/protocol.md): From and To as the site
    // reads them, empty for an open end.
    TrackingProtocol::TListReply LoadDatedSales(int QueryType, const QString& Ids, const QString& From,
                                                const QString& To);
    TrackingProtocol::TListReply LoadHourlyCounters(const QString& Ids, const QString& From,
                                                    const QString& To);
    TrackingProtocol::TListReply LoadRangeCounters(const QString& Ids, const QString& From,
                                                   const QString& To);
    bool DeleteSales(const QString& Ids);
    // What changed in both lists since Cursor; the sales are those of the
    // list that QueryType and Ids name.
    TrackingProtocol::TChangeReply LoadChanges(const QString& Cursor, int QueryType, const QString& Ids);
    TSaveResult AddAffiliate(const QString& Name, const QString& AffiliateId);
    bool GetAffiliate(const QString& RecordId, QString& RecordText);
    TSaveResult EditAffiliate(const QString& RecordId, const QString& Name, const QString& AffiliateId);

    // What each request sets as the client's read time-out; 60 s unless
    // changed (a test, or a caller that knows its site is slow or quick).
    void SetReadTimeout(int Ms) { TimeoutMs = Ms; }

private:
    // The reply's body, or "BAD" when the request failed.
    QByteArray Post(const TFormFields& Form);
    QString Send(const TFormFields& Form);
    TrackingProtocol::TListReply LoadList(const TFormFields& Form, int FieldCount);
    bool Touch();

    THttpClient& Http;
    std::function<QString()> SiteUrl;
    int TimeoutMs = TrackingProtocol::ReadTimeoutMs;
};
