// The main window's controls and their arrangement. Positions are those of
// the window at its design size (client area 832 by 586); the layouts and
// right anchors keep them in place when the window is resized.
#include "FMain.h"
#include "components/Anchors.h"
#include "components/BuiltinStyle.h"
#include "components/ClickLabel.h"
#include "components/FindEdit.h"
#include "components/HtmlView.h"
#include "components/MarkDelegate.h"
#include "components/ToolbarIcons.h"
#include "tracking/AffiliatesModel.h"
#include "tracking/ListTexts.h"
#include "tracking/SalesModel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace
{

constexpr int DesignWidth = 832;
constexpr int DesignHeight = 586;

const char* const DescriptionText =
    "Manage affiliates in your giveaway event. Monitor the work of your affiliates viewing the oto sales,  "
    "subscribers, visitors and unique hits. If you select one affiliate you will see  the refered sales in "
    "the lower list.  You can also choose to show direct sales that were made without affiliates and also "
    "you can show all sales.";

template <class T> T* Named(T* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QFrame* Panel(QWidget* parent, const char* name, int height = -1)
{
    auto* p = Named(new QFrame(parent), name);
    if (height >= 0)
        p->setFixedHeight(height);
    return p;
}

QVBoxLayout* Stack(QWidget* w)
{
    auto* l = new QVBoxLayout(w);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);
    return l;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, int left, int top, int width,
                    int height)
{
    auto* b = Named(new QPushButton(caption, parent), name);
    b->setGeometry(left, top, width, height);
    return b;
}

QLabel* Label(QWidget* parent, const char* name, const QString& text, int left, int top)
{
    auto* l = Named(new QLabel(text, parent), name);
    l->move(left, top);
    l->adjustSize();
    return l;
}

// The totals line under the affiliates list: where each label stands at the
// design size, and the room it has up to its neighbour. ArrangeTotals is the
// only place that positions them.
struct TTotalSlot {
    int Left;
    int Width;
};
constexpr TTotalSlot TotalSlots[] = {{7, 300}, {315, 108}, {426, 106}, {535, 110}, {648, 180}};
constexpr int TotalsTop = 8;
constexpr int TotalsGap = 6;
constexpr int TotalsPanelHeight = 63;
constexpr int AffiliateButtonsTop = 30;

QToolButton* IconButton(QWidget* parent, const char* name, const QString& hint, const QIcon& icon, int left)
{
    auto* b = Named(new QToolButton(parent), name);
    b->setGeometry(left, 4, 41, 34);
    b->setToolTip(hint);
    b->setIcon(icon);
    b->setIconSize(QSize(22, 22));
    b->setAutoRaise(true);
    return b;
}

// Both lists: report view, whole rows, several rows at once, grid lines,
// read-only, rows 20 high, headers that can be dragged, a sort indicator,
// selected rows light grey with dark blue text.
// The models name their own columns; the view gives them their widths.
// The header keeps the height its text needs (18 pixels with the built-in
// look) rather than 13: the program's font is 14 pixels high, and a 13 pixel
// header would cut every caption.
QTableView* ReportView(QWidget* parent, const char* name, QAbstractItemModel* model, const QList<int>& widths)
{
    auto* v = Named(new QTableView(parent), name);
    v->setModel(model);
    v->setSelectionBehavior(QAbstractItemView::SelectRows);
    v->setSelectionMode(QAbstractItemView::ExtendedSelection);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->setShowGrid(true);
    v->setWordWrap(false);
    v->setCornerButtonEnabled(false);
    // Tab leaves the list for the next control instead of moving its
    // current cell, so the keyboard goes through the window in reading
    // order (and a Tab never changes which rows are selected).
    v->setTabKeyNavigation(false);
    v->verticalHeader()->hide();
    v->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    v->verticalHeader()->setDefaultSectionSize(20);
    QHeaderView* h = v->horizontalHeader();
    h->setSectionsMovable(true);
    h->setSortIndicatorShown(true);
    h->setSortIndicator(-1, Qt::AscendingOrder);
    h->setHighlightSections(false);
    h->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    h->setStretchLastSection(false);
    for (int i = 0; i < widths.size(); ++i)
        v->setColumnWidth(i, widths[i]);
    // Header clicks sort through the model; the indicator starts unset,
    // which keeps the rows in the order of their names.
    v->setSortingEnabled(true);
    h->setSortIndicator(-1, Qt::AscendingOrder);
    QPalette pal = v->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::Highlight, QColor(233, 233, 233));
        pal.setColor(group, QPalette::HighlightedText, QColor(0, 0, 160));
    }
    v->setPalette(pal);
    // What a live refresh brought or changed stands out for a moment.
    v->setItemDelegate(new TMarkDelegate(TRecordListModel::MarkRole, v));
    return v;
}

} // namespace

