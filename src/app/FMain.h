#pragma once
// TfrmMain: the program's one permanent window. It owns what the other
// windows share (brand record, connection settings, news list, the HTTP
// client, msgMain, the status panel) and its handlers drive everything the
// operator does.
#include "app/AppEnvironment.h"
#include "brand/BrandFile.h"
#include "settings/ConnectionSettings.h"
#include "tracking/DateRange.h"
#include "tracking/ListTexts.h"
#include "tracking/TrackingProtocol.h"

#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QKeyEvent;
class QFrame;
class QLabel;
class QMovie;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QSplitter;
class QTabWidget;
class QTableView;
class QTimer;
class QToolButton;
class TClickLabel;
class TFindEdit;
class TFocusReturn;
class THtmlView;
class TLinkLabel;
class TMessageBox;
class TRequestGuard;
class TAffiliatesModel;
class TSalesModel;
class TBalloonHint;
class TDesktopNotifier;
class THttpClient;
class TSelectionBatcher;
class TTrackingClient;
class TWindowKeys;

class TfrmMain : public QWidget
{
    Q_OBJECT
public:
    // The period of Live mode, in seconds.
    static constexpr int LiveDefaultSeconds = 15;
    static constexpr int LiveMinSeconds = 5;
    static constexpr int LiveMaxSeconds = 999;

    explicit TfrmMain(const TAppEnvironment& Env, QWidget* parent = nullptr);
    ~TfrmMain() override;

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
    // Asks the site which protocol extensions it has (after a successful
    // check), and shows the controls of those it has, hiding the others.
    void LearnSiteExtensions();
    void ForgetSiteExtensions();
    void ApplySiteExtensions();
    bool SiteHas(const QString& Extension) const { return SiteExtensions.contains(Extension); }
    bool DeleteAffiliates(const QString& Ids);
    bool LoadAffiliates();
    bool LoadSales(int QueryType, const QString& Ids);
    TrackingProtocol::TListReply FetchSales(int QueryType, const QString& Ids);
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

    // The range box and the trend, against a site that keeps the history
    // (FMainHistory.cpp). The range is worked out anew for each request, so
    // "Today" follows the clock.
    void cbxRangeChange();
    void btnTrendClick();
    daterange::TDateRange CurrentRange() const;
    bool ShowsHistory() const { return SiteHas(QStringLiteral("history")); }
    // Refresh by changes and Live mode (FMainLive.cpp). With a site that
    // has the "changes" extension, the window holds a cursor from the site
    // and asks for what changed in both lists since; it merges that into
    // the lists, which keep their selection, sort, find text and scroll
    // position. A list can take changes only when it was loaded whole
    // after the cursor was handed out; any failure, or a cursor the site
    // no longer knows, loads whole lists instead.
    struct TUpToDate {
        bool Affiliates = false;
        bool Sales = false;
    };
    TUpToDate RefreshByChanges();
    // Live: every spnLiveSeconds seconds both lists are refreshed, quietly,
    // unless a request is running or a dialog is open.
    void chkLiveClick(bool Checked);
    void spnLiveSecondsChange(int Seconds);
    void LiveTimerTimer();

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

private:
    void BuildLayout();
    void BuildWelcomePage();
    QWidget* BuildToolbar(QWidget* page);
    QWidget* BuildBanner(QWidget* page);
    QWidget* BuildWorkArea(QWidget* page);
    QWidget* BuildAffiliatesPanel(QWidget* parent);
    QWidget* BuildSalesPanel(QWidget* parent);
    QWidget* BuildLinks(QWidget* page);
    QWidget* BuildStatusBar(QWidget* page);
    void BuildLiveControls();
    void SetTabOrder();
    void CenterBanner();
    void ConnectHandlers();
    void OnRequestProgress(qint64 Done, qint64 Total);
    void OnRequestBusy(bool Busy);
    // Keys of the whole window, seen before any control: Esc abandons the
    // pending request, Enter on the welcome page presses its button.
    bool HandleKey(QWidget* Receiver, QKeyEvent* Event);
    // The keyboard starts on the affiliates list: at start, after the
    // welcome page and whenever a dialog of this window has closed.
    void FocusAffiliates();
    void ReloadSales();
    // Asks the site for a cursor when there is none; the lists loaded
    // before it cannot take changes from it.
    void TakeChangeCursor();
    bool LiveMayRun() const;
    // Live refresh of a list against a site without changes, or after a
    // failed change request: the whole list, merged.
    void LiveAffiliatesWhole();
    void LiveSalesWhole();
    // Merges keeping the first row shown where it was.
    void KeepTopRow(QTableView* List, const std::function<void()>& Merge);
    void AfterAffiliatesMerge();
    void AfterSalesMerge(int Added);
    void NotifyNewSales(int Count);
    bool PostNews(const QString& ProdType, const TFormFields& Fields, QByteArray& Trimmed);
    void AfterAffiliatesDeletion();
    void BuildTools();
    void ListShortcuts(QTableView* List);
    // Writes the totals line: the texts the lists wrote, or while a find
    // text hides rows, the figures of the rows shown.
    void ShowAffiliateTotals();
    QTableView* FocusedList() const;
    void ArrangeTotals();
    QWidget* BuildRangeBox(QWidget* Row);
    void ConnectHistory();
    void ShowRangeDays();
    // Affiliate records with their counters over the current range, and
    // the all-time sums noted for the totals line; false when the site did
    // not answer.
    bool ApplyRangeCounters(TrackingProtocol::TListReply& Reply);
    // A reload of the counters that keeps the affiliates selected.
    void ReloadKeepingSelection();
    void Repaint();
    void LoadBrandFile();
    void ApplyBrand(const TBrandLoad& Load);
    bool ShowBanner(const TBrandLoad& Load);

