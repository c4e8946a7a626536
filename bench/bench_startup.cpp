// Start-up cost of the main window: time from process start until the
// window is shown and the event loop is idle, and the peak resident memory,
// measured in fresh child processes beside a bare Qt window of the same
// size. Run without arguments; it starts itself as the children.
//   bench_startup [runs]
#include "ChildProcess.h"
#include "app/AppEnvironment.h"
#include "app/FMain.h"
#include "brand/AppConstants.h"
#include "components/ErrorReporter.h"
#include "components/SkinApply.h"
#include "util/FileCrypt.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace
{

// steady_clock is CLOCK_MONOTONIC on Linux: one clock for parent and child,
// so the child can measure from the moment the parent started it.
long long NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const QByteArray ExampleBrand =
    "<%%ApplicationName%%>Prize Desk<%%/ApplicationName%%>\r\n"
    "<%%BranderCode%%>PD1<%%/BranderCode%%>\r\n"
    "<%%BranderType%%>Gold<%%/BranderType%%>\r\n"
    "<%%AffiliateURL%%>http://shop.example/?a=%%AFFILIATEID%%<%%/AffiliateURL%%>\r\n"
    "<%%AffiliateID%%>77<%%/AffiliateID%%>\r\n"
    "<%%GoldNewsBaseURL%%>http://127.0.0.1:9/news<%%/GoldNewsBaseURL%%>\r\n"
    "<%%GoldPublID%%>G-1<%%/GoldPublID%%>\r\n"
    "<%%MakeMoneyButton%%>Earn more<%%/MakeMoneyButton%%>\r\n"
    "<%%AppHelpURL%%>http://127.0.0.1:9/help<%%/AppHelpURL%%>\r\n"
    "<%%CopyrightYears%%>2024-2026<%%/CopyrightYears%%>\r\n"
    "<%%CopyrightCompany%%>Prize Desk Ltd<%%/CopyrightCompany%%>\r\n"
    "<%%AboutText%%>Prize Desk runs your giveaways.<%%/AboutText%%>\r\n"
    "<%%Welcome1%%><html><body><h1>Welcome!</h1><p>Your desk is "
    "ready.</p></body></html><%%/Welcome1%%>\r\n"
    "<%%Link1%%>Shop|http://127.0.0.1:9/shop<%%/Link1%%>\r\n"
    "<%%Link2%%>Help|http://127.0.0.1:9/help<%%/Link2%%>\r\n"
    "<%%LastNewsId%%>12<%%/LastNewsId%%>\r\n";

// The child: builds one window, reports "<ns since spawn> <peak KiB>".
int RunChild(int argc, char** argv)
{
    const QByteArray mode = argv[2];
    const long long spawned = QByteArray(argv[3]).toLongLong();
    const QString dataDir = QString::fromLocal8Bit(argv[4]);

    TApplication app(argc, argv);
    std::unique_ptr<QWidget> window;
    if (mode == "bare" || mode == "label") {
        window = std::make_unique<QWidget>();
        window->resize(832, 586);
        // One line of text: what any window with words pays for the fonts.
        if (mode == "label")
            new QLabel(QStringLiteral("Ready"), window.get());
    } else {
        if (mode == "main")
            skin::ApplyBuiltIn();
        window = std::make_unique<TfrmMain>(TAppEnvironment{dataDir, QStringLiteral("http://127.0.0.1:9/")});
    }
    window->show();
    // Idle: the window is exposed and everything posted so far is handled.
    QTimer::singleShot(0, &app, [&] {
        while (!window->windowHandle() || !window->windowHandle()->isExposed())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        QTimer::singleShot(0, &app, [&] {
            std::printf("%lld %ld\n", NowNs() - spawned, bench::PeakKiB());
            std::fflush(stdout);
            app.exit(0);
        });
    });
    return app.exec();
}

struct TSample {
    double Ms = 0;
    long KiB = 0;
};

bool RunOnce(const QString& Self, const QByteArray& Mode, const QString& DataDir, TSample& Sample)
{
    const QList<QByteArray> parts = bench::RunChild(
        Self, {QStringLiteral("--child"), QString::fromLatin1(Mode), QString::number(NowNs()), DataDir}, 2,
        60000);
    if (parts.isEmpty())
        return false;
    Sample.Ms = parts[0].toDouble() / 1e6;
    Sample.KiB = parts[1].toLong();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && QByteArray(argv[1]) == "--child")
        return RunChild(argc, argv);

    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 7;
    const QString self = QCoreApplication::applicationFilePath();

    QTemporaryDir plain, branded;
    QString error;
    if (!plain.isValid() || !branded.isValid() ||
        !EncryptBytesToFile(ExampleBrand, QDir(branded.path()).filePath(BrandFileName), &error)) {
        std::fprintf(stderr, "cannot prepare the data folders: %s\n", qPrintable(error));
        return 1;
    }

    struct TCase {
        const char* Name;
        QByteArray Mode;
        QString DataDir;
    };
    const TCase cases[] = {{"bare QWidget 832x586", "bare", plain.path()},
                           {"bare QWidget + one QLabel", "label", plain.path()},
                           {"TfrmMain, no brand, no skin", "main-noskin", plain.path()},
                           {"TfrmMain, no brand file", "main", plain.path()},
                           {"TfrmMain, example brand file", "main", branded.path()}};

    // Interleaved, so that a change in the machine's load hits every case.
    std::vector<std::vector<TSample>> samples(std::size(cases));
    for (int r = 0; r < runs; ++r)
        for (std::size_t c = 0; c < std::size(cases); ++c) {
            TSample s;
            if (!RunOnce(self, cases[c].Mode, cases[c].DataDir, s)) {
                std::fprintf(stderr, "child '%s' failed\n", cases[c].Name);
                return 1;
            }
            samples[c].push_back(s);
        }

    std::vector<double> ms0;
    std::vector<long> kib0;
    for (const TSample& s : samples[0]) {
        ms0.push_back(s.Ms);
        kib0.push_back(s.KiB);
    }
    const double baseMs = bench::Median(ms0);
    const long baseKiB = bench::Median(kib0);
    std::printf("%d runs each, medians\n%-32s %10s %8s %12s %10s\n", runs, "case", "start ms", "x bare",
                "peak MiB", "+MiB");
    for (std::size_t c = 0; c < std::size(cases); ++c) {
        std::vector<double> ms;
        std::vector<long> kib;
        for (const TSample& s : samples[c]) {
            ms.push_back(s.Ms);
            kib.push_back(s.KiB);
        }
        const double m = bench::Median(ms);
        const long k = bench::Median(kib);
        std::printf("%-32s %10.1f %8.2f %12.1f %10.1f\n", cases[c].Name, m, m / baseMs, k / 1024.0,
                    (k - baseKiB) / 1024.0);
    }
    return 0;
}