void TfrmMain::BuildLayout()
{
    setWindowTitle(QStringLiteral("Tallyfair"));
    resize(DesignWidth, DesignHeight);

    auto* root = Stack(this);
    pgcPrinc = Named(new QTabWidget(this), "pgcPrinc");
    pgcPrinc->setDocumentMode(true);
    root->addWidget(pgcPrinc);

    // The main page; a welcome page may come before it (BuildWelcomePage).
    stsMain = Named(new QWidget, "stsMain");
    auto* main = Stack(stsMain);
    main->addWidget(BuildToolbar(stsMain));
    main->addWidget(BuildBanner(stsMain));
    main->addWidget(BuildWorkArea(stsMain), 1);
    main->addWidget(BuildLinks(stsMain));
    main->addWidget(BuildStatusBar(stsMain));
    pgcPrinc->addTab(stsMain, QStringLiteral("Main"));
    SetTabOrder();
    BuildTools();
}

void TfrmMain::BuildWelcomePage()
{
    stsWelcome = Named(new QWidget, "stsWelcome");
    auto* welcome = Stack(stsWelcome);
    prfWelcome = Named(new THtmlView(stsWelcome), "prfWelcome");
    welcome->addWidget(prfWelcome, 1);
    QFrame* panel14 = Panel(stsWelcome, "bsSkinPanel14", 39);
    welcome->addWidget(panel14);
    bsSkinButton1 = Button(panel14, "bsSkinButton1",
                           QStringLiteral("Thanks, just show me the main application"), 256, 8, 265, 20);
    bsSkinButton1->setDefault(true);
    bsSkinButton1->setAutoDefault(true);
    connect(bsSkinButton1, &QPushButton::clicked, this, &TfrmMain::bsSkinButton1Click);
    pgcPrinc->insertTab(0, stsWelcome, QStringLiteral("Welcome"));
}

QWidget* TfrmMain::BuildToolbar(QWidget* page)
{
    bsSkinPanel4 = Panel(page, "bsSkinPanel4", 43);
    SetLook(bsSkinPanel4, TLook::ToolBar);
    bsSkinPanel4->setGeometry(0, 0, DesignWidth, 43);
    QFrame* bar = bsSkinPanel4;
    btnSimple = Button(bar, "btnSimple", QStringLiteral("Settings"), 6, 11, 99, 20);
    btnMakeMoney = Button(bar, "btnMakeMoney", QStringLiteral("Make Money"), 108, 11, 99, 20);
    btnAbout = Button(bar, "btnAbout", QStringLiteral("About"), 211, 11, 99, 20);
    // The find field sits in the free space before the icon buttons and
    // keeps its distance to them.
    edtFind = Named(new TFindEdit(bar), "edtFind");
    edtFind->setPlaceholderText(QStringLiteral("Find affiliate"));
    edtFind->setClearButtonEnabled(true);
    edtFind->setGeometry(485, 10, 200, 22);
    btnNews = IconButton(bar, "btnNews", QStringLiteral("Check News"), toolbaricons::News(), 693);
    bsSkinSpeedButton1 =
        IconButton(bar, "bsSkinSpeedButton1", QStringLiteral("Check Updates"), toolbaricons::Update(), 736);
    bsSkinSpeedButton2 =
        IconButton(bar, "bsSkinSpeedButton2", QStringLiteral("Help"), toolbaricons::Help(), 779);
    for (QWidget* w :
         std::initializer_list<QWidget*>{edtFind, btnNews, bsSkinSpeedButton1, bsSkinSpeedButton2})
        new TRightAnchor(w, DesignWidth);
    return bar;
}

