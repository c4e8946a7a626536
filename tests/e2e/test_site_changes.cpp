// The reference site's changes extension on both databases: list replies
// compressed or not, compressed replies cut short, and action 30, whose
// changes applied one refresh after another must end where a full reload
// does, however track.php's counts interleave with it.
#include "HttpPeer.h"
#include "SiteFixture.h"
#include "net/HttpClient.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QMap>
#include <QScopeGuard>
#include <QTcpSocket>
#include <QThread>
#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

using namespace tftest;

namespace
{

using TRecord = QList<QByteArray>;
using TRows = QMap<qint64, TRecord>;

QByteArray Gunzip(const QByteArray& in, bool* ok)
{
    z_stream z{};
    *ok = false;
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK)
        return {};
    QByteArray out;
    char buffer[65536];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
    z.avail_in = uInt(in.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, qsizetype(sizeof buffer - z.avail_out));
    }
    *ok = rc == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    return out;
}

QByteArray Gzip(const QByteArray& in)
{
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&z, uLong(in.size()))), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
    z.avail_in = uInt(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.truncate(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

// The records of a list reply, each cut into its fields (values hold no
// separator: the site blanks them); false when it is not a list.
bool Records(const QByteArray& reply, QList<TRecord>* out)
{
    out->clear();
    if (!reply.endsWith("OK"))
        return false;
    const QByteArray text = reply.chopped(2);
    if (text.isEmpty())
        return true;
    if (!text.endsWith('^'))
        return false;
    for (const QByteArray& record : text.chopped(1).split('^')) {
        if (record.size() < 2 || !record.startsWith('"') || !record.endsWith('"'))
            return false;
        const QByteArray inner = record.mid(1, record.size() - 2);
        TRecord fields;
        for (qsizetype start = 0;;) {
            const qsizetype at = inner.indexOf("\",\"", start);
            fields << inner.mid(start, at < 0 ? -1 : at - start);
            if (at < 0)
                break;
            start = at + 3;
        }
        out->append(fields);
    }
    return true;
}

QByteArray WithoutCursor(const QByteArray& reply)
{
    const qsizetype at = reply.lastIndexOf("\"C\",\"");
    return at < 0 ? reply : reply.left(at);
}

// Ids from first on, count of them, as an id list.
QByteArray Ids(int first, int count)
{
    QByteArray list;
    for (int i = 0; i < count; ++i)
        list += (i > 0 ? "," : "") + QByteArray::number(first + i);
    return list;
}

TRows ById(const QList<TRecord>& records)
{
    TRows rows;
    for (const TRecord& r : records)
        rows.insert(r[0].toLongLong(), r);
    return rows;
}

// What the program keeps between refreshes: both lists and the cursor.
struct TMirror {
    QByteArray QueryType;
    QByteArray Cursor;
    TRows Affiliates;
    TRows Sales;
    int Refreshes = 0;
    int Reloads = 0;
};

class SiteChanges : public TSiteTest
{
protected:
    // One POST on a connection of its own, with exactly these request
    // headers, as the bytes came (compressed or not).
    TRawReply RawPost(const TPostFields& fields, const QByteArray& acceptEncoding)
    {
        TFormFields form;
        for (const auto& [name, value] : fields)
            form.append(qMakePair(QString::fromLatin1(name), QString::fromLatin1(value)));
        form.append(qMakePair(QStringLiteral("end"), QString()));
        const QByteArray boundary = "----TestBoundary7MA4YWxkTrZu0gW";
        return RawRequest(Site->ActionsUrl(), "127.0.0.1",
                          {{"Content-Type", "multipart/form-data; boundary=" + boundary},
                           {"Accept-Encoding", acceptEncoding}},
                          "POST", THttpClient::MultipartBody(form, boundary));
    }

    QList<TRecord> List(const QByteArray& action, const TPostFields& fields = {})
    {
        QList<TRecord> records;
        const QByteArray body = Body(action, fields);
        EXPECT_TRUE(Records(body, &records)) << body.left(200).toStdString();
        return records;
    }

    // Action 30 from the mirror's cursor, applied to it as the program
    // does; a reload reply loads both lists in full.
    void Refresh(TMirror& m)
    {
        QList<TRecord> records;
        const QByteArray body =
            Body("30", {{"cursor", m.Cursor}, {"querytype", m.QueryType}, {"reftype", ""}});
        ASSERT_TRUE(Records(body, &records) && !records.isEmpty()) << body.left(300).toStdString();
        ++m.Refreshes;
        if (records[0][0] == "R") {
            ASSERT_EQ(records.size(), 1);
            m.Cursor = records[0][1];
            m.Affiliates = ById(List("3"));
            m.Sales = ById(List("4", {{"querytype", m.QueryType}, {"reftype", ""}}));
            ++m.Reloads;
            return;
        }
        ASSERT_EQ(records.last()[0], "C") << body.right(100).toStdString();
        for (const TRecord& r : records.mid(0, records.size() - 1)) {
            const QByteArray tag = r[0];
            const qint64 id = r.value(1).toLongLong();
            if (tag == "A" && r.size() == 8)
                m.Affiliates.insert(id, r.mid(1));
            else if (tag == "D" && r.size() == 2)
                m.Affiliates.remove(id);
            else if (tag == "S" && r.size() == 5) {
                // The sale's time, then what action 4 sends.
                EXPECT_EQ(r[4].size(), 19) << r[4].toStdString();
                m.Sales.insert(id, r.mid(1, 3));
            } else if (tag == "X" && r.size() == 2)
                m.Sales.remove(id);
            else
                ADD_FAILURE() << "record " << r.join(',').toStdString();
        }
        m.Cursor = records.last()[1];
    }

    void ExpectSameAsReload(const TMirror& m)
    {
        const TRows affiliates = ById(List("3"));
        const TRows sales = ById(List("4", {{"querytype", m.QueryType}, {"reftype", ""}}));
        EXPECT_EQ(m.Affiliates.size(), affiliates.size()) << "query type " << m.QueryType.toStdString();
        EXPECT_TRUE(m.Affiliates == affiliates)
            << "affiliates differ, query type " << m.QueryType.toStdString();
        EXPECT_EQ(m.Sales.size(), sales.size()) << "query type " << m.QueryType.toStdString();
        EXPECT_TRUE(m.Sales == sales) << "sales differ, query type " << m.QueryType.toStdString();
        for (auto it = sales.begin(); it != sales.end(); ++it)
            if (m.Sales.value(it.key()) != it.value()) {
                ADD_FAILURE() << "first differing sale " << it.key();
                break;
            }
    }
};

TEST_P(SiteChanges, CompressedAndPlainListsAreTheSameBytes)
{
    // Enough rows that every list is worth compressing; separators written
    // by other scripts, which the site blanks either way.
    const QString numbers = Maria() ? "(SELECT seq AS i FROM seq_1_to_600) n"
                                    : "(WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c "
                                      "WHERE i < 600) SELECT i FROM c) n";
    const QString cat = Maria() ? "CONCAT('%1', i)" : "('%1' || i)";
    ASSERT_TRUE(Site->Exec("INSERT INTO tf_affiliates (name, link_id) SELECT " + cat.arg("Name ") + ", " +
                           cat.arg("l") + " FROM " + numbers + " WHERE i <= 40"));
    const QByteArray first = Site->Rows("SELECT MIN(id) FROM tf_affiliates")[0][0];
    ASSERT_TRUE(Site->Exec("INSERT INTO tf_sales (affiliate_id, sale_order) SELECT CASE WHEN i % 5 = 0 THEN "
                           "NULL ELSE " +
                           QString::fromLatin1(first) + " + i % 40 END, " + cat.arg("ORDER-") + " FROM " +
                           numbers));
    ASSERT_TRUE(Site->Exec("UPDATE tf_affiliates SET name = ? WHERE id = ?", {"x\"y,z", first}));
    ASSERT_TRUE(Site->Exec("UPDATE tf_sales SET sale_order = ? WHERE id = (SELECT MIN(id) FROM tf_sales)",
                           {"a,b^c\"d"}));
    const QByteArray cursor =
        List("30", {{"cursor", ""}, {"querytype", "3"}, {"reftype", ""}}).value(0).value(1);
    ASSERT_FALSE(cursor.isEmpty());
    // Every row changed after the cursor: action 30 lists them all.
    ASSERT_TRUE(Site->Exec("UPDATE tf_affiliates SET visitors = visitors + 1, changed = "
                           "(SELECT value FROM tf_changes WHERE name = 'epoch')"));
    ASSERT_TRUE(
        Site->Exec("UPDATE tf_sales SET changed = (SELECT value FROM tf_changes WHERE name = 'epoch')"));

    const QList<TPostFields> forms = {
        {{"action", "3"}},
        {{"action", "4"}, {"querytype", "0"}, {"reftype", Ids(first.toInt(), 10)}},
        {{"action", "4"}, {"querytype", "1"}, {"reftype", ""}},
        {{"action", "4"}, {"querytype", "2"}, {"reftype", ""}},
        {{"action", "4"}, {"querytype", "3"}, {"reftype", ""}},
        {{"action", "30"}, {"cursor", cursor}, {"querytype", "3"}, {"reftype", ""}},
    };
    THttpClient client;
    for (const TPostFields& form : forms) {
        const std::string what = form[0].second.toStdString() + " " + form.value(1).second.toStdString();
        const TRawReply plain = RawPost(form, "identity");
        const TRawReply packed = RawPost(form, "gzip, deflate");
        EXPECT_EQ(plain.Status, 200) << what;
        EXPECT_TRUE(plain.Body.endsWith("OK")) << what;
        EXPECT_GT(plain.Body.size(), 1024) << what;
        EXPECT_TRUE(HeaderValue(plain.Head, "Content-Encoding").isEmpty()) << what;
        EXPECT_EQ(HeaderValue(packed.Head, "Content-Encoding"), "gzip") << what;
        EXPECT_EQ(HeaderValue(packed.Head, "Content-Length").toLongLong(), packed.Body.size()) << what;
        EXPECT_EQ(HeaderValue(packed.Head, "Cache-Control"), "no-store, no-transform") << what;
        EXPECT_LT(packed.Body.size() * 2, plain.Body.size()) << what;
        bool whole = false;
        const QByteArray unpacked = Gunzip(packed.Body, &whole);
        EXPECT_TRUE(whole) << what;
        // Action 30 hands out a new cursor each time, as its last record.
        EXPECT_TRUE(WithoutCursor(unpacked) == WithoutCursor(plain.Body)) << what;

        // The program's own client asks for and undoes the compression.
        TFormFields fields;
        for (const auto& [name, value] : form.mid(1))
            fields.append(qMakePair(QString::fromLatin1(name), QString::fromLatin1(value)));
        fields.prepend({"action", QString::fromLatin1(form[0].second)});
        fields.append(qMakePair(QStringLiteral("end"), QString()));
        QByteArray body;
        EXPECT_TRUE(client.Post(Site->ActionsUrl(), fields, body))
            << what << client.LastError().toStdString();
        EXPECT_TRUE(WithoutCursor(body) == WithoutCursor(plain.Body)) << what;
    }
    // A short reply, or one that is not a list, is not worth compressing.
    const TRawReply one = RawPost({{"action", "7"}, {"affcod", first}}, "gzip");
    EXPECT_TRUE(HeaderValue(one.Head, "Content-Encoding").isEmpty());
    EXPECT_TRUE(one.Body.endsWith("\"^OK"));
    EXPECT_EQ(RawPost({{"action", "1"}}, "gzip").Body, "OK");
}

TEST_P(SiteChanges, CompressedListCutByAKilledDatabaseConnectionFails)
{
    if (!Maria())
        GTEST_SKIP() << "an SQLite file has no connection to kill";
    // A list that takes the script a moment to read.
    ASSERT_TRUE(Site->Exec("INSERT INTO tf_sales (affiliate_id, sale_order) SELECT NULL, "
                           "CONCAT('ORDER-', seq, '-', MD5(seq)) FROM seq_1_to_300000"));
    // The database's owner, over the socket, ends the connection of the
    // site's list query once it runs.
    const QString db = "mariadb -N -S '" + Site->DbSocket() + "'";
    const QString kill = "for i in $(seq 1000); do id=$(" + db +
                         " -e \"SELECT id FROM information_schema.PROCESSLIST WHERE user = 'tf_site' AND "
                         "info LIKE '%FROM tf_sales%'"
                         " LIMIT 1\"); if [ -n \"$id\" ]; then " +
                         db + " -e \"KILL $id\"; exit; fi; sleep 0.005; done; exit 1";
    std::atomic<bool> killed{false};
    std::thread killer([&] {
        killed = std::system(("bash -c '" + QString(kill).replace("'", "'\\''") + "'").toLocal8Bit()) == 0;
    });
    THttpClient client;
    QByteArray body;
    const bool ok = client.Post(Site->ActionsUrl(),
                                {{"action", "4"}, {"querytype", "3"}, {"reftype", ""}, {"end", ""}}, body);
    killer.join();
    ASSERT_TRUE(killed) << "the list was read before its connection could be killed";
    EXPECT_FALSE(ok) << body.size() << " bytes, ending " << body.right(20).toStdString();
    // The next request is answered whole again.
    EXPECT_TRUE(client.Post(Site->ActionsUrl(), {{"action", "1"}, {"end", ""}}, body));
    EXPECT_EQ(body, "OK");
}

// The PHP server's processes: the one the test started and the workers it
// forked, any of which may be serving a request.
QList<pid_t> ServerProcesses(int port)
{
    // Arguments are NUL-separated in cmdline.
    const QByteArray listening = QByteArray("-S") + '\0' + "127.0.0.1:" + QByteArray::number(port) + '\0';
    QList<pid_t> pids;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        QFile cmdline("/proc/" + entry + "/cmdline");
        if (entry.toInt() > 0 && cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(listening))
            pids << pid_t(entry.toInt());
    }
    return pids;
}

TEST_P(SiteChanges, CompressedListCutByAKilledWorkerFails)
{
    // A list that takes the worker a while to read and compress.
    ASSERT_TRUE(Site->Exec(Maria()
                               ? "INSERT INTO tf_sales (affiliate_id, sale_order) SELECT NULL, "
                                 "CONCAT(MD5(seq), SHA2(seq, 512)) FROM seq_1_to_120000"
                               : "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < "
                                 "120000) INSERT INTO tf_sales (affiliate_id, sale_order) SELECT NULL, "
                                 "hex(randomblob(80)) FROM c"));
    RestartWeb({}, 2);
    const int port = QUrl(Site->ActionsUrl()).port();
    // A client with a small receive window, that stops reading after the
    // head: the worker blocks writing the body, which is larger than what
    // the socket buffers hold, and is killed there.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    const int window = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const timeval wait{15, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    const QByteArray boundary = "----TestBoundary0123";
    const QByteArray form = THttpClient::MultipartBody(
        {{"action", "4"}, {"querytype", "3"}, {"reftype", ""}, {"end", ""}}, boundary);
    const QByteArray request = "POST /actions.php HTTP/1.0\r\nHost: 127.0.0.1\r\nAccept-Encoding: gzip\r\n"
                               "Content-Type: multipart/form-data; boundary=" +
                               boundary + "\r\nContent-Length: " + QByteArray::number(form.size()) +
                               "\r\n\r\n" + form;
    ASSERT_EQ(::send(fd, request.constData(), size_t(request.size()), 0), request.size());
    QByteArray raw;
    char buffer[4096];
    const auto readSome = [&] {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0)
            raw.append(buffer, n);
        return n > 0;
    };
    while (!raw.contains("\r\n\r\n") && readSome()) {
    }
    const qsizetype end = raw.indexOf("\r\n\r\n");
    ASSERT_GT(end, 0) << "no reply head";
    const QByteArray head = raw.left(end);
    ASSERT_EQ(HeaderValue(head, "Content-Encoding"), "gzip");
    const qint64 announced = HeaderValue(head, "Content-Length").toLongLong();
    QThread::msleep(300);
    int killed = 0;
    for (const pid_t pid : ServerProcesses(port))
        killed += ::kill(pid, SIGKILL) == 0 ? 1 : 0;
    ASSERT_GT(killed, 0);
    while (readSome()) {
    }
    const qint64 received = raw.size() - end - 4;
    EXPECT_LT(received, announced) << "the worker had written the whole reply before it was killed";
    // What did arrive is no whole stream either, and the program's client
    // fails such a reply (CompressedReply.ShortOfItsLengthFailsInTheProgramsClient).
    bool whole = true;
    Gunzip(raw.mid(end + 4), &whole);
    EXPECT_FALSE(whole);
}

