// The real program against hostile services at start-up: a news service
// that sends 64 MiB of separators, an update service with a 16 MiB
// descriptor of line breaks, and a site whose every answer is a redirect
// with an endless body. The program's peak memory, as the kernel counts it,
// must stay near that of a program whose services answer nothing.
#include "support/HttpPeer.h"
#include "support/PeakMemory.h"
#include "support/TestFolders.h"
#include "util/FileCrypt.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using namespace tftest;

namespace
{

constexpr qint64 MiB = qint64(1) << 20;

struct TRun {
    qint64 Peak = -1;
    QList<QByteArray> Targets; // what the program asked for, in order
};

// Starts a copy of the program in a folder of its own, branded for the
// Master news tier, with its site and its update service on Peer, and lets
// the start-up sequence run to its end: the site's request answered and the
// peer sending nothing more for a second.
TRun RunStartup(THttpPeer& Peer)
{
    TRun run;
    TDataFolder folder;
    const QString program = folder.File(QStringLiteral("tallyfair"));
    EXPECT_TRUE(QFile::copy(qEnvironmentVariable("TF_BINARY_DIR") + QStringLiteral("/tallyfair"), program));
    const QByteArray brand = "<%%ApplicationName%%>Hostile Desk<%%/ApplicationName%%>\n"
                             "<%%BranderCode%%>HD-1<%%/BranderCode%%>\n"
                             "<%%BranderType%%>Master<%%/BranderType%%>\n"
                             "<%%MasterNewsBaseURL%%>" +
                             Peer.Url(QStringLiteral("/news")).toLatin1() +
                             "<%%/MasterNewsBaseURL%%>\n"
                             "<%%MasterPublID%%>pub-m<%%/MasterPublID%%>\n";
    EXPECT_TRUE(EncryptBytesToFile(brand, folder.File(QStringLiteral("dbsettings.dat"))));
    folder.Write(QStringLiteral("hsettings.dat"),
                 "[Settings]\r\nswebserver=" + Peer.Url(QStringLiteral("/site")).toLatin1() + "\r\n");

    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TALLYFAIR_UPDATE_BASE_URL"), Peer.Url(QStringLiteral("/lu/")));
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app.start(program, {});
    if (!app.waitForStarted()) {
        ADD_FAILURE() << "the program did not start";
        return run;
    }
    const auto siteAsked = [&] {
        for (const THttpRequest& r : Peer.Requests())
            if (r.Target.endsWith("/actions.php"))
                return true;
        return false;
    };
    // Until the site has been asked and the peer has been quiet for a
    // second: by then every request of the start-up has ended.
    qint64 sent = -1;
    QElapsedTimer quiet;
    quiet.start();
    WaitFor(
        [&] {
            if (Peer.BodyBytesSent() != sent) {
                sent = Peer.BodyBytesSent();
                quiet.restart();
            }
            return siteAsked() && quiet.elapsed() > 1000;
        },
        60000);
    EXPECT_TRUE(siteAsked());
    EXPECT_EQ(app.state(), QProcess::Running) << "the program ended on its own";
    run.Peak = PeakResidentBytes(app.processId());

    for (const THttpRequest& r : Peer.Requests())
        run.Targets << r.Target;
    app.kill();
    app.waitForFinished();
    return run;
}

TEST(ProgramLimits, HostileRepliesAtStartupCostNoMoreThanAnIdleStart)
{
    if (!PeaksAreMeaningful)
        GTEST_SKIP() << "peaks mean nothing under the sanitizers";

    THttpPeer idlePeer; // answers 404 to everything
    const TRun idle = RunStartup(idlePeer);
    ASSERT_GT(idle.Peak, 0);

    THttpPeer peer;
    peer.SetHandler([](const THttpRequest& r) {
        THttpAnswer a;
        if (r.Target.endsWith("/getlastnews.php")) {
            a.Chunked = true; // no length to refuse it by: it must be counted
            a.Filler = '^';
            a.FillerSize = 64 * MiB;
        } else if (r.Target.endsWith("/mainappupdate.inf")) {
            a.Body = "[APPLICATION]\r\nVersion=9.99\r\n";
            a.Filler = '\n';
            a.FillerSize = 16 * MiB;
        } else {
            a = THttpAnswer::Redirect(r.Target.left(r.Target.indexOf('?')) + "?again");
            a.Chunked = true;
            a.FillerSize = qint64(1) << 40; // never ends
        }
        return a;
    });
    const TRun hostile = RunStartup(peer);
    // Each hostile reply was asked for, and the redirects were followed,
    // endless bodies and all, until the client's limit of hops.
    EXPECT_TRUE(hostile.Targets.contains("/news/getlastnews.php"));
    EXPECT_TRUE(hostile.Targets.contains("/lu/mainappupdate.inf"));
    EXPECT_TRUE(hostile.Targets.contains("/site/actions.php"));
    qsizetype hops = 0;
    for (const QByteArray& t : hostile.Targets)
        hops += t.startsWith("/site/actions.php") ? 1 : 0;
    EXPECT_EQ(hops, 21);
    EXPECT_LT(hostile.Peak - idle.Peak, 100 * MiB)
        << "idle " << idle.Peak / MiB << " MiB, hostile " << hostile.Peak / MiB << " MiB";
    RecordProperty("IdlePeakMiB", int(idle.Peak / MiB));
    RecordProperty("HostilePeakMiB", int(hostile.Peak / MiB));
}

} // namespace
