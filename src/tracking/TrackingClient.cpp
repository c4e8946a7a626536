#include "TrackingClient.h"

#include "net/HttpClient.h"

using namespace TrackingProtocol;

TTrackingClient::TTrackingClient(THttpClient& H, std::function<QString()> Site)
    : Http(H), SiteUrl(std::move(Site))
{
}

QByteArray TTrackingClient::Post(const TFormFields& Form)
{
    Http.SetReadTimeout(TimeoutMs);
    QByteArray body;
    if (!Http.Post(ScriptUrl(SiteUrl()), Form, body))
        body = FailedReply.toLatin1();
    return body;
}

QString TTrackingClient::Send(const TFormFields& Form)
{
    return ReplyText(Post(Form));
}

TListReply TTrackingClient::LoadList(const TFormFields& Form, int FieldCount)
{
    return DecodeList(Post(Form), FieldCount);
}

// Adding and editing first fetch the script plainly (the reply is not
// used); when even that fails there is no point in posting.
bool TTrackingClient::Touch()
{
    Http.SetReadTimeout(TimeoutMs);
    QByteArray ignored;
    return Http.Get(ScriptUrl(SiteUrl()), ignored);
}

bool TTrackingClient::CheckServer()
{
    return IsOk(Send(CheckServerForm()));
}

QStringList TTrackingClient::LoadExtensions()
{
    return DecodeExtensions(Send(ExtensionsForm()));
}

bool TTrackingClient::DeleteAffiliates(const QString& Ids)
{
    return IsOk(Send(DeleteAffiliatesForm(Ids)));
}

TListReply TTrackingClient::LoadAffiliates()
{
    return LoadList(LoadAffiliatesForm(), AffiliateFieldCount);
}

TListReply TTrackingClient::LoadSales(int QueryType, const QString& Ids)
{
    return LoadList(LoadSalesForm(QueryType, Ids), SaleFieldCount);
}

TListReply TTrackingClient::LoadDatedSales(int QueryType, const QString& Ids, const QString& From,
                                           const QString& To)
{
    return LoadList(DatedSalesForm(QueryType, Ids, From, To), DatedSaleFieldCount);
}

TListReply TTrackingClient::LoadHourlyCounters(const QString& Ids, const QString& From, const QString& To)
{
    return LoadList(HourlyCountersForm(Ids, From, To), CounterFieldCount);
}

TListReply TTrackingClient::LoadRangeCounters(const QString& Ids, const QString& From, const QString& To)
{
    return LoadList(RangeCountersForm(Ids, From, To), CounterFieldCount);
}

TChangeReply TTrackingClient::LoadChanges(const QString& Cursor, int QueryType, const QString& Ids)
{
    return DecodeChanges(Post(ChangesForm(Cursor, QueryType, Ids)));
}

bool TTrackingClient::DeleteSales(const QString& Ids)
{
    return IsOk(Send(DeleteSalesForm(Ids)));
}

TSaveResult TTrackingClient::AddAffiliate(const QString& Name, const QString& AffiliateId)
{
    if (!Touch())
        return srFailed;
    return AddResult(Send(AddAffiliateForm(Name, AffiliateId)));
}

bool TTrackingClient::GetAffiliate(const QString& RecordId, QString& RecordText)
{
    return DecodeRecord(Send(GetAffiliateForm(RecordId)), RecordText);
}

TSaveResult TTrackingClient::EditAffiliate(const QString& RecordId, const QString& Name,
                                           const QString& AffiliateId)
{
    if (!Touch())
        return srFailed;
    return EditResult(Send(EditAffiliateForm(RecordId, Name, AffiliateId)));
}
