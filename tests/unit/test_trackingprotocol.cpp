// The actions.php wire format: forms field by field, replies judged and
// decoded, including replies that are cut short or are plain garbage.
#include "ListReplyRules.h"
#include "net/HttpClient.h"
#include "tracking/TrackingProtocol.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace TrackingProtocol;

namespace
{

using TPairs = QList<QPair<QString, QString>>;

const QByteArray TwoAffiliates = "\"11\",\"Ann\",\"ann1\",\"3\",\"40\",\"500\",\"60\"^"
                                 "\"12\",\"Bob\",\"bob\",\"0\",\"1\",\"2\",\"\"^OK";

} // namespace

TEST(TrackingForms, AddressIsPlainConcatenation)
{
    EXPECT_EQ(ScriptUrl(QStringLiteral("http://site.example/ev")),
              QStringLiteral("http://site.example/ev/actions.php"));
    EXPECT_EQ(ScriptUrl(QStringLiteral("http://site.example/")),
              QStringLiteral("http://site.example//actions.php"));
    EXPECT_EQ(ScriptUrl(QString()), QStringLiteral("/actions.php"));
}

TEST(TrackingForms, EachActionSendsItsFieldsInOrder)
{
    EXPECT_EQ(CheckServerForm(), (TPairs{{"action", "1"}, {"end", ""}}));
    EXPECT_EQ(DeleteAffiliatesForm("5,9"), (TPairs{{"action", "2"}, {"deleteids", "5,9"}, {"end", ""}}));
    EXPECT_EQ(DeleteAffiliatesForm("all"), (TPairs{{"action", "2"}, {"deleteids", "all"}, {"end", ""}}));
    EXPECT_EQ(LoadAffiliatesForm(), (TPairs{{"action", "3"}, {"end", ""}}));
    EXPECT_EQ(LoadSalesForm(2, "7"),
              (TPairs{{"action", "4"}, {"querytype", "2"}, {"reftype", "7"}, {"end", ""}}));
    EXPECT_EQ(LoadSalesForm(0, ""),
              (TPairs{{"action", "4"}, {"querytype", "0"}, {"reftype", ""}, {"end", ""}}));
    EXPECT_EQ(DeleteSalesForm("all"), (TPairs{{"action", "5"}, {"deleteids", "all"}, {"end", ""}}));
    EXPECT_EQ(AddAffiliateForm("Ann", "ann1"),
              (TPairs{{"action", "6"}, {"affname", "Ann"}, {"afflinkid", "ann1"}, {"end", ""}}));
    EXPECT_EQ(GetAffiliateForm("11"), (TPairs{{"action", "7"}, {"affcod", "11"}, {"end", ""}}));
    EXPECT_EQ(
        EditAffiliateForm("11", "Ann", "ann1"),
        (TPairs{{"action", "8"}, {"affcod", "11"}, {"affname", "Ann"}, {"afflinkid", "ann1"}, {"end", ""}}));
}

TEST(TrackingForms, QueryTypeIsUnpaddedDecimal)
{
    for (int q = 0; q <= 3; ++q)
        EXPECT_EQ(LoadSalesForm(q, "1")[1].second, QString::number(q));
}

TEST(TrackingForms, NameAndLinkIdAreTrimmedRecordIdIsNot)
{
    const QString name = QStringLiteral(" \t Big Shop \r\n");
    const QString link = QStringLiteral("\x01shop-1 ");
    EXPECT_EQ(AddAffiliateForm(name, link)[1].second, QStringLiteral("Big Shop"));
    EXPECT_EQ(AddAffiliateForm(name, link)[2].second, QStringLiteral("shop-1"));
    const TFormFields edit = EditAffiliateForm(QStringLiteral(" 11 "), name, link);
    EXPECT_EQ(edit[1].second, QStringLiteral(" 11 "));
    EXPECT_EQ(edit[2].second, QStringLiteral("Big Shop"));
    EXPECT_EQ(edit[3].second, QStringLiteral("shop-1"));
}

TEST(TrackingForms, CheckServerBodyBytes)
{
    EXPECT_EQ(THttpClient::MultipartBody(CheckServerForm(), "xyz"),
              QByteArray("--xyz\r\nContent-Disposition: form-data; name=\"action\"\r\n\r\n1\r\n"
                         "--xyz\r\nContent-Disposition: form-data; name=\"end\"\r\n\r\n\r\n"
                         "--xyz--\r\n"));
}

