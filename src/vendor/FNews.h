#pragma once
// TfrmNews: the list of news items the News button just fetched. Selecting
// one fetches its body from getnewsdetails.php, shows it, and records it as
// the newest item read.
#include "brand/BrandFile.h"
#include "net/FormFields.h"
#include "vendor/NewsProtocol.h"

#include <QByteArray>
#include <QDialog>
#include <functional>
#include <memory>

class QFrame;
class QPushButton;
class QSplitter;
class QTreeWidget;
class THtmlView;
class TMessageBox;
class TRequestGuard;

// What the window needs from the main window: the shared HTTP client and
// the brand file. The window builds the request and reads the reply itself.
struct TNewsWindowServices {
    // Posts Fields as a multipart form to Url and waits for the answer while
    // the event loop keeps running. False on any failure of the request;
    // otherwise Reply holds the raw response body.
    std::function<bool(const QString& Url, const TFormFields& Fields, QByteArray& Reply)> PostForm;
    // Stores the id as the newest news item read.
    std::function<void(const QString& NewsId)> SaveLastNewsId;
    // Optional: ends a pending PostForm early (it then returns false).
    // Called when the window is closed while a body is being fetched.
    std::function<void()> AbortRequest;
};

class TfrmNews : public QDialog
{
    Q_OBJECT
public:
    // The row's news id is kept under this role of column 0.
    static constexpr int NewsIdRole = Qt::UserRole + 1;

    TfrmNews(const TNewsList& NewsList, const TBrandRecord& Brand, TMessageBox& Msg,
             TNewsWindowServices Services, QWidget* parent = nullptr);
    ~TfrmNews() override;

    void FormShow();
    void lvwItemsChange();
    // True when the selection may change: not while a body is on its way.
    // The request guard asks it for every input to the list.
    bool lvwItemsChanging() const;
    void btnExitClick();

    // Posts the details request; on success Body is the item's HTML source
    // (in the system code page), otherwise it is empty and the failure has
    // been reported.
    bool FetchNewsDetails(const QString& PublID, const QString& ProdCode, const QString& ProdType,
                          const QString& NewsTarget, const QString& NewsId, QByteArray& Body);

    void done(int r) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    void SetWaitCursor(bool Waiting);

    const TNewsList NewsList;
    const TBrandRecord& Brand;
    TMessageBox& Msg;
    TNewsWindowServices Services;
    bool Busy = false;
    bool ClosedDuringFetch = false;
    // Goes before the members it asks about (Busy) and before the controls.
    std::unique_ptr<TRequestGuard> Guard;

    QFrame* panTop = nullptr;
    QTreeWidget* lvwItems = nullptr;
    QSplitter* Splitter1 = nullptr;
    THtmlView* prfEditorNews = nullptr;
    QFrame* panBottom = nullptr;
    QPushButton* btnExit = nullptr;
};

// Creates the news window, shows it modally and destroys it when it closes.
void RunNewsWindow(QWidget* Parent, const TNewsList& NewsList, const TBrandRecord& Brand, TMessageBox& Msg,
                   TNewsWindowServices Services);
