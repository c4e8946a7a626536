#include "FMain.h"

#include "components/ClickLabel.h"
#include "components/FindEdit.h"
#include "components/BalloonHint.h"
#include "components/HtmlView.h"
#include "net/HttpClient.h"
#include "components/MessageBox.h"
#include "settings/FSettings.h"
#include "tracking/SelectionBatcher.h"
#include "tracking/TrackingClient.h"
#include "util/UUtils.h"
#include "vendor/FAbout.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QTableView>
#include <QDir>
#include <QMovie>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

TfrmMain::TfrmMain(const TAppEnvironment& env, QWidget* parent) : QWidget(parent), Env(env)
{
    setObjectName(QStringLiteral("frmMain"));
    BuildLayout();

    msgMain = new TMessageBox(this);
    LMDMessageHint1 = new TBalloonHint(this);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    Timer1->setSingleShot(true);

    IdHTTP1 = new THttpClient(this);
    IdHTTP1->setObjectName(QStringLiteral("IdHTTP1"));
    // The tracking requests set their own read time-out; the ones that may
    // come first (the start-up news and update checks) get the same, so a
    // vendor server that never answers cannot hold the window busy for ever.
    IdHTTP1->SetReadTimeout(TrackingProtocol::ReadTimeoutMs);
    Tracking = std::make_unique<TTrackingClient>(*IdHTTP1, [this] { return Settings.SiteUrl; });
    // Input to this window is looked at before it is delivered: Esc and the
    // welcome page's Enter, and what would start a second request.
    qApp->installEventFilter(this);

    ConnectHandlers();
    FormCreate();
}

TfrmMain::~TfrmMain()
{
    qApp->removeEventFilter(this);
    FormDestroy();
}

QString TfrmMain::DataFile(const QString& Name) const
{
    return QDir(Env.DataDir).filePath(Name);
}

void TfrmMain::ConnectHandlers()
{
    connect(Timer1, &QTimer::timeout, this, &TfrmMain::Timer1Timer);
    connect(IdHTTP1, &THttpClient::Progress, this, &TfrmMain::OnRequestProgress);
    connect(IdHTTP1, &THttpClient::BusyChanged, this, &TfrmMain::OnRequestBusy);

    connect(imgBanner, &TClickLabel::Clicked, this, &TfrmMain::imgBannerClick);
    connect(gifBanner, &TClickLabel::Clicked, this, &TfrmMain::gifBannerClick);
    connect(btnSimple, &QPushButton::clicked, this, &TfrmMain::btnSimpleClick);
    connect(btnMakeMoney, &QPushButton::clicked, this, &TfrmMain::btnMakeMoneyClick);
    connect(btnAbout, &QPushButton::clicked, this, &TfrmMain::btnAboutClick);
    connect(bsSkinSpeedButton2, &QToolButton::clicked, this, &TfrmMain::btnHelpClick);
    connect(btnNews, &QToolButton::clicked, this, &TfrmMain::btnNewsClick);
    connect(bsSkinSpeedButton1, &QToolButton::clicked, this, &TfrmMain::btnUpdateClick);

    const auto button = [this](const char* name, void (TfrmMain::*handler)()) {
        connect(findChild<QPushButton*>(QLatin1String(name)), &QPushButton::clicked, this, handler);
    };
    button("btnSSelectAll", &TfrmMain::btnSSelectAllClick);
    button("btnSClearAll", &TfrmMain::btnSClearAllClick);
    button("bsSkinButton2", &TfrmMain::bsSkinButton2Click);
    button("bsSkinButton3", &TfrmMain::bsSkinButton3Click);
    button("btnDeleteSeg", &TfrmMain::btnDeleteSegClick);
    button("bsSkinButton4", &TfrmMain::bsSkinButton4Click);
    button("btnRevfreshSegments", &TfrmMain::btnRevfreshSegmentsClick);
    button("bsSkinButton5", &TfrmMain::bsSkinButton5Click);
    button("bsSkinButton6", &TfrmMain::bsSkinButton6Click);
    button("bsSkinButton7", &TfrmMain::bsSkinButton7Click);
    button("bsSkinButton9", &TfrmMain::bsSkinButton9Click);
    button("bsSkinButton8", &TfrmMain::bsSkinButton8Click);
    connect(cbxQueryType, &QComboBox::currentIndexChanged, this, &TfrmMain::cbxQueryTypeChange);
    connect(btnStop, &QToolButton::clicked, this, &TfrmMain::btnStopClick);

    // What starts a request; everything else works while one is pending.
    for (const char* name : {"btnNews", "bsSkinSpeedButton1", "lvwPages", "btnSSelectAll", "bsSkinButton2",
                             "bsSkinButton3", "btnDeleteSeg", "bsSkinButton4", "btnRevfreshSegments",
                             "cbxQueryType", "bsSkinButton7", "bsSkinButton9", "bsSkinButton8"})
        RefuseWhileRequestPending(findChild<QWidget*>(QLatin1String(name)));

    // One notification per user action, however many rows it changes.
    PagesSelection = new TSelectionBatcher(lvwPages);
    connect(PagesSelection, &TSelectionBatcher::SelectionChanged, this, &TfrmMain::lvwPagesSelectItem);
}

