#include "FMain.h"

#include "components/ClickLabel.h"
#include "components/HtmlView.h"
#include "components/MessageBox.h"
#include "util/UUtils.h"
#include "vendor/FAbout.h"

#include <QApplication>
#include <QCloseEvent>
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
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &TfrmMain::Timer1Timer);

    connect(imgBanner, &TClickLabel::Clicked, this, &TfrmMain::imgBannerClick);
    connect(gifBanner, &TClickLabel::Clicked, this, &TfrmMain::gifBannerClick);
    connect(btnMakeMoney, &QPushButton::clicked, this, &TfrmMain::btnMakeMoneyClick);
    connect(bsSkinSpeedButton2, &QToolButton::clicked, this, &TfrmMain::btnHelpClick);
    connect(bsSkinButton1, &QPushButton::clicked, this, &TfrmMain::bsSkinButton1Click);
    connect(btnAbout, &QPushButton::clicked, this, &TfrmMain::btnAboutClick);

    FormCreate();
}

TfrmMain::~TfrmMain()
{
    FormDestroy();
}

QString TfrmMain::DataFile(const QString& Name) const
{
    return QDir(Env.DataDir).filePath(Name);
}

void TfrmMain::FormCreate()
{
    gifBanner->setGeometry(imgBanner->geometry());
    LoadBrandFile();
    if (Brand.WelcomeHtml.isEmpty())
        Timer1->start();
    NewsList.clear();
}

void TfrmMain::FormShow()
{
    // Visit every page once so each is laid out, then settle on the first.
    for (int i = 0; i < pgcPrinc->count(); ++i) {
        pgcPrinc->setCurrentIndex(i);
        QApplication::processEvents();
    }
    pgcPrinc->setCurrentIndex(0);
    if (!Brand.WelcomeHtml.isEmpty()) {
        pgcPrinc->setCurrentWidget(stsWelcome);
        prfWelcome->WriteDocument(Brand.WelcomeHtml);
    } else if (stsWelcome) {
        // Without a welcome document the page never exists; the main page
        // becomes page 0.
        pgcPrinc->removeTab(pgcPrinc->indexOf(stsWelcome));
        delete stsWelcome;
        stsWelcome = nullptr;
        prfWelcome = nullptr;
        bsSkinButton1 = nullptr;
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

void TfrmMain::Timer1Timer()
{
    Timer1->stop();
    emit StartupSequenceDone();
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
    return QWidget::eventFilter(watched, event);
}
