#include "HttpClient.h"

#include <QAuthenticator>
#include <QEventLoop>
#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRandomGenerator>
#include <QSslConfiguration>
#include <QTimer>
#include <zlib.h>

namespace
{

QByteArray NewBoundary()
{
    QByteArray b = "----TallyfairFormBoundary";
    for (int i = 0; i < 4; ++i)
        b += QByteArray::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, '0');
    return b;
}

constexpr qint64 ReadBufferSize = 256 * 1024;

// What the client accepts. Set by us, not left to Qt: Qt undoes the gzip it
// asked for itself but then takes a body cut short of its Content-Length for
// a whole one (Qt 6.4), and a cut list must fail. With the header ours, Qt
// checks the length on the bytes as they come, as for any body, and the
// stream is undone here, where its end (the trailer with its CRC and length)
// is checked too.
constexpr const char* AcceptEncoding = "gzip";

bool IsRedirect(int Status)
{
    return Status == 301 || Status == 302 || Status == 303 || Status == 307 || Status == 308;
}

bool IsHttpScheme(const QUrl& Url)
{
    const QString s = Url.scheme().toLower();
    return s == QLatin1String("http") || s == QLatin1String("https");
}

} // namespace

THttpClient::THttpClient(QObject* parent) : QObject(parent)
{
    Manager = new QNetworkAccessManager(this);
    // No proxy, whatever the desktop says: the site is reached directly.
    Manager->setProxy(QNetworkProxy::NoProxy);
    // The default jar keeps cookies in memory only, for the life of the
    // client, and sends them back on every later request they match.
    Manager->setCookieJar(new QNetworkCookieJar(Manager));
    // Redirects are followed here, not inside the manager, so that the
    // count, the https-only rule and the body of each hop are in our hands.
    Manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    connect(Manager, &QNetworkAccessManager::authenticationRequired, this,
            [this](QNetworkReply* r, QAuthenticator* auth) {
                // Offer the address's own credentials once, and only to the
                // host they were written for (not to a redirect target).
                if (r != Reply || CredentialsTried || Credentials.userName().isEmpty())
                    return;
                const QUrl at = r->url();
                if (at.scheme().compare(Credentials.scheme(), Qt::CaseInsensitive) != 0 ||
                    at.host().compare(Credentials.host(), Qt::CaseInsensitive) != 0 ||
                    at.port(-1) != Credentials.port(-1))
                    return;
                CredentialsTried = true;
                auth->setUser(Credentials.userName());
                auth->setPassword(Credentials.password());
            });

    Timer = new QTimer(this);
    Timer->setSingleShot(true);
    connect(Timer, &QTimer::timeout, this, &THttpClient::OnTimeout);
}

struct THttpClient::TInflater {
    z_stream Stream{};
    bool Ended = false;
    TInflater() { inflateInit2(&Stream, 16 + MAX_WBITS); }
    ~TInflater() { inflateEnd(&Stream); }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;
};

THttpClient::~THttpClient()
{
    if (Reply) {
        FailText = tr("The connection was closed.");
        Reply->abort();
    }
}

void THttpClient::SetReadTimeout(int Ms)
{
    ReadTimeoutMs = qMax(0, Ms);
}

void THttpClient::SetMaxBodySize(qint64 Bytes)
{
    MaxBody = qMax<qint64>(0, Bytes);
}

void THttpClient::AddTrustedCertificates(const QList<QSslCertificate>& Certificates)
{
    ExtraCas += Certificates;
    // Connections kept open (or refused) under the old trust must not be
    // reused under the new one.
    Manager->clearConnectionCache();
}

bool THttpClient::Get(const QString& Url, QByteArray& Body, qint64 Limit)
{
    Body.clear();
    return Run(Url, "GET", nullptr, {}, &Body, nullptr, Limit);
}

bool THttpClient::Get(const QString& Url, QIODevice& Target, qint64 Limit)
{
    return Run(Url, "GET", nullptr, {}, nullptr, &Target, Limit);
}

bool THttpClient::Post(const QString& Url, const TFormFields& Fields, QByteArray& Body, qint64 Limit)
{
    Body.clear();
    QByteArray boundary = NewBoundary();
    QByteArray upload = MultipartBody(Fields, boundary);
    // A value that happens to hold the boundary would end its part early.
    while (upload.count("--" + boundary) != Fields.size() + 1) {
        boundary = NewBoundary();
        upload = MultipartBody(Fields, boundary);
    }
    return Run(Url, "POST", &upload, "multipart/form-data; boundary=" + boundary, &Body, nullptr, Limit);
}

QByteArray THttpClient::MultipartBody(const TFormFields& Fields, const QByteArray& Boundary)
{
    QByteArray body;
    for (const auto& field : Fields) {
        body += "--" + Boundary + "\r\n";
        body += "Content-Disposition: form-data; name=\"" + field.first.toLocal8Bit() + "\"\r\n\r\n";
        body += field.second.toLocal8Bit() + "\r\n";
    }
    body += "--" + Boundary + "--\r\n";
    return body;
}