TEST(TrackingReplies, SimpleRepliesCompareExactly)
{
    EXPECT_TRUE(IsOk("OK"));
    for (const char* r : {"OK\r\n", "OK\n", " OK", "OK ", "ok", "", "BAD", "OKOK"})
        EXPECT_FALSE(IsOk(QString::fromLatin1(r))) << r;
    EXPECT_TRUE(ContainsOk("xxOKyy"));
    EXPECT_FALSE(ContainsOk("Ok"));
    EXPECT_FALSE(ContainsOk(FailedReply));
}

TEST(TrackingReplies, ExtensionsOnlyFromTheirExactRecord)
{
    EXPECT_EQ(DecodeExtensions("\"1\",\"history changes\"^OK"), (QStringList{"history", "changes"}));
    EXPECT_EQ(DecodeExtensions("\"2\",\"\"^OK"), QStringList{});
    // An older site's refusal, a failure, a list, or a record with more or
    // other fields: no extensions, whatever words they hold.
    for (const char* r :
         {"REFUSED", "BAD", "OK", "\"1\",\"history\"^OK\n", "\"1\",\"history\",\"x\"^OK",
          "\"0\",\"history\"^OK", "\"1\",\"History\"^OK", "\"1\",\"history\"^\"1\",\"changes\"^OK"})
        EXPECT_EQ(DecodeExtensions(QString::fromLatin1(r)), QStringList{}) << r;
}

TEST(TrackingReplies, AddAndEditResults)
{
    EXPECT_EQ(AddResult("OK"), srSaved);
    EXPECT_EQ(AddResult("EXIST RECORD"), srRejected);
    EXPECT_EQ(AddResult("DON'T EXIST RECORD"), srFailed);
    EXPECT_EQ(AddResult("EXIST RECORD\r\n"), srFailed);
    EXPECT_EQ(AddResult("BAD"), srFailed);
    EXPECT_EQ(EditResult("OK"), srSaved);
    EXPECT_EQ(EditResult("DON'T EXIST RECORD"), srRejected);
    EXPECT_EQ(EditResult("EXIST RECORD"), srFailed);
    EXPECT_EQ(EditResult("OK\n"), srFailed);
    EXPECT_EQ(int(srFailed), 0);
    EXPECT_EQ(int(srSaved), 1);
    EXPECT_EQ(int(srRejected), 2);
}

TEST(TrackingReplies, AffiliateListDecodesIntoRawPieces)
{
    const TListReply r = DecodeList(TwoAffiliates, AffiliateFieldCount);
    EXPECT_EQ(r.Outcome, TListOutcome::Decoded);
    EXPECT_TRUE(r.Succeeded());
    ASSERT_EQ(r.Rows.RowCount(), 2);
    EXPECT_EQ(r.Rows.Row(0), (QStringList{"\"11", "Ann", "ann1", "3", "40", "500", "60\""}));
    // An empty last field is still a field: the lone closing quote.
    EXPECT_EQ(r.Rows.Row(1), (QStringList{"\"12", "Bob", "bob", "0", "1", "2", "\""}));
    EXPECT_EQ(r.Rows.FieldText(1, 6), QStringLiteral("\""));
    EXPECT_EQ(r.Rows.FieldText(0, 0), QStringLiteral("\"11"));

    // A line break after the final OK adds no line.
    const TListReply crlf = DecodeList(TwoAffiliates + "\r\n", AffiliateFieldCount);
    EXPECT_EQ(crlf.Outcome, TListOutcome::Decoded);
    EXPECT_EQ(crlf.Rows, r.Rows);
}

TEST(TrackingReplies, SalesListNeedsThreeFields)
{
    const TListReply r = DecodeList("\"1\",\"Ann\",\"ORD-1\"^\"2\",\"\",\"ORD-2\"^OK", SaleFieldCount);
    EXPECT_EQ(r.Outcome, TListOutcome::Decoded);
    ASSERT_EQ(r.Rows.RowCount(), 2);
    EXPECT_EQ(r.Rows.Row(1), (QStringList{"\"2", "", "ORD-2\""}));
    EXPECT_EQ(DecodeList("\"1\",\"Ann\"^OK", SaleFieldCount).Outcome, TListOutcome::Malformed);
}