QWidget* TfrmMain::BuildBanner(QWidget* page)
{
    panBanner = Panel(page, "panBanner", 65);
    panBanner->setGeometry(0, 43, DesignWidth, 65);
    imgBanner = Named(new TClickLabel(panBanner), "imgBanner");
    imgBanner->setGeometry(363, -20, 105, 105);
    gifBanner = Named(new TClickLabel(panBanner), "gifBanner");
    // The panel gets its final width from the layout after the window's own
    // resize; centre again then.
    OnResize(panBanner, [this] { CenterBanner(); });
    return panBanner;
}

QWidget* TfrmMain::BuildWorkArea(QWidget* page)
{
    QFrame* work = Panel(page, "bsSkinPanel1");
    auto* stack = Stack(work);

    QFrame* panel6 = Panel(work, "bsSkinPanel6", 41);
    auto* descLayout = Stack(panel6);
    descLayout->setContentsMargins(8, 1, 8, 1);
    auto* desc = Named(new QLabel(QString::fromLatin1(DescriptionText), panel6), "bsSkinStdLabel3");
    SetLook(desc, TLook::Description);
    desc->setWordWrap(true);
    descLayout->addWidget(desc);
    stack->addWidget(panel6);

    bsSkinSplitter1 = Named(new QSplitter(Qt::Vertical, work), "bsSkinSplitter1");
    bsSkinSplitter1->setHandleWidth(10);
    bsSkinSplitter1->setChildrenCollapsible(false);
    stack->addWidget(bsSkinSplitter1, 1);
    BuildAffiliatesPanel(bsSkinSplitter1);
    BuildSalesPanel(bsSkinSplitter1);
    // The affiliates keep their height; the sales take what is left.
    bsSkinSplitter1->setStretchFactor(0, 0);
    bsSkinSplitter1->setStretchFactor(1, 1);
    bsSkinSplitter1->setSizes({187, DesignHeight - 43 - 65 - 41 - 10 - 187 - 36 - 17});
    return work;
}

// Upper side of the splitter: the affiliates with their totals and buttons.
QWidget* TfrmMain::BuildAffiliatesPanel(QWidget* parent)
{
    QFrame* panel7 = Panel(parent, "bsSkinPanel7");
    // The splitter stops where a list row and the totals and buttons below
    // it still show whole, not at 10 pixels: a pane that small would cut
    // the buttons the panel carries in half.
    panel7->setMinimumHeight(10 + TotalsPanelHeight);
    auto* upper = Stack(panel7);
    AffiliatesModel = new TAffiliatesModel(this);
    lvwPages = ReportView(panel7, "lvwPages", AffiliatesModel, {200, 110, 110, 110, 110, 110, 90, 90});
    // The conversion rates are there for those who ask (header menu).
    lvwPages->setColumnHidden(TAffiliatesModel::colSubscribeRate, true);
    lvwPages->setColumnHidden(TAffiliatesModel::colSaleRate, true);
    upper->addWidget(lvwPages, 1);
    bsSkinPanel8 = Panel(panel7, "bsSkinPanel8", TotalsPanelHeight);
    upper->addWidget(bsSkinPanel8);
    AffiliateLabels = listtexts::AffiliateLabelsAtStart();
    lblTotalHits = Named(new QLabel(AffiliateLabels.TotalHits, bsSkinPanel8), "lblTotalHits");
    lblOTOSales = Named(new QLabel(AffiliateLabels.OtoSales, bsSkinPanel8), "lblOTOSales");
    lblSubscribers = Named(new QLabel(AffiliateLabels.Subscribers, bsSkinPanel8), "lblSubscribers");
    lblVisitors = Named(new QLabel(AffiliateLabels.Visitors, bsSkinPanel8), "lblVisitors");
    lblUniqueHits = Named(new QLabel(AffiliateLabels.UniqueHits, bsSkinPanel8), "lblUniqueHits");
    SetLook(lblTotalHits, TLook::Total);
    constexpr int top = AffiliateButtonsTop;
    btnSSelectAll = Button(bsSkinPanel8, "btnSSelectAll", QStringLiteral("Select All"), 4, top, 96, 25);
    btnSClearAll = Button(bsSkinPanel8, "btnSClearAll", QStringLiteral("Clear Selection"), 104, top, 96, 25);
    bsSkinButton2 = Button(bsSkinPanel8, "bsSkinButton2", QStringLiteral("Add "), 205, top, 96, 25);
    bsSkinButton3 = Button(bsSkinPanel8, "bsSkinButton3", QStringLiteral("Edit"), 306, top, 96, 25);
    btnDeleteSeg = Button(bsSkinPanel8, "btnDeleteSeg", QStringLiteral("Delete"), 406, top, 96, 25);
    bsSkinButton4 = Button(bsSkinPanel8, "bsSkinButton4", QStringLiteral("Delete All"), 507, top, 96, 25);
    btnRevfreshSegments =
        Button(bsSkinPanel8, "btnRevfreshSegments", QStringLiteral("Refresh"), 608, top, 96, 25);
    BuildLiveControls();
    // The totals rearrange with the panel's width.
    OnResize(bsSkinPanel8, [this] { ArrangeTotals(); });
    ArrangeTotals();
    return panel7;
}

