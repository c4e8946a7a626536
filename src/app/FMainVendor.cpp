// The vendor's services as the main window uses them: the start-up
// sequence, news, the last news read, and the live update.
#include "FMain.h"
#include "brand/AppConstants.h"
#include "brand/LastNewsId.h"
#include "components/BalloonHint.h"
#include "components/MessageBox.h"
#include "components/RequestGuard.h"
#include "net/HttpClient.h"
#include "util/FileCrypt.h"
#include "util/UUtils.h"
#include "vendor/FNews.h"
#include "vendor/LiveUpdate.h"
#include "vendor/NewsProtocol.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>
#include <QToolButton>

void TfrmMain::Timer1Timer()
{
    Timer1->stop();
    // Whatever the news and update checks meet, the lists are still loaded.
    if (const auto tier = SelectNewsTier(Brand)) {
        QString id, title;
        if (FetchLastNews(tier->PublID, Brand.BranderCode, tier->Code, NewsTargetUA, id, title, true) &&
            IsNewerNews(id, LoadLastNewsId()))
            ShowNewsNotice(NewsNoticeText(title));
    }
    if (!Closing)
        CheckForUpdates(true);
    if (!Closing && CheckServer()) {
        LearnSiteExtensions();
        LoadAffiliates();
    }
    emit StartupSequenceDone();
}

bool TfrmMain::PostNews(const QString& ProdType, const TFormFields& Fields, QByteArray& Trimmed)
{
    // An empty base address, or any failure of the request, is an empty reply.
    Trimmed.clear();
    const QString url = NewsScriptURL(NewsBaseURLForCode(Brand, ProdType), LastNewsScript);
    QByteArray body;
    if (!url.isEmpty() && IdHTTP1->Post(url, Fields, body, NewsReplyMaxSize))
        Trimmed = TrimNewsReply(body);
    return IsNewsSuccess(Trimmed);
}

bool TfrmMain::FetchNewsList(const QString& PublID, const QString& ProdCode, const QString& ProdType,
                             const QString& NewsTarget, TNewsList& List)
{
    QByteArray reply;
    if (PostNews(ProdType, LastNewsFields(PublID, ProdCode, ProdType, ContTypeAll, NewsTarget), reply)) {
        List.append(ParseNewsListReply(reply));
        return true;
    }
    const QString message = NewsFailureMessage(reply, TNewsRequest::NewsList);
    if (!message.isEmpty())
        msgMain->Notice(message);
    return false;
}

bool TfrmMain::FetchLastNews(const QString& PublID, const QString& ProdCode, const QString& ProdType,
                             const QString& NewsTarget, QString& Id, QString& Title, bool Quiet)
{
    Id.clear();
    QByteArray reply;
    if (PostNews(ProdType, LastNewsFields(PublID, ProdCode, ProdType, ContTypeLastCode, NewsTarget), reply)) {
        const TLastNews last = ParseLastNewsReply(reply);
        if (last.HasId) {
            Id = last.Id;
            Title = last.Title;
        }
        return true;
    }
    const QString message = NewsFailureMessage(reply, TNewsRequest::LastNews);
    if (!Quiet && !message.isEmpty())
        msgMain->Notice(message);
    return false;
}

void TfrmMain::btnNewsClick()
{
    if (Guard->Pending())
        return;
    NewsList.clear();
    bool fetched = false;
    if (const auto tier = SelectNewsTier(Brand))
        fetched = FetchNewsList(tier->PublID, Brand.BranderCode, tier->Code, NewsTargetUA, NewsList);
    if (Closing)
        return;
    if (!fetched || NewsList.isEmpty()) {
        msgMain->Notice(NoNewsMessage, TMsgKind::Information);
        return;
    }
    TNewsWindowServices services;
    services.PostForm = [this](const QString& Url, const TFormFields& Fields, QByteArray& Reply) {
        return IdHTTP1->Post(Url, Fields, Reply, NewsBodyMaxSize);
    };
    services.SaveLastNewsId = [this](const QString& Id) { SaveLastNewsId(Id); };
    services.AbortRequest = [this] { IdHTTP1->Disconnect(); };
    RunNewsWindow(this, NewsList, Brand, *msgMain, services);
}

void TfrmMain::ShowNewsNotice(const QString& Text)
{
    LMDMessageHint1->ShowMessage(Text, btnNews);
}

QString TfrmMain::LoadLastNewsId() const
{
    const QString path = DataFile(BrandFileName);
    if (!QFileInfo::exists(path))
        return {};
    QByteArray plain;
    if (DecryptFileToMemory(path, plain) == TDecryptOutcome::Unreadable)
        return {};
    return ReadLastNewsId(plain);
}

void TfrmMain::SaveLastNewsId(const QString& Id)
{
    const QString path = DataFile(BrandFileName);
    if (!QFileInfo::exists(path) || !IsStorableNewsId(Id))
        return;
    // Only a file that decrypted with a valid authentication code is
    // rewritten: a damaged one would otherwise be replaced by garbage. The
    // rewrite is atomic, and a folder that cannot be written just skips it.
    QByteArray plain;
    if (DecryptFileToMemory(path, plain) != TDecryptOutcome::Authentic)
        return;
    EncryptBytesToFile(ReplaceLastNewsId(plain, Id), path);
}

// ---- live update -----------------------------------------------------------

bool TfrmMain::DownloadFile(const QString& Url, const QString& LocalPath)
{
    // The body goes to a temporary file that replaces the old one only when
    // the download is complete; a failed download leaves no file at all, so
    // a stale descriptor is never read as the current one.
    QSaveFile file(LocalPath);
    if (!file.open(QIODevice::WriteOnly)) {
        QFile::remove(LocalPath);
        return false;
    }
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const bool ok = IdHTTP1->Get(Url, file, UpdateDescriptorMaxSize);
    IdHTTP1->Disconnect();
    if (!ok)
        file.cancelWriting();
    if (!file.commit()) {
        QFile::remove(LocalPath);
        return false;
    }
    return true;
}

void TfrmMain::CheckForUpdates(bool Quiet)
{
    const QString local = UpdateDescriptorPath(Env.DataDir);
    bool offered = false;
    if (DownloadFile(UpdateDescriptorURL(Env.UpdateBaseURL), local) && QFileInfo::exists(local)) {
        QFile file(local);
        const TUpdateDescriptor descriptor =
            file.open(QIODevice::ReadOnly) ? ReadUpdateDescriptor(file.readAll()) : TUpdateDescriptor{};
        offered = IsUpdateAvailable(descriptor.Version, AppVersion);
        if (offered) {
            if (!msgMain->Question(NewUpdateQuestion(descriptor.Version), TMsgKind::Information))
                return;
            if (!QFileInfo(UpdaterPath(Env.DataDir)).isFile()) {
                msgMain->Notice(UpdaterMissingMessage);
                return;
            }
            if (!msgMain->Question(CloseForUpdateQuestion, TMsgKind::Information))
                return;
            StartUpdater(Env.DataDir, Env.UpdateBaseURL, AppVersion);
            // Closed once the running handler has returned, so that nothing
            // still on the stack works on a window that is going away.
            QTimer::singleShot(0, this, &QWidget::close);
            return;
        }
    }
    if (!Quiet && !Closing)
        msgMain->Notice(NoUpdatesMessage, TMsgKind::Information);
}

void TfrmMain::btnUpdateClick()
{
    if (Guard->Pending())
        return;
    CheckForUpdates(false);
}