TEST(TrackingReplies, EmptyListsTwoWays)
{
    const TListReply okOnly = DecodeList("OK", AffiliateFieldCount);
    EXPECT_EQ(okOnly.Outcome, TListOutcome::OkOnly);
    EXPECT_TRUE(okOnly.Succeeded());
    EXPECT_TRUE(okOnly.EmptiesList());
    EXPECT_TRUE(okOnly.Rows.IsEmpty());

    const TListReply caretOk = DecodeList("^OK", AffiliateFieldCount);
    EXPECT_EQ(caretOk.Outcome, TListOutcome::Decoded);
    EXPECT_TRUE(caretOk.Rows.IsEmpty());
}

TEST(TrackingReplies, ListWithoutOkLeavesTheListAlone)
{
    for (const char* reply : {"", "BAD", "ok", "\"1\",\"a\",\"b\",\"1\",\"2\",\"3\",\"4\"^"}) {
        const TListReply r = DecodeList(reply, AffiliateFieldCount);
        EXPECT_EQ(r.Outcome, TListOutcome::NoOk) << reply;
        EXPECT_FALSE(r.EmptiesList());
        EXPECT_FALSE(r.Succeeded());
    }
}

TEST(TrackingReplies, ShortRecordStopsDecodingAndKeepsEarlierRows)
{
    const QByteArray reply = "\"1\",\"a\",\"b\",\"1\",\"2\",\"3\",\"4\"^"
                             "\"2\",\"c\",\"d\"^"
                             "\"3\",\"e\",\"f\",\"1\",\"2\",\"3\",\"4\"^OK";
    const TListReply r = DecodeList(reply, AffiliateFieldCount);
    EXPECT_EQ(r.Outcome, TListOutcome::Malformed);
    EXPECT_FALSE(r.Succeeded());
    EXPECT_TRUE(r.EmptiesList());
    ASSERT_EQ(r.Rows.RowCount(), 1);
    EXPECT_EQ(r.Rows.FieldText(0, 0), QStringLiteral("\"1"));

    // "OK" with a line break is one line of one field.
    const TListReply okBreak = DecodeList("OK\r\n", AffiliateFieldCount);
    EXPECT_EQ(okBreak.Outcome, TListOutcome::Malformed);
    EXPECT_TRUE(okBreak.Rows.IsEmpty());

    // An empty line between two records is a line too.
    EXPECT_EQ(DecodeList("^^OK", AffiliateFieldCount).Outcome, TListOutcome::Malformed);
}

TEST(TrackingReplies, CommaInsideAValueShiftsFields)
{
    const TListReply r =
        DecodeList("\"1\",\"Smith, Ann\",\"a\",\"1\",\"2\",\"3\",\"4\"^OK", AffiliateFieldCount);
    EXPECT_EQ(r.Outcome, TListOutcome::Decoded);
    ASSERT_EQ(r.Rows.RowCount(), 1);
    // The name takes two fields; the pieces past the seventh are dropped.
    EXPECT_EQ(r.Rows.FieldText(0, 1), QStringLiteral("Smith"));
    EXPECT_EQ(r.Rows.FieldText(0, 2), QStringLiteral(" Ann"));
    EXPECT_EQ(r.Rows.FieldText(0, 6), QStringLiteral("3"));
    EXPECT_EQ(r.Rows.Row(0).size(), AffiliateFieldCount);
}

TEST(TrackingReplies, MissingQuotesStillCutAtCommas)
{
    const TListReply r = DecodeList("1,a,b,1,2,3,4^OK", AffiliateFieldCount);
    EXPECT_EQ(r.Outcome, TListOutcome::Decoded);
    ASSERT_EQ(r.Rows.RowCount(), 1);
    EXPECT_EQ(r.Rows.FieldText(0, 0), QStringLiteral("1"));
}

