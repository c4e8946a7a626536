#include "HttpPeer.h"

#include "TestFolders.h"

#include <QFile>
#include <QPointer>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTimer>

namespace tftest
{

namespace
{

QByteArray ReadCertFile(const QString& Name)
{
    QFile f(SourceDir() + QStringLiteral("/tests/support/certs/") + Name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QByteArray ReasonFor(int Status)
{
    switch (Status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

// Accepts connections as QSslSocket and starts the server side of TLS.
class TTlsServer : public QTcpServer
{
public:
    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr Descriptor) override
    {
        auto* s = new QSslSocket(this);
        if (!s->setSocketDescriptor(Descriptor)) {
            delete s;
            return;
        }
        s->setLocalCertificate(QSslCertificate(ReadCertFile(QStringLiteral("server.pem"))));
        s->setPrivateKey(QSslKey(ReadCertFile(QStringLiteral("server.key")), QSsl::Rsa));
        s->setPeerVerifyMode(QSslSocket::VerifyNone);
        addPendingConnection(s);
        s->startServerEncryption();
    }
};

qsizetype HeaderEnd(const QByteArray& Buffer)
{
    return Buffer.indexOf("\r\n\r\n");
}

} // namespace

QByteArray THttpRequest::Header(const QByteArray& Name) const
{
    for (const auto& h : Headers)
        if (h.first.compare(Name, Qt::CaseInsensitive) == 0)
            return h.second;
    return {};
}

bool THttpRequest::HasHeader(const QByteArray& Name) const
{
    for (const auto& h : Headers)
        if (h.first.compare(Name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

THttpAnswer THttpAnswer::Text(const QByteArray& Body, int Status)
{
    THttpAnswer a;
    a.Status = Status;
    a.Body = Body;
    a.Headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html")));
    return a;
}

THttpAnswer THttpAnswer::Redirect(const QByteArray& Location, int Status)
{
    THttpAnswer a;
    a.Status = Status;
    a.Headers.append(qMakePair(QByteArray("Location"), Location));
    a.Body = "moved";
    return a;
}

THttpAnswer THttpAnswer::Challenge(const QByteArray& Realm)
{
    THttpAnswer a = Text("authorisation required", 401);
    a.Headers.append(qMakePair(QByteArray("WWW-Authenticate"), "Basic realm=\"" + Realm + "\""));
    return a;
}

THttpAnswer& THttpAnswer::With(const QByteArray& Name, const QByteArray& Value)
{
    Headers.append(qMakePair(Name, Value));
    return *this;
}

// ---------------------------------------------------------------------------

bool ParseMultipart(const THttpRequest& Request, QList<TFormPart>& Parts)
{
    Parts.clear();
    const QByteArray type = Request.Header("Content-Type");
    const QByteArray marker = "multipart/form-data; boundary=";
    if (!type.startsWith(marker))
        return false;
    const QByteArray boundary = type.mid(marker.size());
    if (boundary.isEmpty())
        return false;
    const QByteArray delimiter = "--" + boundary;
    const QByteArray& body = Request.Body;
    if (!body.startsWith(delimiter + "\r\n"))
        return false;
    qsizetype pos = delimiter.size() + 2;
    for (;;) {
        const qsizetype headEnd = body.indexOf("\r\n\r\n", pos);
        if (headEnd < 0)
            return false;
        TFormPart part;
        for (const QByteArray& line : body.mid(pos, headEnd - pos).split('\n')) {
            const QByteArray l = line.endsWith('\r') ? line.chopped(1) : line;
            const qsizetype colon = l.indexOf(':');
            if (colon <= 0)
                return false;
            part.Headers.append({l.left(colon).trimmed(), l.mid(colon + 1).trimmed()});
            if (l.left(colon).trimmed().compare("Content-Disposition", Qt::CaseInsensitive) == 0) {
                const QByteArray d = l.mid(colon + 1);
                const qsizetype n = d.indexOf("name=\"");
                if (n < 0)
                    return false;
                const qsizetype close = d.indexOf('"', n + 6);
                if (close < 0)
                    return false;
                part.Name = d.mid(n + 6, close - n - 6);
            }
        }
        const qsizetype valueStart = headEnd + 4;
        const qsizetype next = body.indexOf("\r\n" + delimiter, valueStart);
        if (next < 0)
            return false;
        part.Value = body.mid(valueStart, next - valueStart);
        Parts.append(part);
        pos = next + 2 + delimiter.size();
        if (body.mid(pos) == "--\r\n")
            return true;
        if (body.mid(pos, 2) != "\r\n")
            return false;
        pos += 2;
    }
}

QList<QPair<QByteArray, QByteArray>> FormPairs(const THttpRequest& Request)
{
    QList<TFormPart> parts;
    QList<QPair<QByteArray, QByteArray>> pairs;
    if (!ParseMultipart(Request, parts))
        return pairs;
    for (const auto& p : parts)
        pairs.append({p.Name, p.Value});
    return pairs;
}

// ---------------------------------------------------------------------------

struct THttpPeer::TConn {
    QPointer<QTcpSocket> Socket;
    int Number = 0;
    QByteArray Buffer;
    bool Answering = false; // a reply is being prepared or streamed
    qint64 FillerLeft = 0;
    char Filler = 'x';
    bool Chunked = false;
    bool CloseWhenSent = false;
};

THttpPeer::THttpPeer(TMode M, QObject* parent) : QObject(parent), Mode(M)
{
    Server = Mode == Tls ? new TTlsServer(this) : new QTcpServer(this);
    connect(Server, &QTcpServer::newConnection, this, &THttpPeer::OnNewConnection);
    Server->listen(QHostAddress::LocalHost, 0);
}

THttpPeer::~THttpPeer()
{
    Server->close();
}

quint16 THttpPeer::Port() const
{
    return Server->serverPort();
}

QString THttpPeer::Url(const QString& Path) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(Mode == Tls ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(Port())
        .arg(Path);
}

void THttpPeer::Queue(const THttpAnswer& Answer)
{
    Pending.append(Answer);
}

void THttpPeer::SetHandler(THandler H)
{
    Handler = std::move(H);
}

QList<QSslCertificate> THttpPeer::TestCa()
{
    return QSslCertificate::fromData(ReadCertFile(QStringLiteral("ca.pem")));
}

void THttpPeer::OnNewConnection()
{
    while (QTcpSocket* s = Server->nextPendingConnection()) {
        auto conn = std::make_shared<TConn>();
        conn->Socket = s;
        conn->Number = ++Connections;
        s->setParent(this);
        connect(s, &QTcpSocket::readyRead, this, [this, conn] {
            if (!conn->Socket)
                return;
            conn->Buffer += conn->Socket->readAll();
            Process(conn);
        });
        connect(s, &QTcpSocket::bytesWritten, this, [this, conn] { Pump(conn); });
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
    }
}

void THttpPeer::Process(const std::shared_ptr<TConn>& Conn)
{
    // One request at a time per connection: the next is looked at once the
    // current one is answered.
    while (!Conn->Answering) {
        const qsizetype end = HeaderEnd(Conn->Buffer);
        if (end < 0)
            return;
        THttpRequest req;
        const QList<QByteArray> lines = Conn->Buffer.left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        req.Method = first.value(0);
        req.Target = first.value(1);
        req.Version = first.value(2);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray l = lines[i].trimmed();
            const qsizetype colon = l.indexOf(':');
            if (colon > 0)
                req.Headers.append({l.left(colon).trimmed(), l.mid(colon + 1).trimmed()});
        }
        const qint64 length = req.Header("Content-Length").toLongLong();
        const qsizetype total = end + 4 + length;
        if (Conn->Buffer.size() < total)
            return;
        req.Raw = Conn->Buffer.left(total);
        req.Body = Conn->Buffer.mid(end + 4, length);
        req.Connection = Conn->Number;
        Conn->Buffer.remove(0, total);

        Received.append(req);
        THttpAnswer a;
        if (!Pending.isEmpty())
            a = Pending.takeFirst();
        else if (Handler)
            a = Handler(req);
        else
            a = THttpAnswer::Text("nothing scripted", 404);
        Conn->Answering = true;
        emit RequestReceived(int(Received.size() - 1));
        if (a.Hang)
            return;
        if (a.DelayMs > 0) {
            QTimer::singleShot(a.DelayMs, this, [this, Conn, a] { Answer(Conn, a); });
            return;
        }
        Answer(Conn, a);
    }
}

namespace
{
QByteArray Chunk(const QByteArray& Data)
{
    return QByteArray::number(Data.size(), 16) + "\r\n" + Data + "\r\n";
}
} // namespace

void THttpPeer::Answer(const std::shared_ptr<TConn>& Conn, const THttpAnswer& A)
{
    QTcpSocket* s = Conn->Socket;
    if (!s || s->state() != QAbstractSocket::ConnectedState)
        return;
    const qint64 fullLength = A.Body.size() + A.FillerSize;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(A.Status) + ' ' +
                      (A.Reason.isEmpty() ? ReasonFor(A.Status) : A.Reason) + "\r\n";
    for (const auto& h : A.Headers)
        head += h.first + ": " + h.second + "\r\n";
    const bool close = A.CloseAfter || (!A.SendLength && !A.Chunked) || A.DropAfter >= 0;
    if (A.Chunked)
        head += "Transfer-Encoding: chunked\r\n";
    else if (A.SendLength)
        head += "Content-Length: " + QByteArray::number(fullLength) + "\r\n";
    if (close)
        head += "Connection: close\r\n";
    head += "\r\n";
    s->write(head);

    if (A.DropAfter >= 0) {
        const QByteArray part = A.Body.left(A.DropAfter);
        s->write(part);
        SentBodyBytes += part.size();
        s->disconnectFromHost(); // after the bytes above are out
        return;
    }
    s->write(A.Chunked && !A.Body.isEmpty() ? Chunk(A.Body) : A.Body);
    SentBodyBytes += A.Body.size();
    Conn->Chunked = A.Chunked;
    Conn->Filler = A.Filler;
    Conn->FillerLeft = A.FillerSize;
    Conn->CloseWhenSent = close;
    Pump(Conn);
}

void THttpPeer::Pump(const std::shared_ptr<TConn>& Conn)
{
    QTcpSocket* s = Conn->Socket;
    if (!s || !Conn->Answering || s->state() != QAbstractSocket::ConnectedState)
        return;
    // Keeps a bounded amount queued so that a huge reply never sits in memory.
    constexpr qint64 chunk = 64 * 1024;
    while (Conn->FillerLeft > 0 && s->bytesToWrite() < 4 * chunk) {
        const qint64 n = qMin(chunk, Conn->FillerLeft);
        const QByteArray filler(n, Conn->Filler);
        s->write(Conn->Chunked ? Chunk(filler) : filler);
        Conn->FillerLeft -= n;
        SentBodyBytes += n;
    }
    if (Conn->FillerLeft > 0)
        return;
    if (Conn->Chunked) {
        s->write("0\r\n\r\n");
        Conn->Chunked = false;
    }
    if (Conn->CloseWhenSent) {
        Conn->Answering = true; // nothing more on this connection
        s->disconnectFromHost();
        return;
    }
    Conn->Answering = false;
    if (!Conn->Buffer.isEmpty())
        QTimer::singleShot(0, this, [this, Conn] { Process(Conn); });
}

QByteArray FormField(const THttpRequest& Request, const QByteArray& Name)
{
    for (const auto& [name, value] : FormPairs(Request))
        if (name == Name)
            return value;
    return "<missing>";
}

} // namespace tftest