void THttpClient::Disconnect()
{
    Fail(tr("The request was cancelled."));
}

QNetworkRequest THttpClient::BuildRequest(const QUrl& Url) const
{
    QNetworkRequest req(Url);
    req.setRawHeader("User-Agent", UserAgent);
    req.setRawHeader("Accept", Accept);
    req.setRawHeader("Accept-Encoding", AcceptEncoding);
    if (!ExtraCas.isEmpty()) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.addCaCertificates(ExtraCas);
        req.setSslConfiguration(ssl);
    }
    return req;
}

bool THttpClient::Refuse(const QString& Url, QUrl& Parsed)
{
    if (Busy()) {
        LastErrorText = tr("Another request is still in progress.");
        return true;
    }
    LastStatusCode = 0;
    Parsed = QUrl(Url, QUrl::TolerantMode);
    if (!Parsed.isValid() || !IsHttpScheme(Parsed) || Parsed.host().isEmpty()) {
        LastErrorText = tr("Not a web address: %1").arg(Url);
        return true;
    }
    return false;
}

bool THttpClient::Run(const QString& Url, const QByteArray& Method, const QByteArray* Upload,
                      const QByteArray& ContentType, QByteArray* Body, QIODevice* Target, qint64 Limit)
{
    QUrl url;
    if (Refuse(Url, url))
        return false;
    Cap = Limit < 0 ? MaxBody : Limit;
    Received = 0;
    Inflated = 0;

    // Credentials written into the address answer a Basic challenge; they
    // are taken out of the address so that they go nowhere else.
    Credentials = QUrl();
    CredentialsTried = false;
    if (!url.userName().isEmpty()) {
        Credentials = url;
        url.setUserInfo(QString());
    }
    SinkBuffer = Body;
    SinkDevice = Target;
    FailText.clear();
    LastErrorText.clear();
    emit BusyChanged(true);

    QByteArray method = Method;
    const QByteArray* upload = Upload;
    bool ok = false;
    for (int hops = 0;; ++hops) {
        if (!Exchange(url, method, upload, ContentType))
            return false; // the client went away while waiting; nothing is left to report to
        const QUrl next = RedirectTarget();
        if (next.isEmpty()) {
            ok = Evaluate();
            break;
        }
        if (hops == MaxRedirects) {
            LastErrorText = tr("Too many redirects (more than %1).").arg(MaxRedirects);
            break;
        }
        if (!IsHttpScheme(next) || next.host().isEmpty() ||
            (url.scheme().toLower() == QLatin1String("https") &&
             next.scheme().toLower() != QLatin1String("https"))) {
            LastErrorText =
                tr("Refused to follow a redirect to %1.").arg(next.toString(QUrl::RemoveUserInfo));
            break;
        }
        // As browsers do: 303, and 301/302 after a POST, continue with a GET;
        // 307 and 308 repeat the request as it was.
        const int status = LastStatusCode;
        if (status == 303 || ((status == 301 || status == 302) && method == "POST")) {
            method = "GET";
            upload = nullptr;
        }
        url = next;
        Release();
    }

    Release();
    SinkBuffer = nullptr;
    SinkDevice = nullptr;
    Credentials = QUrl();
    emit BusyChanged(false);
    return ok;
}

bool THttpClient::Exchange(const QUrl& Url, const QByteArray& Method, const QByteArray* Upload,
                           const QByteArray& ContentType)
{
    QNetworkRequest req = BuildRequest(Url);
    Inflater.reset();
    EncodingKnown = false;
    if (Upload) {
        req.setHeader(QNetworkRequest::ContentTypeHeader, ContentType);
        Reply = Manager->sendCustomRequest(req, Method, *Upload);
    } else {
        Reply = Manager->sendCustomRequest(req, Method);
    }
    // What the network has delivered and we have not yet read stays small:
    // the transfer waits for us rather than filling memory.
    Reply->setReadBufferSize(ReadBufferSize);

    QEventLoop loop;
    QNetworkReply* reply = Reply;
    connect(reply, &QNetworkReply::readyRead, this, &THttpClient::OnReadyRead);
    connect(reply, &QNetworkReply::downloadProgress, this, &THttpClient::OnDownloadProgress);
    connect(reply, &QNetworkReply::uploadProgress, this, &THttpClient::RestartTimer);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this] {
        // A redirect to follow is done with once its headers are in (its
        // cookies are stored by then): its body is never read, so one that
        // never ends costs nothing.
        if (IsRedirect(Reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()) &&
            Reply->hasRawHeader("Location")) {
            Reply->abort();
            return;
        }
        const QVariant length = Reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > Cap - Received)
            Fail(tr("The reply is larger than %1 bytes.").arg(Cap));
    });
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    RestartTimer();

    QPointer<THttpClient> alive(this);
    if (!reply->isFinished())
        loop.exec();
    if (!alive)
        return false;
    Timer->stop();
    if (FailText.isEmpty())
        OnReadyRead(); // whatever arrived together with the end of the reply
    CheckEncodingEnd();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    LastStatusCode = status.isValid() ? status.toInt() : 0;
    return true;
}