TEST(CompressedReply, ShortOfItsLengthFailsInTheProgramsClient)
{
    // What a site sends, compressed; the same cut short, as a worker that
    // dies or a dropped connection leaves it.
    QByteArray list;
    for (int i = 1; i <= 3000; ++i)
        list += "\"" + QByteArray::number(i) + "\",\"Name " + QByteArray::number(i % 97) + "\",\"ORD-" +
                QByteArray::number(i * 7) + "\"^";
    list += "OK";
    const QByteArray packed = Gzip(list);
    THttpPeer peer;
    const auto answer = [&](qint64 dropAfter) {
        THttpAnswer a = THttpAnswer::Text(packed);
        a.With("Content-Encoding", "gzip");
        a.DropAfter = dropAfter;
        return a;
    };
    THttpClient client;
    QByteArray body;
    peer.Queue(answer(-1));
    EXPECT_TRUE(client.Post(peer.Url("/actions.php"), {{"action", "4"}, {"end", ""}}, body));
    EXPECT_TRUE(body == list);
    EXPECT_TRUE(peer.Requests().last().Header("Accept-Encoding").contains("gzip"));
    // Damaged on the way, or more than the cap once undone.
    QByteArray damaged = packed;
    damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 0x55);
    THttpAnswer bad = THttpAnswer::Text(damaged);
    peer.Queue(bad.With("Content-Encoding", "gzip"));
    EXPECT_FALSE(client.Post(peer.Url("/actions.php"), {{"action", "4"}, {"end", ""}}, body));
    peer.Queue(answer(-1));
    EXPECT_FALSE(
        client.Post(peer.Url("/actions.php"), {{"action", "4"}, {"end", ""}}, body, list.size() - 1));
    // Cut anywhere, the trailer included: a failure, whatever arrived.
    for (const qint64 cut : {qint64(10), packed.size() / 2, packed.size() - 8, packed.size() - 1}) {
        peer.Queue(answer(cut));
        EXPECT_FALSE(client.Post(peer.Url("/actions.php"), {{"action", "4"}, {"end", ""}}, body))
            << "cut at " << cut << " of " << packed.size() << ", " << body.size() << " bytes decoded";
    }
}