TEST(TrackingReplies, GarbageDecodesAsTheRulesSay)
{
    // Random replies built from the bytes that matter to the rules, with
    // bytes of broken UTF-8 among them: the one-pass decoder must give what
    // the rules applied one after another give.
    QRandomGenerator rng(20240611);
    const QByteArray alphabet = "\",^OK\r\nx \x01\xc3\xa9\xff";
    for (int round = 0; round < 20000; ++round) {
        QByteArray reply;
        const int length = int(rng.bounded(48));
        for (int i = 0; i < length; ++i)
            reply += alphabet[int(rng.bounded(int(alphabet.size())))];
        for (int fields : {AffiliateFieldCount, SaleFieldCount, 1}) {
            const TListReply r = DecodeList(reply, fields);
            ASSERT_TRUE(tftest::SameAsPlain(r, tftest::DecodeListPlainly(reply, fields)))
                << fields << " fields: " << reply.toStdString();
        }
        QString text;
        const QString replyText = ReplyText(reply);
        if (DecodeRecord(replyText, text)) {
            ASSERT_GE(RecordFields(text).size(), 3) << reply.toStdString();
        }
        ASSERT_FALSE(text.contains("^OK"));
    }
    // Bytes that are not text at all.
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes += char(i);
    const TListReply r = DecodeList(bytes + "OK", AffiliateFieldCount);
    EXPECT_EQ(r.Outcome, TListOutcome::Malformed);
}

TEST(TrackingReplies, LongListsDecodeAsTheRulesSay)
{
    // Records of every shape one after another, and the same with the
    // script's other line breaks.
    QByteArray reply;
    for (int i = 0; i < 3000; ++i)
        reply += "\"" + QByteArray::number(i) + "\",\"n\xc3\xa9 " + QByteArray::number(i % 17) +
                 (i % 5 == 0 ? "\",\"x, y" : "") + "\",\"o" + QByteArray::number(i) +
                 (i % 7 ? "\"^" : "\"\r\n");
    reply += "OK";
    for (int fields : {AffiliateFieldCount, SaleFieldCount}) {
        const TListReply r = DecodeList(reply, fields);
        EXPECT_TRUE(tftest::SameAsPlain(r, tftest::DecodeListPlainly(reply, fields))) << fields;
    }
    const TListReply sales = DecodeList(reply, SaleFieldCount);
    EXPECT_EQ(sales.Outcome, TListOutcome::Decoded);
    EXPECT_EQ(sales.Rows.RowCount(), 3000);
}

TEST(TrackingReplies, LongFieldsWithStrayBytesDecodeAsTheRulesSay)
{
    // Records whose fields run long, so that every length of plain bytes
    // around a separator, a line break or a stray special byte comes up,
    // at every place against the blocks the decoder reads at a time.
    QRandomGenerator rng(20261209);
    const QByteArray specials = "\",^\r\nO";
    for (int round = 0; round < 400; ++round) {
        QByteArray reply;
        const int records = 1 + int(rng.bounded(12));
        for (int r = 0; r < records; ++r) {
            const int fields = 1 + int(rng.bounded(8));
            reply += '"';
            for (int f = 0; f < fields; ++f) {
                if (f > 0)
                    reply += "\",\"";
                const int length = int(rng.bounded(40));
                for (int i = 0; i < length; ++i)
                    reply += rng.bounded(24) == 0 ? specials[int(rng.bounded(int(specials.size())))]
                                                  : char('a' + rng.bounded(26));
            }
            reply += rng.bounded(10) == 0 ? "\"\r\n" : "\"^";
        }
        reply += "OK";
        for (int fields : {AffiliateFieldCount, SaleFieldCount, DatedSaleFieldCount, 1}) {
            const TListReply r = DecodeList(reply, fields);
            ASSERT_TRUE(tftest::SameAsPlain(r, tftest::DecodeListPlainly(reply, fields)))
                << fields << " fields: " << reply.toStdString();
        }
    }
}

TEST(TrackingReplies, SingleRecord)
{
    QString text;
    EXPECT_TRUE(DecodeRecord("\"11\",\"Ann\",\"ann1\",\"3\",\"40\",\"500\",\"60\"^OK", text));
    EXPECT_EQ(text, QStringLiteral("\"11\",\"Ann\",\"ann1\",\"3\",\"40\",\"500\",\"60\""));
    const QStringList fields = RecordFields(text);
    ASSERT_EQ(fields.size(), 7);
    EXPECT_EQ(fields[1], QStringLiteral("Ann"));
    EXPECT_EQ(fields[2], QStringLiteral("ann1"));

    EXPECT_FALSE(DecodeRecord("OK", text)); // no such record
    EXPECT_FALSE(DecodeRecord(FailedReply, text));
    EXPECT_FALSE(DecodeRecord("\"11\",\"Ann\"", text));
    // Too short to give a name and a link id: no record, rather than a
    // record the edit dialog would read past the end of.
    EXPECT_FALSE(DecodeRecord("OK\n", text));
    EXPECT_FALSE(DecodeRecord("\"11\",\"Ann\"^OK", text));
    EXPECT_TRUE(DecodeRecord("\"11\",\"Ann\",\"a\"^OK", text));
}

