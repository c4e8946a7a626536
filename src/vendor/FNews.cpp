#include "FNews.h"

#include "components/HtmlView.h"
#include "components/MessageBox.h"
#include "components/RequestGuard.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace
{
constexpr int ClientWidth = 682;
constexpr int ClientHeight = 411;
constexpr int TopPanelHeight = 105;
constexpr int SplitterHeight = 10;
constexpr int SplitterMinimum = 10;
constexpr int BottomPanelHeight = 41;
constexpr int PublishedWidth = 160;
} // namespace

TfrmNews::TfrmNews(const TNewsList& newsList, const TBrandRecord& brand, TMessageBox& msg,
                   TNewsWindowServices services, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint),
      NewsList(newsList), Brand(brand), Msg(msg), Services(std::move(services))
{
    setObjectName(QStringLiteral("frmNews"));
    setWindowTitle(QStringLiteral("News"));
    CreateControls();
    resize(ClientWidth, ClientHeight);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

TfrmNews::~TfrmNews() = default;

void TfrmNews::CreateControls()
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    Splitter1 = new QSplitter(Qt::Vertical, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(SplitterHeight);
    Splitter1->setChildrenCollapsible(false);
    column->addWidget(Splitter1, 1);

    panTop = new QFrame(Splitter1);
    panTop->setObjectName(QStringLiteral("panTop"));
    panTop->setMinimumHeight(SplitterMinimum);
    auto* fill = new QHBoxLayout(panTop);
    fill->setContentsMargins(0, 0, 0, 0);

    lvwItems = new QTreeWidget(panTop);
    lvwItems->setObjectName(QStringLiteral("lvwItems"));
    lvwItems->setColumnCount(2);
    lvwItems->setHeaderLabels({QStringLiteral("News Title"), QStringLiteral("Published")});
    lvwItems->setRootIsDecorated(false);
    lvwItems->setItemsExpandable(false);
    lvwItems->setUniformRowHeights(true);
    lvwItems->setAllColumnsShowFocus(true);
    lvwItems->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwItems->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwItems->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwItems->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    lvwItems->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QHeaderView* header = lvwItems->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::Fixed);
    header->resizeSection(1, PublishedWidth);
    // The row being read stays marked while the user scrolls its body.
    QPalette palette = lvwItems->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    lvwItems->setPalette(palette);
    // While a body loads, clicks, drags and keys leave the list as it is, so
    // that the row marked is the one whose body is coming. Esc and Close
    // still end the window.
    Guard = std::make_unique<TRequestGuard>([this] { return !lvwItemsChanging(); }, nullptr);
    Guard->Protect(lvwItems);
    fill->addWidget(lvwItems);
    connect(lvwItems, &QTreeWidget::itemSelectionChanged, this, &TfrmNews::lvwItemsChange);

    prfEditorNews = new THtmlView(Splitter1);
    prfEditorNews->setObjectName(QStringLiteral("prfEditorNews"));
    prfEditorNews->setMinimumHeight(SplitterMinimum);

    // Only the body grows with the window; the list keeps its height.
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({TopPanelHeight, ClientHeight - TopPanelHeight - SplitterHeight - BottomPanelHeight});

    panBottom = new QFrame(this);
    panBottom->setObjectName(QStringLiteral("panBottom"));
    panBottom->setFixedHeight(BottomPanelHeight);
    column->addWidget(panBottom);
    auto* row = new QHBoxLayout(panBottom);
    row->setContentsMargins(0, 0, 0, 0);

    btnExit = new QPushButton(QStringLiteral("Close"), panBottom);
    btnExit->setObjectName(QStringLiteral("btnExit"));
    btnExit->setFixedSize(75, 25);
    btnExit->setAutoDefault(false);
    // Stretch on both sides keeps the button in the middle at any width.
    row->addStretch(1);
    row->addWidget(btnExit, 0, Qt::AlignVCenter);
    row->addStretch(1);
    connect(btnExit, &QPushButton::clicked, this, &TfrmNews::btnExitClick);
}