// Live mode beside the affiliates' Refresh: the toggle, its period in
// seconds (typed, or stepped with the arrow keys and the wheel; the box has
// no room for buttons), and the bell that asks for desktop notices.
void TfrmMain::BuildLiveControls()
{
    constexpr int top = AffiliateButtonsTop;
    chkLive = Named(new QCheckBox(QStringLiteral("Live"), bsSkinPanel8), "chkLive");
    chkLive->setGeometry(708, top + 2, 46, 21);
    chkLive->setToolTip(QStringLiteral("Refresh both lists every few seconds"));
    spnLiveSeconds = Named(new QSpinBox(bsSkinPanel8), "spnLiveSeconds");
    spnLiveSeconds->setRange(LiveMinSeconds, LiveMaxSeconds);
    spnLiveSeconds->setValue(LiveDefaultSeconds);
    spnLiveSeconds->setButtonSymbols(QAbstractSpinBox::NoButtons);
    spnLiveSeconds->setAlignment(Qt::AlignRight);
    spnLiveSeconds->setGeometry(752, top + 2, 32, 21);
    spnLiveSeconds->setToolTip(QStringLiteral("Seconds between live refreshes"));
    spnLiveSeconds->setAccessibleName(QStringLiteral("Live refresh seconds"));
    chkNotify = Named(new QCheckBox(bsSkinPanel8), "chkNotify");
    chkNotify->setIcon(toolbaricons::Bell());
    chkNotify->setIconSize(QSize(16, 16));
    chkNotify->setGeometry(788, top + 2, 40, 21);
    chkNotify->setToolTip(QStringLiteral("Notify me of new sales while the window is in the background"));
    chkNotify->setAccessibleName(QStringLiteral("Notify of new sales"));
}

void TfrmMain::ArrangeTotals()
{
    // The design positions while the texts fit. A text that would run into
    // its neighbour pushes the rest to the right; one that would pass the
    // panel's edge starts a row below, and the panel grows (its buttons
    // moving down) until every total up to the 64-bit ends shows whole.
    QLabel* const labels[] = {lblTotalHits, lblOTOSales, lblSubscribers, lblVisitors, lblUniqueHits};
    const int panelWidth = bsSkinPanel8->width();
    const int rowHeight = lblTotalHits->sizeHint().height() + 2;
    int row = 0, next = 0;
    for (int i = 0; i < 5; ++i) {
        const QSize hint = labels[i]->sizeHint();
        const int width = qMax(TotalSlots[i].Width, hint.width());
        int left = row == 0 ? qMax(TotalSlots[i].Left, next) : next;
        if (i > 0 && left + hint.width() > panelWidth) {
            ++row;
            left = TotalSlots[0].Left;
        }
        labels[i]->setGeometry(left, TotalsTop + row * rowHeight, qMin(width, qMax(0, panelWidth - left)),
                               hint.height());
        next = left + hint.width() + TotalsGap;
    }
    const int extra = row * rowHeight;
    bsSkinPanel8->setFixedHeight(TotalsPanelHeight + extra);
    for (QPushButton* button : {btnSSelectAll, btnSClearAll, bsSkinButton2, bsSkinButton3, btnDeleteSeg,
                                bsSkinButton4, btnRevfreshSegments})
        button->move(button->x(), AffiliateButtonsTop + extra);
    for (QWidget* live : std::initializer_list<QWidget*>{chkLive, spnLiveSeconds, chkNotify})
        live->move(live->x(), AffiliateButtonsTop + 2 + extra);
}