TEST(ChangeReplies, RecordsDecodeAsTheirListsDoAndDeletionsAsIds)
{
    const QByteArray reply =
        "\"A\",\"12\",\"Ann B\",\"annb\",\"4\",\"10\",\"251\",\"198\"^"
        "\"A\",\"13\",\"Cy\",\"cy\",\"0\",\"0\",\"1\",\"1\"^\"D\",\"7\"^"
        "\"S\",\"90\",\"Ann B\",\"ORD-1023\",\"2026-03-29 14:02:11\"^\"X\",\"77\"^\"X\",\"78\"^"
        "\"C\",\"3f9a17c2.5120\"^OK";
    const TChangeReply r = DecodeChanges(reply);
    ASSERT_EQ(r.Outcome, TChangeOutcome::Decoded);
    EXPECT_EQ(r.Cursor, "3f9a17c2.5120");
    // The same pieces a list reply of those records gives.
    EXPECT_EQ(r.Affiliates, DecodeList("\"12\",\"Ann B\",\"annb\",\"4\",\"10\",\"251\",\"198\"^"
                                       "\"13\",\"Cy\",\"cy\",\"0\",\"0\",\"1\",\"1\"^OK",
                                       AffiliateFieldCount)
                                .Rows);
    ASSERT_EQ(r.Sales.RowCount(), 1);
    EXPECT_EQ(r.Sales.Row(0), (QStringList{"\"90", "Ann B", "ORD-1023", "2026-03-29 14:02:11\""}));
    EXPECT_EQ(r.DeletedAffiliates, QStringList{"7"});
    EXPECT_EQ(r.DeletedSales, (QStringList{"77", "78"}));

    const TChangeReply none = DecodeChanges("\"C\",\"c 1\"^OK");
    EXPECT_EQ(none.Outcome, TChangeOutcome::Decoded);
    EXPECT_EQ(none.Cursor, "c 1");
    EXPECT_TRUE(none.Affiliates.IsEmpty());
    EXPECT_TRUE(none.Sales.IsEmpty());

    const TChangeReply reload = DecodeChanges("\"R\",\"3f9a17c2.5121\"^OK");
    EXPECT_EQ(reload.Outcome, TChangeOutcome::Reload);
    EXPECT_EQ(reload.Cursor, "3f9a17c2.5121");
}

TEST(ChangeReplies, AnythingButAWholeReplyFails)
{
    const char* const bad[] = {"REFUSED", "BAD", "OK", "^OK", "\"C\",\"x\"", "\"C\",\"x\"^OK\r\n",
                               // no cursor, or records after it
                               "\"D\",\"7\"^OK", "\"C\",\"x\"^\"D\",\"7\"^OK", "\"C\",\"x\"^\"C\",\"y\"^OK",
                               // a reload with company
                               "\"D\",\"7\"^\"R\",\"x\"^OK",
                               // unknown tags, short or malformed records
                               "\"Q\",\"1\"^\"C\",\"x\"^OK",
                               "\"A\",\"12\",\"Ann\",\"a\",\"4\"^\"C\",\"x\"^OK",
                               "\"S\",\"90\",\"Ann\"^\"C\",\"x\"^OK", "\"D\",\"7\",\"8\"^\"C\",\"x\"^OK",
                               "\"X\",\"seven\"^\"C\",\"x\"^OK", "\"D\",\"\"^\"C\",\"x\"^OK",
                               "^\"C\",\"x\"^OK", "\"AA\",\"1\"^\"C\",\"x\"^OK",
                               // cursors: empty, too long, control characters
                               "\"C\",\"\"^OK", "\"C\",\"x\ty\"^OK"};
    for (const char* b : bad)
        EXPECT_EQ(DecodeChanges(QByteArray(b)).Outcome, TChangeOutcome::Failed) << b;
    EXPECT_EQ(DecodeChanges("\"C\",\"" + QByteArray(65, 'c') + "\"^OK").Outcome, TChangeOutcome::Failed);
    EXPECT_EQ(DecodeChanges("\"C\",\"" + QByteArray(64, 'c') + "\"^OK").Outcome, TChangeOutcome::Decoded);
}