TEST_P(SiteChanges, RefreshesUnderConcurrentCountingEndWhereAReloadDoes)
{
    constexpr int kAffiliates = 12;
    QList<QByteArray> ids;
    for (int i = 1; i <= kAffiliates; ++i)
        ids << Add("Affiliate " + QByteArray::number(i), "a" + QByteArray::number(i));
    RestartWeb({}, 4);
    // Two programs: one shows the affiliates' sales (a sale leaves it when
    // its affiliate goes), one all sales.
    TMirror mine;
    mine.QueryType = "1";
    TMirror all;
    all.QueryType = "3";
    Refresh(mine);
    Refresh(all);
    ASSERT_EQ(mine.Reloads, 1);

    // Counting from several clients at once: sales through the affiliates
    // and direct ones, visits and subscribes from many addresses.
    TCountingClients clients(3, 90, [&](int c, int i) {
        const QString affid = QStringLiteral("a%1").arg((i * 7 + c) % kAffiliates + 1);
        switch (i % 4) {
        case 0:
        case 1:
            return Site->SignedSaleUrl(QStringLiteral("L-%1-%2").arg(c).arg(i), i % 8 == 1 ? "" : affid);
        case 2:
            return Site->TrackUrl({{"affid", affid}});
        default:
            return Site->TrackUrl({{"affid", affid}, {"event", "subscribe"}});
        }
    });
    // Meanwhile the operator works, and both programs refresh by changes.
    int round = 0;
    while (clients.Running()) {
        Refresh(mine);
        Refresh(all);
        switch (round++) {
        case 2:
            EXPECT_EQ(Body("8", {{"affcod", ids[0]}, {"affname", "Renamed"}, {"afflinkid", "a1"}}), "OK");
            break;
        case 4:
            EXPECT_EQ(Body("2", {{"deleteids", ids[1]}}), "OK");
            break;
        case 6: {
            const auto rows = Site->Rows("SELECT id FROM tf_sales ORDER BY id LIMIT 3");
            QByteArray list;
            for (const TDbRow& r : rows)
                list += (list.isEmpty() ? "" : ",") + r[0];
            if (!list.isEmpty()) {
                EXPECT_EQ(Body("5", {{"deleteids", list}}), "OK");
            }
            break;
        }
        case 8:
            Add("Latecomer", "late");
            break;
        default:
            break;
        }
    }
    EXPECT_EQ(clients.Join(), 0) << Site->WebLog().toStdString();
    Refresh(mine);
    Refresh(all);
    EXPECT_GT(round, 5) << "too few refreshes during the load";
    EXPECT_EQ(mine.Reloads, 1);
    EXPECT_EQ(all.Reloads, 1);
    ExpectSameAsReload(mine);
    ExpectSameAsReload(all);
    EXPECT_EQ(all.Sales.size(), Count("tf_sales"));
    // Nothing changed since the last refresh: the next one lists nothing.
    const QByteArray idle = Body("30", {{"cursor", all.Cursor}, {"querytype", "3"}, {"reftype", ""}});
    EXPECT_TRUE(idle.startsWith("\"C\",\"")) << idle.toStdString();
}