QUrl THttpClient::RedirectTarget() const
{
    if (!FailText.isEmpty() || !IsRedirect(LastStatusCode) || !Reply->hasRawHeader("Location"))
        return {};
    return Reply->url().resolved(QUrl::fromEncoded(Reply->rawHeader("Location"), QUrl::TolerantMode));
}

bool THttpClient::Evaluate()
{
    if (!FailText.isEmpty())
        LastErrorText = FailText;
    else if (LastStatusCode >= 400)
        LastErrorText = tr("The server answered %1 %2.")
                            .arg(LastStatusCode)
                            .arg(Reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
    else if (Reply->error() != QNetworkReply::NoError)
        LastErrorText = Reply->errorString();
    else if (LastStatusCode < 200 || LastStatusCode > 299)
        LastErrorText = tr("The server answered %1 without content.").arg(LastStatusCode);
    else
        return true;
    if (LastErrorText.isEmpty())
        LastErrorText = tr("The request failed.");
    return false;
}

void THttpClient::Release()
{
    if (!Reply)
        return;
    Reply->disconnect(this);
    Reply->deleteLater();
    Reply = nullptr;
}

void THttpClient::OnReadyRead()
{
    if (!Reply || !FailText.isEmpty())
        return;
    RestartTimer();
    const QByteArray chunk = Reply->readAll();
    if (chunk.isEmpty())
        return;
    Received += chunk.size();
    if (Received > Cap) {
        Fail(tr("The reply is larger than %1 bytes.").arg(Cap));
        return;
    }
    // Whatever of a redirect's body came with its headers is not the reply:
    // counted, and dropped.
    if (IsRedirect(Reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()) &&
        Reply->hasRawHeader("Location"))
        return;
    if (!EncodingKnown) {
        EncodingKnown = true;
        const QByteArray coding = Reply->rawHeader("Content-Encoding").trimmed().toLower();
        if (coding == "gzip" || coding == "x-gzip") {
            Inflater = std::make_unique<TInflater>();
        } else if (!coding.isEmpty() && coding != "identity") {
            Fail(tr("The reply is encoded as %1, which was not asked for.").arg(QString::fromLatin1(coding)));
            return;
        }
    }
    if (!Inflater) {
        Deliver(chunk);
        return;
    }
    if (Inflater->Ended) {
        Fail(tr("The reply holds more than its compressed data."));
        return;
    }
    z_stream& z = Inflater->Stream;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.constData()));
    z.avail_in = uInt(chunk.size());
    QByteArray out(qsizetype(ReadBufferSize), Qt::Uninitialized);
    while (z.avail_in > 0 && !Inflater->Ended) {
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = uInt(out.size());
        const int rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
            Fail(tr("The reply's compressed data is damaged."));
            return;
        }
        Inflater->Ended = rc == Z_STREAM_END;
        const qsizetype produced = out.size() - qsizetype(z.avail_out);
        if (produced == 0 && rc == Z_BUF_ERROR)
            break;
        if (!Deliver(out.left(produced)))
            return;
    }
    if (Inflater->Ended && z.avail_in > 0)
        Fail(tr("The reply holds more than its compressed data."));
}

// Hands bytes of the body (undone, when it was compressed) to the sink; the
// cap holds for them too, so that a small compressed reply cannot fill
// memory.
bool THttpClient::Deliver(const QByteArray& Chunk)
{
    if (Inflater) {
        Inflated += Chunk.size();
        if (Inflated > Cap) {
            Fail(tr("The reply is larger than %1 bytes.").arg(Cap));
            return false;
        }
    }
    if (SinkBuffer)
        SinkBuffer->append(Chunk);
    if (SinkDevice && SinkDevice->write(Chunk) != Chunk.size()) {
        Fail(tr("The download could not be written: %1").arg(SinkDevice->errorString()));
        return false;
    }
    return true;
}

// A compressed body that stops before its stream ends is cut short, even
// where the length did not tell.
void THttpClient::CheckEncodingEnd()
{
    if (Inflater && !Inflater->Ended && FailText.isEmpty() && Reply->error() == QNetworkReply::NoError)
        FailText = tr("The reply's compressed data ends early.");
    Inflater.reset();
}

void THttpClient::OnDownloadProgress(qint64 Done, qint64 Total)
{
    RestartTimer();
    emit Progress(Done, Total);
}

void THttpClient::OnTimeout()
{
    Fail(tr("No answer within %1 ms.").arg(ReadTimeoutMs));
}

void THttpClient::Fail(const QString& Text)
{
    if (!Reply || !FailText.isEmpty())
        return;
    FailText = Text;
    Reply->abort();
}

void THttpClient::RestartTimer()
{
    if (ReadTimeoutMs > 0 && Reply)
        Timer->start(ReadTimeoutMs);
}
