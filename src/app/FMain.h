#pragma once
// TfrmMain: the program's one permanent window. It owns what the other
// windows share (brand record, connection settings, news list, the HTTP
// client, msgMain, the status panel) and its handlers drive everything the
// operator does.
#include "app/AppEnvironment.h"
#include "brand/BrandFile.h"
#include "settings/ConnectionSettings.h"
#include "tracking/TrackingProtocol.h"

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <memory>

class QComboBox;
class QKeyEvent;
class QFrame;
class QLabel;
class QMovie;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTabWidget;
class QTableView;
class QTimer;
class QToolButton;
class TClickLabel;
class TFindEdit;
class THtmlView;
class TLinkLabel;
class TMessageBox;
class TAffiliatesModel;
class TSalesModel;
class TBalloonHint;
class THttpClient;
class TSelectionBatcher;
class TTrackingClient;

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMain(const TAppEnvironment& Env, QWidget* parent = nullptr);
    ~TfrmMain() override;

    const TAppEnvironment& Environment() const { return Env; }
    QString DataFile(const QString& Name) const;

    // Shared with the dialogs for the life of the window.
    TBrandRecord Brand;
    QStringList NewsList;
    TMessageBox* msgMain = nullptr;
    QLabel* MainStatusPanel = nullptr;
    QProgressBar* MainGauge = nullptr;
    QToolButton* btnStop = nullptr;
    QTimer* Timer1 = nullptr;
    TConnectionSettings Settings;
    THttpClient* IdHTTP1 = nullptr;
    TBalloonHint* LMDMessageHint1 = nullptr;

    // Lifecycle
    void FormCreate();
    void FormShow();
    void FormResize();
    void FormClose();
    void FormDestroy();

    // Clicks
    void imgBannerClick();
    void gifBannerClick();
    void btnMakeMoneyClick();
    void btnHelpClick();
    void bsSkinButton1Click();
    void btnAboutClick();
    void btnSimpleClick();

    // Connection settings
    void LoadConnectionSettings();
    bool SaveConnectionSettings();

    // Tracking requests (none shows a message; the handlers do)
    bool CheckServer();
    bool DeleteAffiliates(const QString& Ids);
    bool LoadAffiliates();
    bool LoadSales(int QueryType, const QString& Ids);
    // The read time-out every tracking request sets on IdHTTP1 (60 s as made).
    void SetTrackingReadTimeout(int Ms);
    // The reply's rows move into the list.
    void FillAffiliates(TrackingProtocol::TListReply Reply);
    void FillSales(TrackingProtocol::TListReply Reply);
    QString SelectedAffiliateIds() const;
    QString SelectedSaleIds() const;
    int QueryType() const;

    // Affiliates list
    void lvwPagesSelectItem(bool RowsSelected);
    void btnSSelectAllClick();
    void btnSClearAllClick();
    void btnDeleteSegClick();
    void bsSkinButton4Click();
    void btnRevfreshSegmentsClick();

    // Sales list
    void cbxQueryTypeChange();
    void bsSkinButton5Click();
    void bsSkinButton6Click();
    void bsSkinButton7Click();
    void bsSkinButton9Click();
    void bsSkinButton8Click();
    void RefreshSales();

    // Add and edit
    void bsSkinButton2Click();
    void bsSkinButton3Click();

    // News and live update
    bool FetchNewsList(const QString& PublID, const QString& ProdCode, const QString& ProdType,
                       const QString& NewsTarget, QStringList& List);
    bool FetchLastNews(const QString& PublID, const QString& ProdCode, const QString& ProdType,
                       const QString& NewsTarget, QString& Id, QString& Title, bool Quiet);
    void btnNewsClick();
    void ShowNewsNotice(const QString& Text);
    QString LoadLastNewsId() const;
    void SaveLastNewsId(const QString& Id);
    bool DownloadFile(const QString& Url, const QString& LocalPath);
    void CheckForUpdates(bool Quiet);
    void btnUpdateClick();

    // Find, export, copy, keyboard and context menus of the lists, and the
    // statistics window (FMainTools.cpp). None of these starts a request
    // while one is pending.
    void edtFindChange(const QString& Text);
    void actFindExecute();
    void actExportExecute();
    void actRefreshExecute();
    void ExportList(QTableView* List);
    void CopyRows(QTableView* List);
    void CopyTrackingLink();
    void StatisticsClick();
    void ListContextMenu(QTableView* List, const QPoint& Pos);
    void HeaderContextMenu(QTableView* List, const QPoint& Pos);
    // Where an affiliate's visitors are sent: the site without the user
    // name and password it may carry, then track.php with the link id.
    static QString TrackingLink(const QString& SiteUrl, const QString& LinkId);

    // True while a request runs on IdHTTP1. The client serves one request at
    // a time, so whatever would start another is refused meanwhile: handlers
    // that start a request return at once while this is true, and the
    // controls that start one are registered with RefuseWhileRequestPending.
    bool RequestPending() const;
    // Mouse, wheel and key input to Control (and to everything inside it) is
    // not delivered while a request is pending, so the control visibly keeps
    // its state instead of changing without effect. Everything else in the
    // window keeps working.
    void RefuseWhileRequestPending(QWidget* Control);
    // Esc and the stop button beside the gauge: the pending request is
    // abandoned and fails like any other, with its operation's usual message.
    void btnStopClick();
    void Timer1Timer();

