// Loading big lists: a list reply of actions.php decoded, put into the
// affiliates or sales model (which orders the rows by the first column) and
// shown in a report view like the main window's, until the view has painted.
// Each case runs in a fresh child process so that its peak memory is its
// own; an empty view in the same kind of process is the memory baseline.
// Then the operator's tools on the same list: keystrokes in the find field
// (affiliates), opening Statistics for all of them, and exporting the
// sales to a CSV file.
//   bench_lists [runs]
#include "ChildProcess.h"
#include "components/MessageBox.h"
#include "tracking/AffiliatesModel.h"
#include "tracking/FStatistics.h"
#include "tracking/ListExport.h"
#include "tracking/ListSelection.h"
#include "tracking/ListStatistics.h"
#include "tracking/SalesModel.h"
#include "tracking/TrackingProtocol.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <ctime>
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

// Dated: each sale also has its UTC time (action 21), spread over 90 days
// in a scrambled order.
QByteArray SalesReply(int Count, bool Dated = false)
{
    QByteArray r;
    r.reserve(qsizetype(Count) * (Dated ? 64 : 40));
    const QDateTime start(QDate(2026, 9, 1), QTime(0, 0), Qt::UTC);
    for (int i = 0; i < Count; ++i) {
        r +=
            "\"" + QByteArray::number(i + 1) + "\",\"" + Name(i % 5000) + "\",\"ORD-" + QByteArray::number(i);
        if (Dated)
            r += "\",\"" + start.addSecs(qint64(quint32(i) * 2654435761u % (90u * 86400u)))
                               .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                               .toLatin1();
        r += "\"^";
    }
    return r + "OK";
}

// The processor time this thread has had: on a shared machine the wall
// clock also counts the time other processes had the cores.
double CpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Repaints the view and lets it handle what that posted.
void Show(QWidget& View)
{
    View.repaint();
    QCoreApplication::processEvents();
}

// Affiliates: the slowest of a few keystrokes in the find field, each one
// the model's find plus a repaint of the list. The first letter matches
// every row (all names start "Affiliate"), the later ones fewer, the last
// one (Esc) empties the field again.
double FindKeystrokes(TRecordListModel& Model, QTableView& View)
{
    const char* typed[] = {"a", "7", "74", "742", "7421", "742", "74", ""};
    double worst = 0;
    for (const char* text : typed) {
        QElapsedTimer t;
        t.start();
        Model.SetFindText(QString::fromLatin1(text));
        Show(View);
        worst = std::max(worst, t.nsecsElapsed() / 1e6);
    }
    return worst;
}

// Opening Statistics: the figures over the selected rows (all of them when
// none is selected), the window made and painted.
double OpenStatistics(TAffiliatesModel& Model, QTableView& View, bool AllSelected)
{
    if (AllSelected)
        View.selectAll();
    else
        View.clearSelection();
    QElapsedTimer t;
    t.start();
    const TAffiliateStatistics stats = AffiliateStatistics(Model, SelectedModelRows(View.selectionModel()));
    QString folder;
    TMessageBox messages(&View);
    TfrmStatistics window(nullptr, messages, folder);
    window.SetStatistics(stats);
    window.show();
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    Show(window);
    const double ms = t.nsecsElapsed() / 1e6;
    if (stats.Affiliates != Model.RowCount())
        std::fprintf(stderr, "statistics saw %d of %d rows\n", stats.Affiliates, Model.RowCount());
    return ms;
}

