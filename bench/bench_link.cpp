// The real main window against a site behind a slow link (bench/link_bench.sh
// makes the link): the time from a refresh until its list is shown, and the
// bytes that crossed the link for it.
//   bench_link SITE_URL INTERFACE [trend]
// INTERFACE is the link's end in this process's network namespace; its
// counters give the bytes both ways. With "trend": the affiliates loaded,
// all of them selected, then the Trend button until its window is painted,
// twice ("trend", "trend-again"). Otherwise the steps, one line each on
// stdout:
//   affiliates: a whole load (as Refresh loads it without a cursor)
//   sales: the Show box set to "All sales" (a whole load)
//   then "ready" and a wait for a line on stdin (the caller adds sales
//   meanwhile), then one live refresh, and "live"; then one more with
//   nothing new, "live-idle".
#include "app/AppEnvironment.h"
#include "app/FMain.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <iostream>
#include <string>

namespace
{

qint64 Counter(const QString& Interface, const char* Name)
{
    QFile f(QStringLiteral("/sys/class/net/%1/statistics/%2").arg(Interface, QString::fromLatin1(Name)));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return f.readAll().trimmed().toLongLong();
}

qint64 WireBytes(const QString& Interface)
{
    return Counter(Interface, "rx_bytes") + Counter(Interface, "tx_bytes");
}

void Settle()
{
    // What the list shows is painted once the handler has returned.
    QApplication::processEvents();
    QApplication::processEvents();
}

template <class F> void Step(const char* Name, const QString& Interface, TfrmMain& Window, F Run)
{
    auto* pages = Window.findChild<QTableView*>(QStringLiteral("lvwPages"));
    auto* sales = Window.findChild<QTableView*>(QStringLiteral("lvwReferers"));
    const qint64 bytes = WireBytes(Interface);
    QElapsedTimer t;
    t.start();
    Run();
    Settle();
    const qint64 ms = t.elapsed();
    std::printf("%s %lld ms %lld bytes %d affiliates %d sales\n", Name, static_cast<long long>(ms),
                static_cast<long long>(WireBytes(Interface) - bytes), pages->model()->rowCount(),
                sales->model()->rowCount());
    std::fflush(stdout);
}

// The Trend button with every affiliate selected, until the trend's window
// has been painted; the window is then closed.
void TrendStep(const char* Name, const QString& Interface, TfrmMain& Window)
{
    auto* pages = Window.findChild<QTableView*>(QStringLiteral("lvwPages"));
    auto* trend = Window.findChild<QPushButton*>(QStringLiteral("btnTrend"));
    pages->selectAll();
    Settle();
    bool shown = false;
    // The trend's window is modal, with an event loop of its own: a timer
    // looks for it every few milliseconds (the request runs one too) and
    // closes it once painted.
    QTimer look;
    look.setInterval(5);
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialog->repaint();
            shown = true;
            look.stop();
            dialog->reject();
        }
    });
    Step(Name, Interface, Window, [&] {
        look.start();
        trend->click();
    });
    look.stop();
    if (!shown)
        std::printf("%s: no trend window came up\n", Name);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool trendOnly = argc == 4 && QByteArray(argv[3]) == "trend";
    if (argc != 3 && !trendOnly) {
        std::fprintf(stderr, "usage: bench_link SITE_URL INTERFACE [trend]\n");
        return 2;
    }
    const QString site = QString::fromLocal8Bit(argv[1]);
    const QString interface = QString::fromLocal8Bit(argv[2]);
    QTemporaryDir folder;
    QFile settings(folder.filePath(QStringLiteral("hsettings.dat")));
    if (!settings.open(QIODevice::WriteOnly))
        return 1;
    settings.write("[Settings]\r\nswebserver=" + site.toLocal8Bit() + "\r\n");
    settings.close();

    TAppEnvironment env;
    env.DataDir = folder.path();
    env.UpdateBaseURL = QStringLiteral("http://127.0.0.1:9/liveupdate/tallyfair/");
    TfrmMain window(env);
    bool started = false;
    QObject::connect(&window, &TfrmMain::StartupSequenceDone, [&] { started = true; });
    window.show();
    QElapsedTimer wait;
    wait.start();
    while (!started && wait.elapsed() < 600000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    Settle();
    std::printf("started %lld ms, changes %s\n", static_cast<long long>(wait.elapsed()),
                window.SiteHas(QStringLiteral("changes")) ? "yes" : "no");

    Step("affiliates", interface, window, [&] {
        if (window.CheckServer())
            window.LoadAffiliates();
    });
    if (trendOnly) {
        if (!window.SiteHas(QStringLiteral("history"))) {
            std::printf("trend: the site has no history\n");
            return 0;
        }
        TrendStep("trend", interface, window);
        TrendStep("trend-again", interface, window);
        return 0;
    }
    auto* show = window.findChild<QComboBox*>(QStringLiteral("cbxQueryType"));
    Step("sales", interface, window, [&] { show->setCurrentIndex(3); });
    std::printf("ready\n");
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
    Step("live", interface, window, [&] { window.LiveTimerTimer(); });
    // The same with nothing new: what the request costs without a merge.
    Step("live-idle", interface, window, [&] { window.LiveTimerTimer(); });
    return 0;
}