// Lower side of the splitter: the Show box, the sales and their buttons.
QWidget* TfrmMain::BuildSalesPanel(QWidget* parent)
{
    QFrame* lower = Panel(parent, "panSales");
    // As for the affiliates: the Show box, one row and the buttons stay whole.
    lower->setMinimumHeight(35 + 46 + 20);
    auto* lowerStack = Stack(lower);
    QFrame* panel2 = Panel(lower, "bsSkinPanel2", 35);
    lowerStack->addWidget(panel2);
    Label(panel2, "lblShow", QStringLiteral("Show"), 8, 10);
    cbxQueryType = Named(new QComboBox(panel2), "cbxQueryType");
    cbxQueryType->setEditable(false);
    cbxQueryType->addItems({QStringLiteral("Only sales of selected affiliates"),
                            QStringLiteral("All affiliates sales"), QStringLiteral("All no affiliates sales"),
                            QStringLiteral("All sales")});
    cbxQueryType->setCurrentIndex(0);
    cbxQueryType->setGeometry(48, 6, 201, 22);
    BuildRangeBox(panel2);
    SalesModel = new TSalesModel(this);
    lvwReferers = ReportView(lower, "lvwReferers", SalesModel, {350, 150});
    lowerStack->addWidget(lvwReferers, 1);
    QFrame* panel9 = Panel(lower, "bsSkinPanel9", 46);
    panel9->setGeometry(0, 0, DesignWidth, 46);
    lowerStack->addWidget(panel9);
    bsSkinButton5 = Button(panel9, "bsSkinButton5", QStringLiteral("Select All"), 4, 10, 96, 25);
    bsSkinButton6 = Button(panel9, "bsSkinButton6", QStringLiteral("Clear Selection"), 104, 10, 96, 25);
    bsSkinButton7 = Button(panel9, "bsSkinButton7", QStringLiteral("Delete"), 204, 10, 96, 25);
    bsSkinButton9 = Button(panel9, "bsSkinButton9", QStringLiteral("Delete All"), 305, 10, 96, 25);
    bsSkinButton8 = Button(panel9, "bsSkinButton8", QStringLiteral("Refresh"), 406, 10, 96, 25);
    lblRefersHits = Named(new QLabel(listtexts::SalesAtStart(), panel9), "lblRefersHits");
    SetLook(lblRefersHits, TLook::Total);
    lblRefersHits->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblRefersHits->setGeometry(DesignWidth - 10 - 220, 14, 220, 17);
    new TRightAnchor(lblRefersHits, DesignWidth);
    return lower;
}

QWidget* TfrmMain::BuildLinks(QWidget* page)
{
    panLinks = Panel(page, "panLinks", 36);
    SetLook(panLinks, TLook::LinksBar);
    panLinks->setGeometry(0, 0, DesignWidth, 36);
    lblLink1URL = Named(new TLinkLabel(panLinks), "lblLink1URL");
    lblLink1URL->setText(QStringLiteral("Google"));
    lblLink1URL->setGeometry(13, 10, 380, 17);
    lblLink2URL = Named(new TLinkLabel(panLinks), "lblLink2URL");
    lblLink2URL->setText(QStringLiteral("Google"));
    lblLink2URL->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblLink2URL->setGeometry(DesignWidth - 13 - 380, 10, 380, 17);
    new TRightAnchor(lblLink2URL, DesignWidth);
    return panLinks;
}