TEST_P(SiteChanges, CursorsTheSiteCannotAnswerGetAReload)
{
    const auto changes = [&](const QByteArray& cursor) {
        return Body("30", {{"cursor", cursor}, {"querytype", "3"}, {"reftype", ""}});
    };
    const auto cursorOf = [](const QByteArray& reply) { return reply.split('"').value(3); };
    const QByteArray start = changes("");
    ASSERT_TRUE(start.startsWith("\"R\",\"")) << start.toStdString();
    const QByteArray cursor = cursorOf(start);
    const QByteArray site = cursor.split('.')[0];
    const qint64 epoch = cursor.split('.')[1].toLongLong();
    const QByteArray ann = Add("Ann", "annb");
    const QByteArray sale = AddSale(ann, "ORD-1");
    EXPECT_EQ(Body("5", {{"deleteids", sale}}), "OK");
    const QByteArray deleted = changes(cursor);
    EXPECT_TRUE(deleted.startsWith("\"A\",\"" + ann + "\",\"Ann\"")) << deleted.toStdString();
    EXPECT_TRUE(deleted.contains("^\"X\",\"" + sale + "\"^\"C\",\"")) << deleted.toStdString();
    const QByteArray after = cursorOf(deleted.mid(deleted.indexOf("\"C\"")));
    for (const QByteArray& bad :
         {QByteArray("x"), QByteArray("1.2.3"), site, "9" + cursor,
          site + "." + QByteArray::number(epoch + 1000), site + ".-1", QByteArray(65, '1')}) {
        const QByteArray reply = changes(bad);
        EXPECT_TRUE(reply.startsWith("\"R\",\"" + site + ".") || reply == "REFUSED") << bad.toStdString();
    }
    // Tombstones older than a week go, and the cursors from before them
    // with them; later cursors still work.
    ASSERT_TRUE(Site->Exec("UPDATE tf_deleted SET deleted_at = deleted_at - 8 * 86400"));
    ASSERT_TRUE(Site->Exec("UPDATE tf_changes SET value = 0 WHERE name = 'pruned'"));
    EXPECT_TRUE(changes(cursor).startsWith("\"R\",")) << "a cursor from before a pruned tombstone";
    EXPECT_TRUE(changes(after).startsWith("\"C\",")) << after.toStdString();
    EXPECT_EQ(Site->Rows("SELECT COUNT(*) FROM tf_deleted")[0][0], "0");
    // Too much at once to list: every sale, or ten thousand and one ids.
    QByteArray now = cursorOf(changes(after));
    EXPECT_EQ(Body("5", {{"deleteids", "all"}}), "OK");
    EXPECT_TRUE(changes(now).startsWith("\"R\","));
    now = cursorOf(changes(""));
    EXPECT_TRUE(changes(now).startsWith("\"C\","));
    QByteArray many;
    for (int i = 1; i <= 10001; ++i)
        many += QByteArray::number(900000 + i) + (i < 10001 ? "," : "");
    EXPECT_EQ(Body("5", {{"deleteids", many}}), "OK");
    EXPECT_TRUE(changes(now).startsWith("\"R\","));
}

