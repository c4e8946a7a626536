// The main window's controls and their arrangement. Positions are those of
// the window at its design size (client area 832 by 586); the layouts and
// right anchors keep them in place when the window is resized.
#include "FMain.h"

#include "tracking/AffiliatesModel.h"
#include "tracking/ListTexts.h"
#include "tracking/SalesModel.h"

#include "components/Anchors.h"
#include "components/ClickLabel.h"
#include "components/FindEdit.h"
#include "components/HtmlView.h"
#include "components/ToolbarIcons.h"

#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int DesignWidth = 832;
constexpr int DesignHeight = 586;

const char* const DescriptionText =
    "Manage affiliates in your giveaway event. Monitor the work of your affiliates viewing the oto sales,  "
    "subscribers, visitors and unique hits. If you select one affiliate you will see  the refered sales in "
    "the lower list.  You can also choose to show direct sales that were made without affiliates and also "
    "you can show all sales.";

template <class T>
T* Named(T* w, const char* name)
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

QLabel* Label(QWidget* parent, const char* name, const QString& text, int left, int top, int width = 0)
{
    auto* l = Named(new QLabel(text, parent), name);
    l->move(left, top);
    l->adjustSize();
    // Labels whose text grows after a load get room up to their neighbour.
    if (width > 0)
        l->resize(width, l->height());
    return l;
}

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
    bsSkinButton1 = Button(panel14, "bsSkinButton1", QStringLiteral("Thanks, just show me the main application"),
                           256, 8, 265, 20);
    bsSkinButton1->setDefault(true);
    bsSkinButton1->setAutoDefault(true);
    connect(bsSkinButton1, &QPushButton::clicked, this, &TfrmMain::bsSkinButton1Click);
    pgcPrinc->insertTab(0, stsWelcome, QStringLiteral("Welcome"));
}