    TAppEnvironment Env;
    bool Shown = false;
    bool Closing = false; // FormClose ran: pending handlers finish quietly
    std::unique_ptr<TTrackingClient> Tracking;
    TRequestGuard* Guard = nullptr;
    std::unique_ptr<TWindowKeys> WindowKeys;   // hands HandleKey the window's keys
    std::unique_ptr<TFocusReturn> FocusReturn; // FocusAffiliates after each dialog
    TSelectionBatcher* PagesSelection = nullptr;
    int AppliedQueryType = 0;   // the Show entry the sales list was last loaded for
    QStringList SiteExtensions; // what the site said it has when last asked
    int AppliedRange = 0;       // the range entry the lists were last loaded for
    QDate CustomFirst, CustomLast;
    // The all-time sums beside the range's, while the counters are a range's.
    std::optional<TAffiliateTotals> AllTimeTotals;
    // Refresh by changes: the cursor, whether each list is in step with
    // it, and what the sales were last loaded for (the Show entry and the
    // affiliates' ids).
    QString ChangeCursor;
    bool AffiliatesInStep = false;
    bool SalesInStep = false;
    bool SalesLoaded = false;
    int SalesLoadedQueryType = 0;
    QString SalesLoadedIds;
    QTimer* LiveTimer = nullptr;
    bool LiveRunning = false; // a live refresh is under way (it makes several requests)
    int SalesMergedIn = 0;    // sales the merges of this live refresh added
    TDesktopNotifier* Notifier = nullptr;

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
    QFrame* bsSkinPanel4 = nullptr; // the toolbar
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
    QFrame* bsSkinPanel8 = nullptr; // the totals and the affiliates' buttons
    QPushButton* btnSSelectAll = nullptr;
    QPushButton* btnSClearAll = nullptr;
    QPushButton* bsSkinButton2 = nullptr; // Add
    QPushButton* bsSkinButton3 = nullptr; // Edit
    QPushButton* btnDeleteSeg = nullptr;
    QPushButton* bsSkinButton4 = nullptr; // Delete All
    QPushButton* btnRevfreshSegments = nullptr;
    QCheckBox* chkLive = nullptr;         // Live mode, beside the affiliates' Refresh
    QSpinBox* spnLiveSeconds = nullptr;   // its period
    QCheckBox* chkNotify = nullptr;       // desktop notices of new sales
    QPushButton* bsSkinButton5 = nullptr; // sales: Select All
    QPushButton* bsSkinButton6 = nullptr; // Clear Selection
    QPushButton* bsSkinButton7 = nullptr; // Delete
    QPushButton* bsSkinButton9 = nullptr; // Delete All
    QPushButton* bsSkinButton8 = nullptr; // Refresh
    QLabel* lblRefersHits = nullptr;
    TFindEdit* edtFind = nullptr;
    listtexts::TAffiliateLabels AffiliateLabels; // the totals line without a find text
    QString ExportFolder;                        // where the last save dialog was answered
    QComboBox* cbxQueryType = nullptr;
    QLabel* lblRange = nullptr;
    QComboBox* cbxRange = nullptr;
    QLabel* lblRangeDays = nullptr;
    QPushButton* btnTrend = nullptr;
    QFrame* panLinks = nullptr;
    QFrame* bsSkinStatusBar1 = nullptr;
    TLinkLabel* lblLink1URL = nullptr;
    TLinkLabel* lblLink2URL = nullptr;
};
