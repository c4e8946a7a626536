#pragma once
// The wire format of actions.php: the forms of its eight actions and the
// decoding of its replies. Pure functions, no network; TTrackingClient sends
// what these build and hands the replies back here.
#include "net/FormFields.h"
#include "tracking/RecordTable.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Outcome of adding or editing an affiliate.
enum TSaveResult { srFailed = 0, srSaved = 1, srRejected = 2 };

namespace TrackingProtocol
{

// Every tracking request waits this long for the script, and the client
// keeps the setting afterwards.
constexpr int ReadTimeoutMs = 60000;

// Fields in a record of the affiliates list (action 3) and the sales list
// (action 4).
constexpr int AffiliateFieldCount = 7;
constexpr int SaleFieldCount = 3;
// The history extension: sales with their time (action 21), and counters
// per hour or per affiliate over a range (actions 22 and 23): a time or an
// id, then OTO sales, subscribers, visitors and unique hits.
constexpr int DatedSaleFieldCount = 4;
constexpr int CounterFieldCount = 5;
// Fields a single record (action 7) needs: id, name and link id.
constexpr int RecordMinFields = 3;

// What a failed request counts as: it neither equals nor contains "OK".
inline const QString FailedReply = QStringLiteral("BAD");

// The script's address: the site address followed by "/actions.php", as
// typed (a trailing slash gives two).
QString ScriptUrl(const QString& SiteUrl);

TFormFields CheckServerForm();
TFormFields DeleteAffiliatesForm(const QString& Ids);
TFormFields LoadAffiliatesForm();
TFormFields LoadSalesForm(int QueryType, const QString& Ids);
TFormFields DeleteSalesForm(const QString& Ids);
TFormFields AddAffiliateForm(const QString& Name, const QString& AffiliateId);
TFormFields GetAffiliateForm(const QString& RecordId);
TFormFields EditAffiliateForm(const QString& RecordId, const QString& Name, const QString& AffiliateId);

// The extensions of the protocol (docs/protocol.md): action 20, answered by
// a site that has any with one record, its version and the names.
TFormFields ExtensionsForm();
// The names a site reported, or none for any other reply (an older site
// refuses the action, a failed request is "BAD").
QStringList DecodeExtensions(const QString& Reply);

// The history extension; From and To are UTC instants as the site reads
// them, empty for an open end. Ids may be "all".
TFormFields DatedSalesForm(int QueryType, const QString& Ids, const QString& From, const QString& To);
TFormFields HourlyCountersForm(const QString& Ids, const QString& From, const QString& To);
TFormFields RangeCountersForm(const QString& Ids, const QString& From, const QString& To);

// Refresh by changes (the "changes" extension, docs/protocol.md): what
// changed in both lists since a cursor that the site handed out. The sales
// records are those of the sales list named by QueryType and Ids, as
// action 4 takes them. An empty cursor is always answered with a reload
// and the current cursor.
TFormFields ChangesForm(const QString& Cursor, int QueryType, const QString& Ids);

enum class TChangeOutcome {
    Failed,  // anything but a whole change reply: keep the cursor, load whole lists
    Reload,  // the site cannot tell what changed: load whole lists, then go on with Cursor
    Decoded, // the changes since the cursor, then Cursor for the next request
};

struct TChangeReply {
    TChangeOutcome Outcome = TChangeOutcome::Failed;
    QString Cursor;
    // Records added or changed, with the fields of an action 3 or 4
    // record (and for a sale its time after them), and the record ids of
    // those deleted (or, for sales, no longer in the list asked for).
    TRecordTable Affiliates{AffiliateFieldCount};
    QStringList DeletedAffiliates;
    TRecordTable Sales{SaleFieldCount + 1};
    QStringList DeletedSales;
};

TChangeReply DecodeChanges(QByteArrayView Body);

// A reply body as text (the system's 8-bit code page).
QString ReplyText(const QByteArray& Body);

// The simple replies are compared whole and exactly.
bool IsOk(const QString& Reply);
bool ContainsOk(const QString& Reply);
TSaveResult AddResult(const QString& Reply);
TSaveResult EditResult(const QString& Reply);

enum class TListOutcome {
    NoOk,      // no "OK" anywhere: a failure, the list stays as it was
    OkOnly,    // "OK" and nothing else: the list is emptied, totals stay
    Decoded,   // all records read (perhaps none): a success
    Malformed, // a line with too few fields: Rows holds the records before it
};

struct TListReply {
    TListOutcome Outcome = TListOutcome::NoOk;
    // The first FieldCount pieces of each record as cut at commas; the first
    // still opens with a double quote and the last of a full record still
    // closes with one.
    TRecordTable Rows;

    bool Succeeded() const { return Outcome == TListOutcome::OkOnly || Outcome == TListOutcome::Decoded; }
    // Whether the reply replaces the list (it is emptied first).
    bool EmptiesList() const { return Outcome != TListOutcome::NoOk; }
};

// Decodes a list reply (the bytes as they came) whose records need
// FieldCount fields.
TListReply DecodeList(QByteArrayView Body, int FieldCount);

// The single record reply of action 7: RecordText is the reply without
// "^OK"; true when a record with at least RecordMinFields fields came.
bool DecodeRecord(const QString& Reply, QString& RecordText);

// The fields of a record text from DecodeRecord, cut as the edit dialog
// takes them (quotes left on the outer two).
QStringList RecordFields(const QString& RecordText);

} // namespace TrackingProtocol
