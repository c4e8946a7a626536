// A live refresh's merge on big lists, without the network: 100 new sales
// into 1,000,000 and 100 changed affiliates into 100,000, each in a shown
// report view, until painted.
//   bench_merge
#include "tracking/AffiliatesModel.h"
#include "tracking/SalesModel.h"
#include "tracking/TrackingProtocol.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTableView>
#include <QWindow>
#include <cstdio>

using namespace TrackingProtocol;

namespace
{

QByteArray Name(int I)
{
    return "Affiliate " + QByteArray::number((quint32(I) * 2654435761u) % 1000003u);
}

QByteArray Affiliate(int I, int Oto)
{
    return "\"" + QByteArray::number(I + 1) + "\",\"" + Name(I) + "\",\"aff" + QByteArray::number(I) +
           "\",\"" + QByteArray::number(Oto) + "\",\"3\",\"40\",\"25\"^";
}

QByteArray Sale(int I)
{
    return "\"" + QByteArray::number(I + 1) + "\",\"" + Name(I % 90000) + "\",\"ORD-" +
           QByteArray::number(I) + "\"^";
}

void Show(QTableView& View)
{
    View.repaint();
    QCoreApplication::processEvents();
}

double Case(TRecordListModel& Model, const QByteArray& Whole, const QByteArray& Changes, int Fields)
{
    QTableView view;
    view.resize(832, 300);
    view.setModel(&Model);
    view.verticalHeader()->hide();
    view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view.verticalHeader()->setDefaultSectionSize(20);
    view.show();
    while (!view.windowHandle() || !view.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    Model.SetRows(DecodeList(Whole, Fields).Rows);
    Show(view);
    QElapsedTimer t;
    t.start();
    Model.MergeRows(DecodeList(Changes, Fields).Rows, {});
    Show(view);
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QByteArray sales, newSales, affiliates, changed;
    for (int i = 0; i < 1000000; ++i)
        sales += Sale(i);
    for (int i = 1000000; i < 1000100; ++i)
        newSales += Sale(i);
    for (int i = 0; i < 100000; ++i)
        affiliates += Affiliate(i, i % 7);
    for (int i = 0; i < 100000; i += 1000)
        changed += Affiliate(i, 100);
    TSalesModel salesModel;
    TAffiliatesModel affiliatesModel;
    std::printf("100 new sales into 1,000,000: %.1f ms\n",
                Case(salesModel, sales + "OK", newSales + "OK", SaleFieldCount));
    std::printf("100 changed affiliates in 100,000: %.1f ms\n",
                Case(affiliatesModel, affiliates + "OK", changed + "OK", AffiliateFieldCount));
    return 0;
}