// The child: "<decode ms> <fill ms> <show ms> <peak KiB> <reply bytes>
// <resort ms> <find ms> <statistics ms> <statistics, all selected, ms>
// <export ms> <KiB the export needed beyond what was held> <export bytes>
// <KiB held before the export (the whole process)> <resort, processor ms>
// <decode, fill and show, processor ms>". Resort is a
// click on the header of the last counter column (visitors) or the order,
// descending. The tools' figures are 0 where they do not apply.
int RunChild(int argc, char** argv)
{
    const QByteArray mode = argv[2];
    const int count = QByteArray(argv[3]).toInt();
    QApplication app(argc, argv);
    const bool dated = mode == "dated";
    QByteArray body = dated                  ? SalesReply(count, true)
                      : mode == "sales"      ? SalesReply(count)
                      : mode == "affiliates" ? AffiliatesReply(count)
                                             : "OK";
    const qsizetype replyBytes = body.size();

    TRecordListModel* model = nullptr;
    TAffiliatesModel affiliates;
    TSalesModel sales;
    const bool isSales = mode == "sales" || dated;
    sales.SetDated(dated);
    model = isSales ? static_cast<TRecordListModel*>(&sales) : &affiliates;
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
    const double loadCpu = CpuMs();
    TListReply reply = DecodeList(body, dated     ? DatedSaleFieldCount
                                        : isSales ? SaleFieldCount
                                                  : AffiliateFieldCount);
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
    const double loadCpuMs = CpuMs() - loadCpu;
    if (mode != "empty" && model->rowCount() != count) {
        std::fprintf(stderr, "expected %d rows, got %d\n", count, model->rowCount());
        return 1;
    }
    const long peakKiB = bench::PeakKiB();
    // A click on each header in turn, descending, each the first sort by
    // its column; the slowest counts. For the affiliates, the visitors.
    double resortMs = 0, resortCpuMs = 0;
    for (int c = 0; c < model->columnCount(); ++c) {
        if (!isSales && c != TAffiliatesModel::colVisitors)
            continue;
        t.restart();
        const double cpu = CpuMs();
        view.sortByColumn(c, Qt::DescendingOrder);
        view.repaint();
        QCoreApplication::processEvents();
        resortMs = std::max(resortMs, t.nsecsElapsed() / 1e6);
        resortCpuMs = std::max(resortCpuMs, CpuMs() - cpu);
    }

    double findMs = 0, statsMs = 0, statsAllMs = 0, exportMs = 0;
    long exportPeakKiB = 0, heldKiB = 0;
    qint64 exportBytes = 0;
    if (mode == "affiliates") {
        findMs = FindKeystrokes(*model, view);
        statsMs = OpenStatistics(affiliates, view, false);
        statsAllMs = OpenStatistics(affiliates, view, true);
    } else if (isSales) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sales.csv"));
        QString error;
        // The export's own peak: the kernel forgets the peak so far, and
        // what the export reaches is set against what the program held
        // just before it.
        heldKiB = bench::CurrentKiB();
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
        clear.close();
        t.restart();
        QList<int> columns;
        for (int c = 0; c < model->columnCount(); ++c)
            columns << c;
        if (!listexport::SaveCsv(*model, columns, path, error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        exportMs = t.nsecsElapsed() / 1e6;
        exportPeakKiB = bench::PeakKiB() - heldKiB;
        exportBytes = QFileInfo(path).size();
    }
    std::printf("%.2f %.2f %.2f %ld %lld %.2f %.2f %.2f %.2f %.2f %ld %lld %ld %.2f %.2f\n", decodeMs, fillMs,
                showMs, peakKiB, static_cast<long long>(replyBytes), resortMs, findMs, statsMs, statsAllMs,
                exportMs, exportPeakKiB, static_cast<long long>(exportBytes), heldKiB, resortCpuMs,
                loadCpuMs);
    return 0;
}

struct TSample {
    double Decode = 0, Fill = 0, Show = 0, Resort = 0, Find = 0, Stats = 0, StatsAll = 0, Export = 0;
    double ResortCpu = 0, LoadCpu = 0;
    long KiB = 0, ExportKiB = 0, HeldKiB = 0;
    long long Bytes = 0, ExportBytes = 0;
};

bool RunOnce(const QString& Self, const char* Mode, int Count, TSample& S)
{
    const QList<QByteArray> p = bench::RunChild(
        Self, {QStringLiteral("--child"), QString::fromLatin1(Mode), QString::number(Count)}, 15, 300000);
    if (p.size() < 15)
        return false;
    S.Decode = p[0].toDouble();
    S.Fill = p[1].toDouble();
    S.Show = p[2].toDouble();
    S.KiB = p[3].toLong();
    S.Bytes = p[4].toLongLong();
    S.Resort = p[5].toDouble();
    S.Find = p[6].toDouble();
    S.Stats = p[7].toDouble();
    S.StatsAll = p[8].toDouble();
    S.Export = p[9].toDouble();
    S.ExportKiB = p[10].toLong();
    S.ExportBytes = p[11].toLongLong();
    S.HeldKiB = p[12].toLong();
    S.ResortCpu = p[13].toDouble();
    S.LoadCpu = p[14].toDouble();
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
                           {"1,000,000 sales", "sales", 1000000},
                           {"1,000,000 dated", "dated", 1000000}};
    std::printf("%d runs each, medians; \"cpu\" is processor time, the rest wall clock\n"
                "%-20s %9s %9s %9s %9s %10s %10s %8s %9s %9s %10s\n",
                runs, "case", "decode", "fill+sort", "show", "total ms", "reply MiB", "+peak MiB", "x reply",
                "resort", "total cpu", "resort cpu");
    double baseKiB = 0;
    // Per case: worst find keystroke, Statistics with none and with all
    // selected, the export with the memory the process held before it and
    // the most the export added to that.
    struct TTools {
        const char* Name;
        double Find, Stats, StatsAll, Export, ExportExtra, Held, FileMiB;
    };
    std::vector<TTools> tools;
    for (const TCase& c : cases) {
        std::vector<double> decode, fill, show, total, kib, resort, find, stats, statsAll, exportMs,
            exportKib, held, loadCpu, resortCpu;
        long long bytes = 0, exportBytes = 0;
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
            resortCpu.push_back(s.ResortCpu);
            loadCpu.push_back(s.LoadCpu);
            find.push_back(s.Find);
            stats.push_back(s.Stats);
            statsAll.push_back(s.StatsAll);
            exportMs.push_back(s.Export);
            exportKib.push_back(double(s.ExportKiB));
            held.push_back(double(s.HeldKiB));
            bytes = s.Bytes;
            exportBytes = s.ExportBytes;
        }
        const double peak = bench::Median(kib);
        if (c.Count == 0)
            baseKiB = peak;
        const double over = (peak - baseKiB) / 1024.0;
        const double replyMiB = double(bytes) / (1024.0 * 1024.0);
        std::printf("%-20s %9.1f %9.1f %9.1f %9.1f %10.1f %10.1f %8.2f %9.1f %9.1f %10.1f\n", c.Name,
                    bench::Median(decode), bench::Median(fill), bench::Median(show), bench::Median(total),
                    replyMiB, over, c.Count ? over / replyMiB : 0.0, bench::Median(resort),
                    bench::Median(loadCpu), bench::Median(resortCpu));
        tools.push_back({c.Name, bench::Median(find), bench::Median(stats), bench::Median(statsAll),
                         bench::Median(exportMs), bench::Median(exportKib) / 1024.0,
                         bench::Median(held) / 1024.0, double(exportBytes) / (1024.0 * 1024.0)});
    }
    std::printf("\n%-20s %9s %9s %9s %9s %10s %10s %10s\n", "tools, medians", "find key", "stats",
                "stats sel", "export", "file MiB", "held MiB", "+export");
    for (const TTools& t : tools)
        if (t.Export > 0 || t.Find > 0)
            std::printf("%-20s %9.1f %9.1f %9.1f %9.1f %10.1f %10.1f %10.1f\n", t.Name, t.Find, t.Stats,
                        t.StatsAll, t.Export, t.FileMiB, t.Held, t.ExportExtra);
    return 0;
}