signals:
    // The start-up sequence ran (once per arming of Timer1).
    void StartupSequenceDone();

protected:
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLayout();
    void BuildWelcomePage();
    QWidget* BuildToolbar(QWidget* page);
    QWidget* BuildBanner(QWidget* page);
    QWidget* BuildWorkArea(QWidget* page);
    QWidget* BuildLinks(QWidget* page);
    QWidget* BuildStatusBar(QWidget* page);
    void CenterBanner();
    void ConnectHandlers();
    void OnRequestProgress(qint64 Done, qint64 Total);
    void OnRequestBusy(bool Busy);
    bool IsRefusedInput(QObject* Watched, QEvent* Event) const;
    bool HandleKey(QObject* Watched, QKeyEvent* Event);
    void ReloadSales();
    bool PostNews(const QString& ProdType, const TFormFields& Fields, QByteArray& Trimmed);
    void AfterAffiliatesDeletion();
    void BuildTools();
    void ListShortcuts(QTableView* List);
    // Writes the totals line: the texts the lists wrote, or while a find
    // text hides rows, the figures of the rows shown.
    void ShowAffiliateTotals();
    QTableView* FocusedList() const;
    void ArrangeTotals();
    void Repaint();
    void LoadBrandFile();
    void ApplyBrand(const TBrandLoad& Load);
    bool ShowBanner(const TBrandLoad& Load);

    TAppEnvironment Env;
    bool Shown = false;
    bool Closing = false; // FormClose ran: pending handlers finish quietly
    std::unique_ptr<TTrackingClient> Tracking;
    TSelectionBatcher* PagesSelection = nullptr;
    QList<QPointer<QWidget>> RequestControls;
    int AppliedQueryType = 0; // the Show entry the sales list was last loaded for

    // Controls, named as the operator's guide and the tests know them.
    QTabWidget* pgcPrinc = nullptr;
    QWidget* stsWelcome = nullptr;
    QWidget* stsMain = nullptr;
    THtmlView* prfWelcome = nullptr;
    QPushButton* bsSkinButton1 = nullptr;
    QPushButton* btnSimple = nullptr;
    QPushButton* btnMakeMoney = nullptr;
    QPushButton* btnAbout = nullptr;
    QToolButton* btnNews = nullptr;
    QToolButton* bsSkinSpeedButton1 = nullptr;
    QToolButton* bsSkinSpeedButton2 = nullptr;
    QFrame* panBanner = nullptr;
    TClickLabel* imgBanner = nullptr;
    TClickLabel* gifBanner = nullptr;
    QMovie* gifMovie = nullptr;
    QByteArray BannerData; // the animated banner reads from here while shown
    QSplitter* bsSkinSplitter1 = nullptr;
    QTableView* lvwPages = nullptr;
    QTableView* lvwReferers = nullptr;
    TAffiliatesModel* AffiliatesModel = nullptr;
    TSalesModel* SalesModel = nullptr;
    QLabel* lblTotalHits = nullptr;
    QLabel* lblOTOSales = nullptr;
    QLabel* lblSubscribers = nullptr;
    QLabel* lblVisitors = nullptr;
    QLabel* lblUniqueHits = nullptr;
    QLabel* lblRefersHits = nullptr;
    TFindEdit* edtFind = nullptr;
    QStringList AffiliateLabelTexts; // the totals line without a find text
    QString ExportFolder;            // where the last save dialog was answered
    QComboBox* cbxQueryType = nullptr;
    QFrame* panLinks = nullptr;
    TLinkLabel* lblLink1URL = nullptr;
    TLinkLabel* lblLink2URL = nullptr;
};
