#pragma once
// THttpClient: the main window's one HTTP client (IdHTTP1). Every request
// of the program goes through it: the tracking script, the news service and
// the live-update check. Requests look synchronous to the caller (a local
// event loop runs until the reply is in, so windows keep repainting), one at
// a time, and every failure comes back as a false result with LastError().
#include "net/FormFields.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QUrl>
#include <memory>

class QIODevice;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QTimer;

class THttpClient : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* UserAgent = "Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 4.0)";
    static constexpr const char* Accept = "text/html, */*";
    static constexpr int MaxRedirects = 20;
    static constexpr qint64 DefaultMaxBodySize = qint64(256) * 1024 * 1024;

    explicit THttpClient(QObject* parent = nullptr);
    ~THttpClient() override;

    // Longest wait for the connection or for the next bytes of a reply, in
    // milliseconds; 0 waits for ever (the setting as created).
    void SetReadTimeout(int Ms);
    int ReadTimeout() const { return ReadTimeoutMs; }

    // A reply body larger than this fails instead of filling memory: the
    // cap of every request that names none of its own. The bodies of the
    // redirects on the way are not read.
    void SetMaxBodySize(qint64 Bytes);
    qint64 MaxBodySize() const { return MaxBody; }

    // Certificate authorities trusted besides the system's ones.
    void AddTrustedCertificates(const QList<QSslCertificate>& Certificates);

    // GET Url; the body goes into Body (emptied first) or is written to
    // Target as it arrives. False on any failure. Limit caps this one
    // request; below 0 it is MaxBodySize().
    bool Get(const QString& Url, QByteArray& Body, qint64 Limit = -1);
    bool Get(const QString& Url, QIODevice& Target, qint64 Limit = -1);

    // POST Fields as multipart/form-data, one part per field in order.
    bool Post(const QString& Url, const TFormFields& Fields, QByteArray& Body, qint64 Limit = -1);

    // The multipart body of Fields with the given boundary (no leading
    // dashes): what Post sends.
    static QByteArray MultipartBody(const TFormFields& Fields, const QByteArray& Boundary);

    bool Busy() const { return Reply != nullptr; }

    // Aborts the pending request, which then fails like any other.
    void Disconnect();

    // What the last request met: a readable failure text (empty after
    // success) and the final HTTP status (0 when no reply came).
    QString LastError() const { return LastErrorText; }
    int LastStatus() const { return LastStatusCode; }

signals:
    // Bytes of the reply body received so far; Total is -1 or 0 when the
    // size is not known.
    void Progress(qint64 Done, qint64 Total);
    void BusyChanged(bool Busy);

private:
    bool Run(const QString& Url, const QByteArray& Method, const QByteArray* Upload,
             const QByteArray& ContentType, QByteArray* Body, QIODevice* Target, qint64 Limit);
    bool Exchange(const QUrl& Url, const QByteArray& Method, const QByteArray* Upload,
                  const QByteArray& ContentType);
    QUrl RedirectTarget() const;
    bool Evaluate();
    void Release();
    bool Refuse(const QString& Url, QUrl& Parsed);
    QNetworkRequest BuildRequest(const QUrl& Url) const;
    void OnReadyRead();
    void OnDownloadProgress(qint64 Done, qint64 Total);
    void OnTimeout();
    void Fail(const QString& Text);
    void RestartTimer();
    bool Deliver(const QByteArray& Chunk);
    void CheckEncodingEnd();

    QNetworkAccessManager* Manager = nullptr;
    QTimer* Timer = nullptr;
    QList<QSslCertificate> ExtraCas;
    int ReadTimeoutMs = 0;
    qint64 MaxBody = DefaultMaxBodySize;
    QString LastErrorText;
    int LastStatusCode = 0;

    // State of the pending request.
    QNetworkReply* Reply = nullptr;
    QByteArray* SinkBuffer = nullptr;
    QIODevice* SinkDevice = nullptr;
    qint64 Received = 0; // body bytes of the request so far, redirects included
    qint64 Inflated = 0; // bytes undone from a compressed body
    qint64 Cap = DefaultMaxBodySize;
    QString FailText; // set by our own aborts (time-out, size cap, write error, Disconnect)
    QUrl Credentials; // user and password given in the address, for Basic challenges
    bool CredentialsTried = false;
    // A gzip body being undone; null for a plain one or before the headers.
    struct TInflater;
    std::unique_ptr<TInflater> Inflater;
    bool EncodingKnown = false;
};