void TfrmMain::FormCreate()
{
    gifBanner->setGeometry(imgBanner->geometry());
    LoadBrandFile();
    if (Brand.WelcomeHtml.isEmpty())
        Timer1->start();
    NewsList.clear();
    LoadConnectionSettings();
}

void TfrmMain::LoadConnectionSettings()
{
    Settings = LoadConnectionSettingsFrom(Env.DataDir);
}

bool TfrmMain::SaveConnectionSettings()
{
    const TSaveOutcome outcome = SaveConnectionSettingsTo(Env.DataDir, Settings);
    if (!outcome.Ok)
        msgMain->Notice(outcome.Message);
    return outcome.Ok;
}

void TfrmMain::btnSimpleClick()
{
    if (RunSettingsDialog(this, Settings))
        SaveConnectionSettings();
}

void TfrmMain::OnRequestProgress(qint64 Done, qint64 Total)
{
    if (Total > 0) {
        MainGauge->setRange(0, 100);
        MainGauge->setValue(int(qBound<qint64>(qint64(0), Done * 100 / Total, qint64(100))));
    } else {
        MainGauge->setRange(0, 0); // size unknown: the busy indicator
    }
}

void TfrmMain::OnRequestBusy(bool Busy)
{
    btnStop->setEnabled(Busy);
    if (Busy) {
        MainGauge->setRange(0, 0); // until the reply tells its size
        return;
    }
    MainGauge->setRange(0, 100);
    MainGauge->setValue(0);
}

void TfrmMain::RefuseWhileRequestPending(QWidget* Control)
{
    if (Control)
        RequestControls << Control;
}

bool TfrmMain::IsRefusedInput(QObject* Watched, QEvent* Event) const
{
    switch (Event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        // Leaving a control and abandoning the request stay possible.
        const int key = static_cast<QKeyEvent*>(Event)->key();
        if (key == Qt::Key_Escape || key == Qt::Key_Tab || key == Qt::Key_Backtab)
            return false;
        break;
    }
    default:
        return false;
    }
    // The lists take their input in their viewport, the Show box in its popup.
    for (const QObject* o = Watched; o && o != this; o = o->parent())
        for (const QPointer<QWidget>& control : RequestControls)
            if (control == o)
                return true;
    return false;
}

bool TfrmMain::HandleKey(QObject* Watched, QKeyEvent* Event)
{
    auto* widget = qobject_cast<QWidget*>(Watched);
    if (!widget || widget->window() != this)
        return false;
    // Esc in a find field that holds text clears it first; the next Esc
    // abandons the request.
    const bool findClears = widget == edtFind && !edtFind->text().isEmpty();
    if (Event->key() == Qt::Key_Escape && RequestPending() && !findClears) {
        btnStopClick();
        return true;
    }
    // Enter anywhere on the welcome page presses its default button, the
    // HTML view that holds the focus there included.
    const bool enter = Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter;
    if (enter && stsWelcome && pgcPrinc->currentWidget() == stsWelcome) {
        bsSkinButton1->click();
        return true;
    }
    return false;
}

