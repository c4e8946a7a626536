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
    Reply = ReplyText(Post(Form));
    return Reply;
}

TListReply TTrackingClient::LoadList(const TFormFields& Form, int FieldCount)
{
    const QByteArray body = Post(Form);
    // A list can run to tens of megabytes; its text is kept only when short.
    Reply = body.size() <= MaxKeptReply ? ReplyText(body) : QString();
    return DecodeList(body, FieldCount);
}

// Adding and editing first fetch the script plainly (the reply is not
// used); when even that fails there is no point in posting.
bool TTrackingClient::Touch()
{
    Http.SetReadTimeout(TimeoutMs);
    QByteArray ignored;
    if (Http.Get(ScriptUrl(SiteUrl()), ignored))
        return true;
    Reply = FailedReply;
    return false;
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

TChangeReply TTrackingClient::LoadChanges(const QString& Cursor, int QueryType, const QString& Ids)
{
    const QByteArray body = Post(ChangesForm(Cursor, QueryType, Ids));
    Reply = body.size() <= MaxKeptReply ? ReplyText(body) : QString();
    return DecodeChanges(body);
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
