#pragma once
// THttpPeer: a real HTTP/1.1 server on 127.0.0.1 (plain or TLS with the test
// certificate) for the network tests. It records every request's raw bytes
// and answers as scripted: status, headers, body, a delay, no answer at all,
// a connection dropped mid-reply, a streamed reply of any size. It is driven
// by the event loop only, so it works while the code under test waits in its
// own local event loop on the same thread.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSslCertificate>
#include <QString>
#include <functional>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace tftest
{

using THeaderList = QList<QPair<QByteArray, QByteArray>>;

struct THttpRequest {
    QByteArray Raw; // request line, headers and body exactly as received
    QByteArray Method;
    QByteArray Target; // path and query as written on the request line
    QByteArray Version;
    THeaderList Headers;
    QByteArray Body;
    int Connection = 0; // which connection (counting from 1) carried it

    // Value of the first header of that name (any case); empty when absent.
    QByteArray Header(const QByteArray& Name) const;
    bool HasHeader(const QByteArray& Name) const;
};

struct THttpAnswer {
    int Status = 200;
    QByteArray Reason; // derived from Status when empty
    THeaderList Headers;
    QByteArray Body;
    int DelayMs = 0;         // wait this long before answering
    bool Hang = false;       // never answer, keep the connection open
    qint64 DropAfter = -1;   // send only this many body bytes, then close
    qint64 FillerSize = 0;   // append this many filler bytes, streamed
    bool SendLength = true;  // Content-Length; else the reply ends by closing
    bool CloseAfter = false; // close the connection once answered
    bool Chunked = false;    // body and filler in chunks, without Content-Length
    char Filler = 'x';       // the byte the filler is made of

    static THttpAnswer Text(const QByteArray& Body, int Status = 200);
    static THttpAnswer Redirect(const QByteArray& Location, int Status = 302);
    static THttpAnswer Challenge(const QByteArray& Realm);
    THttpAnswer& With(const QByteArray& Name, const QByteArray& Value);
};

// One part of a multipart/form-data body.
struct TFormPart {
    THeaderList Headers;
    QByteArray Name; // from the Content-Disposition header
    QByteArray Value;
};

// Cuts a multipart/form-data request into its parts, boundary taken from the
// request's Content-Type. False for a body that does not follow the format
// (missing boundary, unterminated part, bytes after the closing delimiter).
bool ParseMultipart(const THttpRequest& Request, QList<TFormPart>& Parts);

// The (name, value) pairs of a multipart request in order; empty when the
// body does not parse.
QList<QPair<QByteArray, QByteArray>> FormPairs(const THttpRequest& Request);
// The value of the first field of that name; "<missing>" when there is none,
// so that a test can tell an absent field from an empty one.
QByteArray FormField(const THttpRequest& Request, const QByteArray& Name);

class THttpPeer : public QObject
{
    Q_OBJECT
public:
    enum TMode { Plain, Tls };
    using THandler = std::function<THttpAnswer(const THttpRequest&)>;

    explicit THttpPeer(TMode Mode = Plain, QObject* parent = nullptr);
    ~THttpPeer() override;

    quint16 Port() const;
    // Address of Path on this peer, e.g. http://127.0.0.1:4711/actions.php
    QString Url(const QString& Path = QStringLiteral("/")) const;

    // Answers are taken from the queue first, then from the handler; with
    // neither the peer answers 404.
    void Queue(const THttpAnswer& Answer);
    void SetHandler(THandler Handler);

    const QList<THttpRequest>& Requests() const { return Received; }
    int ConnectionCount() const { return Connections; }
    qint64 BodyBytesSent() const { return SentBodyBytes; }

    // The CA that signed the peer's TLS certificate.
    static QList<QSslCertificate> TestCa();

signals:
    void RequestReceived(int Index);

private:
    struct TConn;
    void OnNewConnection();
    void Process(const std::shared_ptr<TConn>& Conn);
    void Answer(const std::shared_ptr<TConn>& Conn, const THttpAnswer& A);
    void Pump(const std::shared_ptr<TConn>& Conn);

    TMode Mode;
    QTcpServer* Server = nullptr;
    QList<THttpAnswer> Pending;
    THandler Handler;
    QList<THttpRequest> Received;
    int Connections = 0;
    qint64 SentBodyBytes = 0;
};

} // namespace tftest