void TfrmMain::btnStopClick()
{
    if (RequestPending())
        IdHTTP1->Disconnect();
}

void TfrmMain::FormShow()
{
    // Only a brand with a welcome document has a welcome page; it is made
    // here, once, so that a window without one never pays for it.
    if (!Brand.WelcomeHtml.isEmpty() && !stsWelcome)
        BuildWelcomePage();
    // Visit every page once so each is laid out, then settle on the first.
    for (int i = 0; i < pgcPrinc->count(); ++i) {
        pgcPrinc->setCurrentIndex(i);
        QApplication::processEvents();
    }
    pgcPrinc->setCurrentIndex(0);
    if (stsWelcome) {
        pgcPrinc->setCurrentWidget(stsWelcome);
        prfWelcome->WriteDocument(Brand.WelcomeHtml);
    }
    pgcPrinc->tabBar()->hide();
    pgcPrinc->setCurrentIndex(0);
    CenterBanner();
}

void TfrmMain::FormResize()
{
    CenterBanner();
}

void TfrmMain::CenterBanner()
{
    // Integer halves taken before the subtraction; a view larger than the
    // panel gets a negative position, which is applied as it is.
    const int W = panBanner->width();
    const int H = panBanner->height();
    for (QWidget* view : {static_cast<QWidget*>(imgBanner), static_cast<QWidget*>(gifBanner)})
        view->move(W / 2 - view->width() / 2, H / 2 - view->height() / 2);
}

void TfrmMain::FormClose()
{
    // A request still running fails now, like any other failed request;
    // whatever its handler would say about it is no longer shown.
    Closing = true;
    msgMain->SetQuiet(true);
    LMDMessageHint1->HideMessage();
    IdHTTP1->Disconnect();
    IdHTTP1->Disconnect();
    QApplication::processEvents();
}

void TfrmMain::FormDestroy()
{
    NewsList.clear();
}

void TfrmMain::imgBannerClick()
{
    if (!Brand.BannerURL.isEmpty())
        OpenInBrowser(Brand.BannerURL);
}

void TfrmMain::gifBannerClick()
{
    if (!Brand.BannerURL.isEmpty())
        OpenInBrowser(Brand.BannerURL);
}

void TfrmMain::btnMakeMoneyClick()
{
    OpenInBrowser(Brand.AffiliateURL);
}

void TfrmMain::btnHelpClick()
{
    OpenInBrowser(Brand.AppHelpURL);
}

void TfrmMain::btnAboutClick()
{
    RunAboutBox(this, Brand);
}

void TfrmMain::bsSkinButton1Click()
{
    pgcPrinc->setCurrentWidget(stsMain);
    if (!Brand.WelcomeHtml.isEmpty())
        Timer1->start();
}

void TfrmMain::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    if (Shown)
        return;
    Shown = true;
    if (QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    FormShow();
}

void TfrmMain::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    FormResize();
}

void TfrmMain::closeEvent(QCloseEvent* e)
{
    FormClose();
    e->accept();
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    // The banner panel gets its final width from the layout after the
    // window's own resize; centre again then.
    if (watched == panBanner && event->type() == QEvent::Resize)
        CenterBanner();
    if (lblTotalHits && watched == lblTotalHits->parentWidget() && event->type() == QEvent::Resize)
        ArrangeTotals();
    if (event->type() == QEvent::KeyPress && HandleKey(watched, static_cast<QKeyEvent*>(event)))
        return true;
    if (RequestPending() && IsRefusedInput(watched, event))
        return true;
    return QWidget::eventFilter(watched, event);
}