TEST_P(SiteChanges, DatabaseWithoutMarksCountsAsBeforeUntilUpgraded)
{
    ASSERT_TRUE(Site->Exec(Maria()
                               ? "ALTER TABLE tf_sales DROP INDEX ix_tf_sales_changed, DROP COLUMN changed; "
                                 "ALTER TABLE tf_affiliates DROP COLUMN changed; DROP TABLE tf_changes; "
                                 "DROP TABLE tf_deleted"
                               : "DROP INDEX ix_tf_sales_changed; ALTER TABLE tf_sales DROP COLUMN changed; "
                                 "ALTER TABLE tf_affiliates DROP COLUMN changed; DROP TABLE tf_changes; "
                                 "DROP TABLE tf_deleted"));
    // Everything the scripts do, without marks; and no "changes" offered.
    const QByteArray ann = Add("Ann", "annb");
    THttpSession browser;
    EXPECT_EQ(browser.Get(Site->TrackUrl({{"affid", "annb"}})).Body, "OK");
    EXPECT_EQ(browser.Get(Site->SignedSaleUrl("OLD-1", "annb")).Body, "OK");
    EXPECT_EQ(browser.Get(Site->SignedSaleUrl("OLD-2", "")).Body, "OK");
    EXPECT_EQ(Body("8", {{"affcod", ann}, {"affname", "Ann B"}, {"afflinkid", "annb"}}), "OK");
    EXPECT_EQ(Body("3"), "\"" + ann + "\",\"Ann B\",\"annb\",\"1\",\"0\",\"1\",\"1\"^OK");
    const QByteArray sale = Site->Rows("SELECT MIN(id) FROM tf_sales")[0][0];
    EXPECT_EQ(Body("5", {{"deleteids", sale}}), "OK");
    EXPECT_EQ(Body("2", {{"deleteids", ann}}), "OK");
    EXPECT_EQ(Count("tf_sales"), 1);
    EXPECT_FALSE(Body("20").contains("changes")) << Body("20").toStdString();
    EXPECT_NE(Body("30", {{"cursor", ""}, {"querytype", "3"}, {"reftype", ""}}).left(4), "\"R\",");

    const QByteArray grants = "ALTER, INDEX, CREATE, CREATE ROUTINE, ALTER ROUTINE";
    const QString first = RunUpgrade(grants);
    EXPECT_TRUE(first.contains("added the table tf_changes")) << first.toStdString();
    EXPECT_TRUE(first.contains("added tf_sales.changed")) << first.toStdString();
    EXPECT_FALSE(RunUpgrade(grants).contains("added"));
    EXPECT_TRUE(Body("20").contains("changes"));
    // From the first cursor on, changes are marked.
    TMirror m;
    m.QueryType = "3";
    Refresh(m);
    EXPECT_EQ(browser.Get(Site->SignedSaleUrl("NEW-1", "")).Body, "OK");
    Add("Bob", "bob7");
    Refresh(m);
    EXPECT_EQ(m.Reloads, 1);
    ExpectSameAsReload(m);
    // Counted the upgraded way (on MariaDB through the procedures it made),
    // and still marked.
    if (Maria()) {
        EXPECT_TRUE(first.contains("made the procedures")) << first.toStdString();
    }
    EXPECT_EQ(browser.Get(Site->SignedSaleUrl("NEW-2", "bob7")).Body, "OK");
    Refresh(m);
    EXPECT_EQ(browser.Get(Site->TrackUrl({{"affid", "bob7"}})).Body, "OK");
    Refresh(m);
    EXPECT_EQ(m.Reloads, 1);
    ExpectSameAsReload(m);
}

INSTANTIATE_TEST_SUITE_P(Db, SiteChanges, ::testing::Values(TSiteDb::Sqlite, TSiteDb::MariaDb),
                         SiteDbParamName);

} // namespace
