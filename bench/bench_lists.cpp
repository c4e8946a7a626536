// Loading big lists: a list reply of actions.php decoded, put into the
// affiliates or sales model (which orders the rows by the first column) and
// shown in a report view like the main window's, until the view has painted.
// Each case runs in a fresh child process so that its peak memory is its
// own; an empty view in the same kind of process is the memory baseline.
//   bench_lists [runs]
#include "ChildProcess.h"
#include "tracking/AffiliatesModel.h"
#include "tracking/SalesModel.h"
#include "tracking/TrackingProtocol.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QTableView>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace TrackingProtocol;

namespace
{

// Names in a scrambled order, so that the model really has to sort them.
QByteArray Name(int I)
{
    const quint32 scrambled = quint32(I) * 2654435761u;
    return "Affiliate " + QByteArray::number(scrambled % 1000003u) + "-" + QByteArray::number(I);
}

QByteArray AffiliatesReply(int Count)
{
    QByteArray r;
    r.reserve(qsizetype(Count) * 64);
    for (int i = 0; i < Count; ++i)
        r += "\"" + QByteArray::number(i + 1) + "\",\"" + Name(i) + "\",\"aff" + QByteArray::number(i) +
             "\",\"" + QByteArray::number(i % 7) + "\",\"" + QByteArray::number(i % 50) + "\",\"" +
             QByteArray::number(i % 900) + "\",\"" + QByteArray::number(i % 400) + "\"^";
    return r + "OK";
}

QByteArray SalesReply(int Count)
{
    QByteArray r;
    r.reserve(qsizetype(Count) * 40);
    for (int i = 0; i < Count; ++i)
        r += "\"" + QByteArray::number(i + 1) + "\",\"" + Name(i % 5000) + "\",\"ORD-" +
             QByteArray::number(i) + "\"^";
    return r + "OK";
}

// The child: "<decode ms> <fill ms> <show ms> <peak KiB> <reply bytes>
// <resort ms>", the last being a click on the header of the second-to-last
// column (a counter for the affiliates, the order for the sales), descending.
int RunChild(int argc, char** argv)
{
    const QByteArray mode = argv[2];
    const int count = QByteArray(argv[3]).toInt();
    QApplication app(argc, argv);
    QByteArray body = mode == "sales"        ? SalesReply(count)
                      : mode == "affiliates" ? AffiliatesReply(count)
                                             : "OK";
    const qsizetype replyBytes = body.size();

    TRecordListModel* model = nullptr;
    TAffiliatesModel affiliates;
    TSalesModel sales;
    model = mode == "sales" ? static_cast<TRecordListModel*>(&sales) : &affiliates;
    QTableView view;
    view.resize(832, 300);
    view.setModel(model);
    view.verticalHeader()->hide();
    view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view.verticalHeader()->setDefaultSectionSize(20);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.show();
    while (!view.windowHandle() || !view.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::processEvents();

    QElapsedTimer t;
    t.start();
    TListReply reply = DecodeList(body, mode == "sales" ? SaleFieldCount : AffiliateFieldCount);
    body.clear();
    body.squeeze();
    const double decodeMs = t.nsecsElapsed() / 1e6;
    t.restart();
    model->SetRows(std::move(reply.Rows));
    const double fillMs = t.nsecsElapsed() / 1e6;
    t.restart();
    view.repaint();
    QCoreApplication::processEvents();
    const double showMs = t.nsecsElapsed() / 1e6;
    if (mode != "empty" && model->rowCount() != count) {
        std::fprintf(stderr, "expected %d rows, got %d\n", count, model->rowCount());
        return 1;
    }
    const long peakKiB = bench::PeakKiB();
    t.restart();
    view.sortByColumn(model->columnCount() - 2, Qt::DescendingOrder);
    view.repaint();
    QCoreApplication::processEvents();
    const double resortMs = t.nsecsElapsed() / 1e6;
    std::printf("%.2f %.2f %.2f %ld %lld %.2f\n", decodeMs, fillMs, showMs, peakKiB,
                static_cast<long long>(replyBytes), resortMs);
    return 0;
}

struct TSample {
    double Decode = 0, Fill = 0, Show = 0, Resort = 0;
    long KiB = 0;
    long long Bytes = 0;
};

bool RunOnce(const QString& Self, const char* Mode, int Count, TSample& S)
{
    const QList<QByteArray> p = bench::RunChild(
        Self, {QStringLiteral("--child"), QString::fromLatin1(Mode), QString::number(Count)}, 6, 300000);
    if (p.size() < 6)
        return false;
    S = {p[0].toDouble(), p[1].toDouble(), p[2].toDouble(),
         p[5].toDouble(), p[3].toLong(),   p[4].toLongLong()};
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && QByteArray(argv[1]) == "--child")
        return RunChild(argc, argv);
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;
    const QString self = QCoreApplication::applicationFilePath();

    struct TCase {
        const char* Name;
        const char* Mode;
        int Count;
    };
    const TCase cases[] = {{"empty view", "empty", 0},
                           {"100,000 affiliates", "affiliates", 100000},
                           {"1,000,000 sales", "sales", 1000000}};
    std::printf("%d runs each, medians\n%-20s %9s %9s %9s %9s %10s %10s %8s %9s\n", runs, "case", "decode",
                "fill+sort", "show", "total ms", "reply MiB", "+peak MiB", "x reply", "resort");
    double baseKiB = 0;
    for (const TCase& c : cases) {
        std::vector<double> decode, fill, show, total, kib, resort;
        long long bytes = 0;
        for (int r = 0; r < runs; ++r) {
            TSample s;
            if (!RunOnce(self, c.Mode, c.Count, s)) {
                std::fprintf(stderr, "child '%s' failed\n", c.Name);
                return 1;
            }
            decode.push_back(s.Decode);
            fill.push_back(s.Fill);
            show.push_back(s.Show);
            total.push_back(s.Decode + s.Fill + s.Show);
            kib.push_back(double(s.KiB));
            resort.push_back(s.Resort);
            bytes = s.Bytes;
        }
        const double peak = bench::Median(kib);
        if (c.Count == 0)
            baseKiB = peak;
        const double over = (peak - baseKiB) / 1024.0;
        const double replyMiB = double(bytes) / (1024.0 * 1024.0);
        std::printf("%-20s %9.1f %9.1f %9.1f %9.1f %10.1f %10.1f %8.2f %9.1f\n", c.Name,
                    bench::Median(decode), bench::Median(fill), bench::Median(show), bench::Median(total),
                    replyMiB, over, c.Count ? over / replyMiB : 0.0, bench::Median(resort));
    }
    return 0;
}