QWidget* TfrmMain::BuildStatusBar(QWidget* page)
{
    bsSkinStatusBar1 = Panel(page, "bsSkinStatusBar1", 17);
    SetLook(bsSkinStatusBar1, TLook::StatusBar);
    auto* l = new QHBoxLayout(bsSkinStatusBar1);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(2);
    MainStatusPanel = Named(new QLabel(bsSkinStatusBar1), "MainStatusPanel");
    SetLook(MainStatusPanel, TLook::StatusText);
    MainStatusPanel->setFrameShape(QFrame::StyledPanel);
    MainStatusPanel->setFrameShadow(QFrame::Sunken);
    l->addWidget(MainStatusPanel, 1);
    // Before the gauge, which keeps the bar's right edge: abandons the
    // pending request (as Esc does).
    btnStop = Named(new QToolButton(bsSkinStatusBar1), "btnStop");
    btnStop->setIcon(style()->standardIcon(QStyle::SP_BrowserStop));
    btnStop->setIconSize(QSize(11, 11));
    btnStop->setFixedSize(17, 17);
    btnStop->setAutoRaise(true);
    btnStop->setToolTip(QStringLiteral("Stop (Esc)"));
    btnStop->setEnabled(false);
    l->addWidget(btnStop);
    MainGauge = Named(new QProgressBar(bsSkinStatusBar1), "MainGauge");
    MainGauge->setRange(0, 100);
    MainGauge->setValue(0);
    MainGauge->setTextVisible(true);
    MainGauge->setFixedSize(130, 17);
    l->addWidget(MainGauge);
    return bsSkinStatusBar1;
}

void TfrmMain::SetTabOrder()
{
    // Reading order: the toolbar left to right, the affiliates and their
    // buttons, the Show box, the sales and their buttons, the stop button.
    const QList<QWidget*> order{
        btnSimple,          btnMakeMoney,       btnAbout,      edtFind,       btnNews,
        bsSkinSpeedButton1, bsSkinSpeedButton2, lvwPages,      btnSSelectAll, btnSClearAll,
        bsSkinButton2,      bsSkinButton3,      btnDeleteSeg,  bsSkinButton4, btnRevfreshSegments,
        cbxQueryType,       lvwReferers,        bsSkinButton5, bsSkinButton6, bsSkinButton7,
        bsSkinButton9,      bsSkinButton8,      btnStop};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    // Live and its two companions come after the affiliates' Refresh.
    setTabOrder(btnRevfreshSegments, chkLive);
    setTabOrder(chkLive, spnLiveSeconds);
    setTabOrder(spnLiveSeconds, chkNotify);
    setTabOrder(chkNotify, cbxQueryType);
    // The range box and the trend follow the Show box.
    setTabOrder(cbxQueryType, cbxRange);
    setTabOrder(cbxRange, btnTrend);
    setTabOrder(btnTrend, lvwReferers);
}

// The range box on the Show row, with the days it stands for and the trend
// button at the row's right end. Hidden until the site says it keeps the
// history (ApplySiteExtensions).
QWidget* TfrmMain::BuildRangeBox(QWidget* Row)
{
    lblRange = Label(Row, "lblRange", QStringLiteral("Range"), 262, 10);
    cbxRange = Named(new QComboBox(Row), "cbxRange");
    cbxRange->setEditable(false);
    cbxRange->addItems(daterange::RangeNames());
    cbxRange->setCurrentIndex(daterange::rkAnyTime);
    cbxRange->setGeometry(304, 6, 120, 22);
    cbxRange->setToolTip(
        QStringLiteral("Days in your time zone; the sales and the affiliates' figures follow"));
    lblRangeDays = Named(new QLabel(Row), "lblRangeDays");
    lblRangeDays->setGeometry(432, 6, 230, 22);
    btnTrend = Button(Row, "btnTrend", QStringLiteral("Trend…"), DesignWidth - 10 - 96, 5, 96, 25);
    btnTrend->setToolTip(QStringLiteral("Visitors, unique hits, subscribers and OTO sales over the range"));
    new TRightAnchor(btnTrend, DesignWidth);
    for (QWidget* w : std::initializer_list<QWidget*>{lblRange, cbxRange, lblRangeDays, btnTrend})
        w->hide();
    return cbxRange;
}