void TfrmNews::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A window restored from the task bar is shown again by the system;
    // only the opening fills the list.
    if (!event->spontaneous())
        FormShow();
}

void TfrmNews::FormShow()
{
    ClosedDuringFetch = false;
    lvwItems->clear();
    for (const QString& entry : NewsList) {
        const TNewsItem news = SplitNewsItem(entry);
        auto* item = new QTreeWidgetItem({news.Title, news.Published});
        item->setData(0, NewsIdRole, news.Id);
        lvwItems->addTopLevelItem(item);
    }
    lvwItems->clearSelection();
    lvwItems->setCurrentItem(nullptr, 0, QItemSelectionModel::NoUpdate);
}

bool TfrmNews::lvwItemsChanging() const
{
    return !Busy;
}

void TfrmNews::lvwItemsChange()
{
    const QList<QTreeWidgetItem*> selected = lvwItems->selectedItems();
    if (selected.isEmpty() || Guard->Pending())
        return;
    const QString newsId = selected.first()->data(0, NewsIdRole).toString();
    const std::optional<TNewsTier> tier = SelectNewsTier(Brand);
    if (!tier)
        return;

    QPointer<TfrmNews> alive(this);
    Busy = true;
    SetWaitCursor(true);
    QByteArray body;
    const bool fetched =
        FetchNewsDetails(tier->PublID, Brand.BranderCode, tier->Code, NewsTargetUA, newsId, body);
    if (!alive)
        return;
    // A window closed while the body was on its way shows nothing more and
    // records nothing: the user never saw that item.
    if (fetched && !ClosedDuringFetch) {
        prfEditorNews->WriteDocument(QString::fromLocal8Bit(body));
        if (Services.SaveLastNewsId)
            Services.SaveLastNewsId(newsId);
    }
    SetWaitCursor(false);
    Busy = false;
}

bool TfrmNews::FetchNewsDetails(const QString& PublID, const QString& ProdCode, const QString& ProdType,
                                const QString& NewsTarget, const QString& NewsId, QByteArray& Body)
{
    Body.clear();
    const QString url = NewsScriptURL(NewsBaseURLForCode(Brand, ProdType), NewsDetailsScript);
    QByteArray raw;
    // No address is a failed request like any other; there is nothing to post to.
    const bool posted =
        !url.isEmpty() && Services.PostForm &&
        Services.PostForm(url, NewsDetailsFields(PublID, ProdCode, ProdType, NewsTarget, NewsId), raw);
    if (!posted)
        raw.clear();
    const QByteArray reply = TrimNewsReply(raw);
    if (IsNewsSuccess(reply)) {
        Body = ParseNewsDetailsReply(reply);
        return true;
    }
    const QString message = NewsFailureMessage(reply, TNewsRequest::NewsDetails);
    if (!message.isEmpty() && !ClosedDuringFetch)
        Msg.Notice(message, TMsgKind::Warning);
    return false;
}

void TfrmNews::btnExitClick()
{
    accept();
}

void TfrmNews::done(int r)
{
    if (Busy && !ClosedDuringFetch) {
        ClosedDuringFetch = true;
        if (Services.AbortRequest)
            Services.AbortRequest();
    }
    QDialog::done(r);
}

void TfrmNews::SetWaitCursor(bool Waiting)
{
    for (QWidget* w : {static_cast<QWidget*>(lvwItems), static_cast<QWidget*>(prfEditorNews),
                       static_cast<QWidget*>(this)}) {
        if (Waiting)
            w->setCursor(Qt::WaitCursor);
        else
            w->unsetCursor();
    }
}

void RunNewsWindow(QWidget* Parent, const TNewsList& NewsList, const TBrandRecord& Brand, TMessageBox& Msg,
                   TNewsWindowServices Services)
{
    TfrmNews news(NewsList, Brand, Msg, std::move(Services), Parent);
    news.exec();
}
