#include "FMain.h"

#include "components/BalloonHint.h"
#include "components/ClickLabel.h"
#include "components/DesktopNotifier.h"
#include "components/FindEdit.h"
#include "components/FocusReturn.h"
#include "components/HtmlView.h"
#include "components/MessageBox.h"
#include "components/RequestGuard.h"
#include "components/WindowKeys.h"
#include "net/HttpClient.h"
#include "settings/FSettings.h"
#include "tracking/SelectionBatcher.h"
#include "tracking/TrackingClient.h"
#include "util/UUtils.h"
#include "vendor/FAbout.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMovie>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
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
    IdHTTP1->SetReadTimeout(Env.ReadTimeoutMs);
    Tracking = std::make_unique<TTrackingClient>(*IdHTTP1, [this] { return Settings.SiteUrl; });
    Tracking->SetReadTimeout(Env.ReadTimeoutMs);
    Guard = new TRequestGuard(*IdHTTP1, this);
    LiveTimer = new QTimer(this);
    LiveTimer->setObjectName(QStringLiteral("LiveTimer"));
    Notifier = new TDesktopNotifier(this);
    // Made after the guard, so they see a key before it does: Esc must
    // reach HandleKey while a request runs.
    WindowKeys =
        std::make_unique<TWindowKeys>(this, [this](QWidget* w, QKeyEvent* e) { return HandleKey(w, e); });
    FocusReturn = std::make_unique<TFocusReturn>(this, [this] { FocusAffiliates(); });

    ConnectHandlers();
    FormCreate();
}

TfrmMain::~TfrmMain()
{
    // Before the controls go: neither may look at them any more.
    WindowKeys.reset();
    FocusReturn.reset();
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

    connect(btnSSelectAll, &QPushButton::clicked, this, &TfrmMain::btnSSelectAllClick);
    connect(btnSClearAll, &QPushButton::clicked, this, &TfrmMain::btnSClearAllClick);
    connect(bsSkinButton2, &QPushButton::clicked, this, &TfrmMain::bsSkinButton2Click);
    connect(bsSkinButton3, &QPushButton::clicked, this, &TfrmMain::bsSkinButton3Click);
    connect(btnDeleteSeg, &QPushButton::clicked, this, &TfrmMain::btnDeleteSegClick);
    connect(bsSkinButton4, &QPushButton::clicked, this, &TfrmMain::bsSkinButton4Click);
    connect(btnRevfreshSegments, &QPushButton::clicked, this, &TfrmMain::btnRevfreshSegmentsClick);
    connect(bsSkinButton5, &QPushButton::clicked, this, &TfrmMain::bsSkinButton5Click);
    connect(bsSkinButton6, &QPushButton::clicked, this, &TfrmMain::bsSkinButton6Click);
    connect(bsSkinButton7, &QPushButton::clicked, this, &TfrmMain::bsSkinButton7Click);
    connect(bsSkinButton9, &QPushButton::clicked, this, &TfrmMain::bsSkinButton9Click);
    connect(bsSkinButton8, &QPushButton::clicked, this, &TfrmMain::bsSkinButton8Click);
    connect(cbxQueryType, &QComboBox::currentIndexChanged, this, &TfrmMain::cbxQueryTypeChange);
    connect(btnStop, &QToolButton::clicked, this, &TfrmMain::btnStopClick);
    connect(chkLive, &QCheckBox::toggled, this, &TfrmMain::chkLiveClick);
    connect(spnLiveSeconds, &QSpinBox::valueChanged, this, &TfrmMain::spnLiveSecondsChange);
    connect(LiveTimer, &QTimer::timeout, this, &TfrmMain::LiveTimerTimer);

    // What starts a request; everything else works while one is pending.
    for (QWidget* control : std::initializer_list<QWidget*>{
             btnNews, bsSkinSpeedButton1, lvwPages, btnSSelectAll, bsSkinButton2, bsSkinButton3, btnDeleteSeg,
             bsSkinButton4, btnRevfreshSegments, cbxQueryType, bsSkinButton7, bsSkinButton9, bsSkinButton8})
        Guard->Protect(control);

    // One notification per user action, however many rows it changes.
    PagesSelection = new TSelectionBatcher(lvwPages);
    connect(PagesSelection, &TSelectionBatcher::SelectionChanged, this, &TfrmMain::lvwPagesSelectItem);
    ConnectHistory();
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
    if (RunSettingsDialog(this, Settings)) {
        SaveConnectionSettings();
        ForgetSiteExtensions();
    }
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

bool TfrmMain::HandleKey(QWidget* Receiver, QKeyEvent* Event)
{
    // Esc in a find field that holds text clears it first; the next Esc
    // abandons the request.
    const bool findClears = Receiver == edtFind && !edtFind->text().isEmpty();
    if (Event->key() == Qt::Key_Escape && Guard->Pending() && !findClears) {
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
    if (Guard->Pending())
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
    if (stsWelcome)
        bsSkinButton1->setFocus();
    else
        FocusAffiliates();
}

void TfrmMain::FocusAffiliates()
{
    // The list is the page's first stop, and its shortcuts (Ctrl+A, Ctrl+C,
    // Delete) and the page's (Ctrl+F, Ctrl+S, F5) work from there at once.
    if (pgcPrinc->currentWidget() == stsMain)
        lvwPages->setFocus(Qt::OtherFocusReason);
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
    FocusAffiliates();
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