QWidget* TfrmMain::BuildToolbar(QWidget* page)
{
    QFrame* bar = Panel(page, "bsSkinPanel4", 43);
    bar->setGeometry(0, 0, DesignWidth, 43);
    btnSimple = Button(bar, "btnSimple", QStringLiteral("Settings"), 6, 11, 99, 20);
    btnMakeMoney = Button(bar, "btnMakeMoney", QStringLiteral("Make Money"), 108, 11, 99, 20);
    btnAbout = Button(bar, "btnAbout", QStringLiteral("About"), 211, 11, 99, 20);
    btnNews = IconButton(bar, "btnNews", QStringLiteral("Check News"), toolbaricons::News(), 693);
    bsSkinSpeedButton1 =
        IconButton(bar, "bsSkinSpeedButton1", QStringLiteral("Check Updates"), toolbaricons::Update(), 736);
    bsSkinSpeedButton2 = IconButton(bar, "bsSkinSpeedButton2", QStringLiteral("Help"), toolbaricons::Help(), 779);
    // The find field sits in the free space before the icon buttons and
    // keeps its distance to them.
    edtFind = Named(new TFindEdit(bar), "edtFind");
    edtFind->setPlaceholderText(QStringLiteral("Find affiliate"));
    edtFind->setClearButtonEnabled(true);
    edtFind->setGeometry(485, 10, 200, 22);
    new TRightAnchor(edtFind, DesignWidth);
    for (QWidget* w : {static_cast<QWidget*>(btnNews), static_cast<QWidget*>(bsSkinSpeedButton1),
                       static_cast<QWidget*>(bsSkinSpeedButton2)})
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
    panBanner->installEventFilter(this);
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
    desc->setWordWrap(true);
    descLayout->addWidget(desc);
    stack->addWidget(panel6);

    bsSkinSplitter1 = Named(new QSplitter(Qt::Vertical, work), "bsSkinSplitter1");
    bsSkinSplitter1->setHandleWidth(10);
    bsSkinSplitter1->setChildrenCollapsible(false);
    stack->addWidget(bsSkinSplitter1, 1);

    // Upper side: the affiliates with their totals and buttons.
    QFrame* panel7 = Panel(bsSkinSplitter1, "bsSkinPanel7");
    panel7->setMinimumHeight(10 + 63);
    auto* upper = Stack(panel7);
    AffiliatesModel = new TAffiliatesModel(this);
    lvwPages = ReportView(panel7, "lvwPages", AffiliatesModel, {200, 110, 110, 110, 110, 110, 90, 90});
    // The conversion rates are there for those who ask (header menu).
    lvwPages->setColumnHidden(TAffiliatesModel::colSubscribeRate, true);
    lvwPages->setColumnHidden(TAffiliatesModel::colSaleRate, true);
    upper->addWidget(lvwPages, 1);
    QFrame* panel8 = Panel(panel7, "bsSkinPanel8", 63);
    panel8->installEventFilter(this); // the totals rearrange with its width
    upper->addWidget(panel8);
    const listtexts::TAffiliateLabels start = listtexts::AffiliateLabelsAtStart();
    lblTotalHits = Label(panel8, "lblTotalHits", start.TotalHits, 7, 8, 300);
    lblOTOSales = Label(panel8, "lblOTOSales", start.OtoSales, 315, 8, 108);
    lblSubscribers = Label(panel8, "lblSubscribers", start.Subscribers, 426, 8, 106);
    lblVisitors = Label(panel8, "lblVisitors", start.Visitors, 535, 8, 110);
    lblUniqueHits = Label(panel8, "lblUniqueHits", start.UniqueHits, 648, 8, 180);
    Button(panel8, "btnSSelectAll", QStringLiteral("Select All"), 4, 30, 96, 25);
    Button(panel8, "btnSClearAll", QStringLiteral("Clear Selection"), 104, 30, 96, 25);
    Button(panel8, "bsSkinButton2", QStringLiteral("Add "), 205, 30, 96, 25);
    Button(panel8, "bsSkinButton3", QStringLiteral("Edit"), 306, 30, 96, 25);
    Button(panel8, "btnDeleteSeg", QStringLiteral("Delete"), 406, 30, 96, 25);
    Button(panel8, "bsSkinButton4", QStringLiteral("Delete All"), 507, 30, 96, 25);
    Button(panel8, "btnRevfreshSegments", QStringLiteral("Refresh"), 608, 30, 96, 25);

    // Lower side: the Show box, the sales and their buttons.
    QFrame* lower = Panel(bsSkinSplitter1, "panSales");
    lower->setMinimumHeight(35 + 46 + 20);
    auto* lowerStack = Stack(lower);
    QFrame* panel2 = Panel(lower, "bsSkinPanel2", 35);
    lowerStack->addWidget(panel2);
    Label(panel2, "lblShow", QStringLiteral("Show"), 8, 10);
    cbxQueryType = Named(new QComboBox(panel2), "cbxQueryType");
    cbxQueryType->setEditable(false);
    cbxQueryType->addItems({QStringLiteral("Only sales of selected affiliates"), QStringLiteral("All affiliates sales"),
                            QStringLiteral("All no affiliates sales"), QStringLiteral("All sales")});
    cbxQueryType->setCurrentIndex(0);
    cbxQueryType->setGeometry(48, 6, 201, 22);
    SalesModel = new TSalesModel(this);
    lvwReferers = ReportView(lower, "lvwReferers", SalesModel, {350, 150});
    lowerStack->addWidget(lvwReferers, 1);
    QFrame* panel9 = Panel(lower, "bsSkinPanel9", 46);
    panel9->setGeometry(0, 0, DesignWidth, 46);
    lowerStack->addWidget(panel9);
    Button(panel9, "bsSkinButton5", QStringLiteral("Select All"), 4, 10, 96, 25);
    Button(panel9, "bsSkinButton6", QStringLiteral("Clear Selection"), 104, 10, 96, 25);
    Button(panel9, "bsSkinButton7", QStringLiteral("Delete"), 204, 10, 96, 25);
    Button(panel9, "bsSkinButton9", QStringLiteral("Delete All"), 305, 10, 96, 25);
    Button(panel9, "bsSkinButton8", QStringLiteral("Refresh"), 406, 10, 96, 25);
    lblRefersHits = Named(new QLabel(QStringLiteral("Total: 0 sales"), panel9), "lblRefersHits");
    lblRefersHits->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblRefersHits->setGeometry(DesignWidth - 10 - 220, 14, 220, 17);
    new TRightAnchor(lblRefersHits, DesignWidth);

    // The affiliates keep their height; the sales take what is left.
    bsSkinSplitter1->setStretchFactor(0, 0);
    bsSkinSplitter1->setStretchFactor(1, 1);
    bsSkinSplitter1->setSizes({187, 586 - 43 - 65 - 41 - 10 - 187 - 36 - 17});
    return work;
}

QWidget* TfrmMain::BuildLinks(QWidget* page)
{
    panLinks = Panel(page, "panLinks", 36);
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
    QFrame* bar = Panel(page, "bsSkinStatusBar1", 17);
    auto* l = new QHBoxLayout(bar);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(2);
    MainStatusPanel = Named(new QLabel(bar), "MainStatusPanel");
    MainStatusPanel->setFrameShape(QFrame::StyledPanel);
    MainStatusPanel->setFrameShadow(QFrame::Sunken);
    l->addWidget(MainStatusPanel, 1);
    MainGauge = Named(new QProgressBar(bar), "MainGauge");
    MainGauge->setRange(0, 100);
    MainGauge->setValue(0);
    MainGauge->setTextVisible(true);
    MainGauge->setFixedWidth(130);
    l->addWidget(MainGauge);
    // Beside the gauge: abandons the pending request (as Esc does).
    btnStop = Named(new QToolButton(bar), "btnStop");
    btnStop->setIcon(style()->standardIcon(QStyle::SP_BrowserStop));
    btnStop->setIconSize(QSize(11, 11));
    btnStop->setFixedSize(17, 17);
    btnStop->setAutoRaise(true);
    btnStop->setToolTip(QStringLiteral("Stop (Esc)"));
    btnStop->setEnabled(false);
    l->addWidget(btnStop);
    return bar;
}
