#include "SiteServer.h"

#include "TestFolders.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QHttpMultiPart>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMessageAuthenticationCode>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUrlQuery>
#include <csignal>
#include <pwd.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace tftest
{

namespace
{

constexpr int kInstallTimeoutMs = 60000;
constexpr int kStartTimeoutMs = 30000;
constexpr int kToolTimeoutMs = 30000;

const char* const kSiteScripts[] = {"actions.php", "track.php", "tracking-lib.php", "upgrade.php"};

quint16 FreePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

QString FindTool(const QString& name)
{
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, {"/usr/sbin", "/usr/local/sbin", "/usr/bin"});
    return path;
}

QByteArray PhpEscaped(const QString& value)
{
    QByteArray out;
    for (const char c : value.toLocal8Bit()) {
        if (c == '\\' || c == '"' || c == '$')
            out += '\\';
        out += c;
    }
    return out;
}

QByteArray Tail(const QString& file, int bytes = 2000)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const qint64 size = f.size();
    if (size > bytes)
        f.seek(size - bytes);
    return f.readAll();
}

// A server whose test program crashed must not live on holding its port.
// Each server leads its own process group, so that stopping it also stops
// the workers it forked (PHP's server with PHP_CLI_SERVER_WORKERS).
std::unique_ptr<QProcess> NewServerProcess()
{
    auto process = std::make_unique<QProcess>();
#ifdef Q_OS_LINUX
    process->setChildProcessModifier([] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
#endif
    process->setProcessChannelMode(QProcess::MergedChannels);
    return process;
}

void KillProcess(std::unique_ptr<QProcess>& process)
{
    if (!process)
        return;
    if (process->state() != QProcess::NotRunning) {
        if (process->processId() > 0)
            ::kill(-pid_t(process->processId()), SIGKILL);
        process->kill();
        process->waitForFinished(5000);
    }
    process.reset();
}

} // namespace

const char* SiteDbName(TSiteDb db)
{
    return db == TSiteDb::MariaDb ? "MariaDb" : "Sqlite";
}

QByteArray ConfigPhpText(const QString& host, const QString& db, const QString& user, const QString& password)
{
    QByteArray text = "<?php\r\n";
    text += "  $hostname=\"" + PhpEscaped(host) + "\";\r\n";
    text += "  $database=\"" + PhpEscaped(db) + "\";\r\n";
    text += "  $username=\"" + PhpEscaped(user) + "\";\r\n";
    text += "  $password=\"" + PhpEscaped(password) + "\";\r\n";
    text += "?>\r\n";
    return text;
}

// ---- HTTP --------------------------------------------------------------------

THttpReply THttpSession::Post(const QString& url, const TPostFields& fields, int timeoutMs)
{
    auto* form = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    for (const auto& [name, value] : fields) {
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentDispositionHeader, "form-data; name=\"" + name + "\"");
        part.setBody(value);
        form->append(part);
    }
    QNetworkReply* reply = Manager.post(Request(url, timeoutMs), form);
    form->setParent(reply);
    return Wait(reply);
}

THttpReply THttpSession::Get(const QString& url, int timeoutMs)
{
    return Wait(Manager.get(Request(url, timeoutMs)));
}

QNetworkRequest THttpSession::Request(const QString& url, int timeoutMs)
{
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(timeoutMs);
    // One connection per request: a kept-alive connection that the server
    // drops lets the network stack send the request again by itself, and a
    // tracking hit sent twice counts twice.
    request.setRawHeader("Connection", "close");
    return request;
}

THttpReply THttpSession::Wait(QNetworkReply* reply)
{
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    THttpReply result;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    result.Arrived = status.isValid();
    result.Status = status.toInt();
    result.Body = reply->readAll();
    if (reply->error() != QNetworkReply::NoError)
        result.Error = reply->errorString();
    reply->deleteLater();
    return result;
}

TRawReply RawRequest(const QString& url, const QByteArray& fromAddress,
                     const QList<QPair<QByteArray, QByteArray>>& headers, const QByteArray& method,
                     const QByteArray& body)
{
    const QUrl target(url);
    QTcpSocket socket;
    TRawReply reply;
    if (!socket.bind(QHostAddress(QString::fromLatin1(fromAddress))))
        return reply;
    socket.connectToHost(QHostAddress(target.host()), quint16(target.port()));
    if (!socket.waitForConnected(5000))
        return reply;
    QByteArray request = method + ' ' + target.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority) +
                         " HTTP/1.0\r\nHost: " + target.host().toLatin1() + "\r\n";
    for (const auto& [name, value] : headers)
        request += name + ": " + value + "\r\n";
    if (!body.isEmpty())
        request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    socket.write(request + "\r\n" + body);
    QByteArray raw;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(15000))
        raw += socket.readAll();
    raw += socket.readAll();
    const qsizetype end = raw.indexOf("\r\n\r\n");
    if (end < 0)
        return reply;
    reply.Head = raw.left(end);
    reply.Body = raw.mid(end + 4);
    reply.Status = reply.Head.mid(9, 3).toInt();
    return reply;
}

// ---- the site ------------------------------------------------------------------

TSiteServer::TSiteServer(TSiteDb db) : Db(db) {}

TSiteServer::~TSiteServer()
{
    Stop();
}

void TSiteServer::Stop()
{
    KillProcess(WebProcess);
    KillProcess(DbProcess);
}

bool TSiteServer::Fail(const QString& what)
{
    LastError = what;
    return false;
}

bool TSiteServer::Start()
{
    return StartDatabase() && StartWeb();
}

bool TSiteServer::StartDatabase()
{
    if (!Dir.isValid())
        return Fail("cannot create a temporary folder: " + Dir.errorString());
    return Db == TSiteDb::MariaDb ? StartMariaDb() : StartSqlite();
}

QString TSiteServer::DbHost() const
{
    if (Db == TSiteDb::MariaDb)
        return QStringLiteral("127.0.0.1:%1").arg(DbPort);
    // Relative to actions.php, as the demo site names it.
    return QStringLiteral("sqlite:../data/tallyfair.db");
}

bool TSiteServer::StartSqlite()
{
    if (!QDir(Dir.path()).mkpath("data"))
        return Fail("cannot create the data folder");
    QFile::remove(Dir.filePath("data/tallyfair.db"));
    QFile schema(SourceDir() + "/server/schema-sqlite.sql");
    if (!schema.open(QIODevice::ReadOnly))
        return Fail("cannot read " + schema.fileName());
    SiteUser.clear();
    SitePassword.clear();
    return Exec(QString::fromUtf8(schema.readAll()));
}

bool TSiteServer::StartMariaDb()
{
    // The same server as scripts/stack.sh runs, started by the same script:
    // first it makes the data folder, then it becomes mariadbd. The port is
    // chosen between the two, so that no other server takes it meanwhile.
    const QString script = SourceDir() + "/scripts/mariadb.sh";
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start("bash", {script, "--install", Dir.filePath("mysql"), Dir.path()});
    if (!install.waitForFinished(kInstallTimeoutMs) || install.exitStatus() != QProcess::NormalExit ||
        install.exitCode() != 0) {
        install.kill();
        return Fail("mariadb-install-db failed: " + QString::fromLocal8Bit(install.readAll().right(2000)));
    }
    DbPort = FreePort();
    if (DbPort == 0)
        return Fail("no free port for MariaDB");
    DbProcess = NewServerProcess();
    DbProcess->setStandardOutputFile(Dir.filePath("mariadb.out"));
    DbProcess->start("bash",
                     {script, Dir.filePath("mysql"), Dir.path(), QString::number(DbPort),
                      "--innodb-buffer-pool-size=16M", "--innodb-log-file-size=8M", "--max-connections=50"});
    if (!WaitForPort(*DbProcess, DbPort, kStartTimeoutMs, Dir.filePath("mariadb.log")))
        return false;
    // The port answering could still be another server that took it first;
    // ours has its socket once it listens, and ends if it cannot.
    if (!WaitFor([this] { return QFile::exists(DbSocket()) || DbProcess->state() == QProcess::NotRunning; },
                 kStartTimeoutMs) ||
        DbProcess->state() == QProcess::NotRunning)
        return Fail("MariaDB did not start on port " + QString::number(DbPort) + ":\n" +
                    QString::fromLocal8Bit(Tail(Dir.filePath("mariadb.log"))));

    const QByteArray database = DbName().toLatin1();
    if (!Exec("CREATE DATABASE IF NOT EXISTS `" + QString::fromLatin1(database) + "`"))
        return false;
    QFile schema(SourceDir() + "/server/schema.sql");
    if (!schema.open(QIODevice::ReadOnly))
        return Fail("cannot read " + schema.fileName());
    if (!Exec(QString::fromUtf8(schema.readAll())))
        return false;
    return SetSiteUser("tf_site", "site-pass");
}

bool TSiteServer::SetSiteUser(const QString& user, const QString& password)
{
    if (Db != TSiteDb::MariaDb)
        return Fail("only MariaDB has users");
    // The site needs rows only (and to call track.php's procedure, once
    // upgrade.php has made it); it never changes the tables.
    const QString grant = "GRANT SELECT, INSERT, UPDATE, DELETE, EXECUTE ON `" + DbName() + "`.* TO ?@'%'";
    if (!Exec("DROP USER IF EXISTS ?@'%'", {user.toUtf8()}) ||
        !Exec("CREATE USER ?@'%' IDENTIFIED BY ?", {user.toUtf8(), password.toUtf8()}) ||
        !Exec(grant, {user.toUtf8()}))
        return false;
    SiteUser = user;
    SitePassword = password;
    return true;
}

bool TSiteServer::WaitForPort(QProcess& process, quint16 port, int timeoutMs, const QString& logFile)
{
    if (!process.waitForStarted(5000))
        return Fail(process.program() + " did not start: " + process.errorString());
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (process.state() == QProcess::NotRunning)
            return Fail(process.program() + " ended at start:\n" + QString::fromLocal8Bit(Tail(logFile)));
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    return Fail(process.program() + " not listening on port " + QString::number(port) + " after " +
                QString::number(timeoutMs) + " ms:\n" + QString::fromLocal8Bit(Tail(logFile)));
}

bool TSiteServer::StartWeb(const QByteArray& configPhp)
{
    if (!Dir.isValid())
        return Fail("cannot create a temporary folder");
    KillProcess(WebProcess);
    const QString www = Dir.filePath("www");
    if (!QDir().mkpath(www))
        return Fail("cannot create " + www);
    for (const char* script : kSiteScripts) {
        const QString target = www + "/" + script;
        QFile::remove(target);
        QString source = ScriptsFolder + "/" + script;
        if (ScriptsFolder.isEmpty() || !QFile::exists(source))
            source = SourceDir() + "/server/" + script;
        if (!QFile::copy(source, target))
            return Fail(QStringLiteral("cannot copy %1 into the document root").arg(script));
    }
    if (!WriteConfig(configPhp))
        return false;

    const QString php = FindTool("php");
    if (php.isEmpty())
        return Fail("php not found (install php-cli, see scripts/deps.sh)");
    if (Secret.isEmpty() && !MakeSecret())
        return false;
    WebPort = FreePort();
    if (WebPort == 0)
        return Fail("no free port for PHP");
    WebProcess = NewServerProcess();
    WebProcess->setStandardOutputFile(Dir.filePath("php.log"));
    if (WebWorkers > 0) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PHP_CLI_SERVER_WORKERS", QString::number(WebWorkers));
        WebProcess->setProcessEnvironment(env);
    }
    QStringList args;
    for (const QString& setting : WebIni)
        args << "-d" << setting;
    // With scripts/site.sh's router, so that the tests meet the demo's
    // server as it is: only Host 127.0.0.1 and localhost are answered.
    args << "-S" << QStringLiteral("127.0.0.1:%1").arg(WebPort) << "-t" << www
         << SourceDir() + "/scripts/site-router.php";
    WebProcess->start(php, args);
    return WaitForPort(*WebProcess, WebPort, kStartTimeoutMs, Dir.filePath("php.log"));
}

// Once per site: later starts keep the file, as a site keeps its secret.
bool TSiteServer::MakeSecret()
{
    QProcess upgrade;
    upgrade.setWorkingDirectory(DocRoot());
    upgrade.start(FindTool("php"), {"upgrade.php", "--make-secret"});
    if (!upgrade.waitForFinished(kToolTimeoutMs) || upgrade.exitCode() != 0)
        return Fail("upgrade.php --make-secret failed: " +
                    QString::fromLocal8Bit(upgrade.readAllStandardError()));
    const QByteArray line = upgrade.readAllStandardOutput().trimmed();
    if (!line.startsWith("TRACKING_SECRET=") || line.size() != 16 + 64)
        return Fail("upgrade.php --make-secret printed: " + QString::fromLocal8Bit(line));
    Secret = line.mid(16);
    return true;
}

bool TSiteServer::WriteConfig(const QByteArray& configPhp)
{
    const QString path = Dir.filePath("www/config.php");
    QFile::remove(path);
    if (configPhp.isNull())
        return true;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(configPhp) != configPhp.size())
        return Fail("cannot write " + path);
    return true;
}

QString TSiteServer::SiteUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(WebPort);
}

QString TSiteServer::ActionsUrl() const
{
    return SiteUrl() + "/actions.php";
}

// The scripts before the protocol had any extension, as git keeps them: they
// stand for an operator's older copy, so they come from the commit, never
// from a copy that could drift. Taken once per test process; without them
// every test that asks would run the current scripts, so their absence stops
// the process.
QString TSiteServer::OlderScriptsFolder()
{
    static const char* const kCommit = "b8e9df4";
    static QTemporaryDir folder;
    static const bool taken = [] {
        for (const char* script : {"actions.php", "tracking-lib.php"}) {
            QProcess git;
            git.start("git",
                      {"-C", SourceDir(), "show", QStringLiteral("%1:server/%2").arg(kCommit, script)});
            QFile out(folder.filePath(script));
            if (!git.waitForFinished(30000) || git.exitCode() != 0 || !out.open(QIODevice::WriteOnly) ||
                out.write(git.readAllStandardOutput()) <= 0)
                qFatal("the older site scripts are not in git (git show %s:server/%s): %s", kCommit, script,
                       git.readAllStandardError().constData());
        }
        return true;
    }();
    Q_UNUSED(taken);
    return folder.path();
}

QString TSiteServer::DocRoot() const
{
    return Dir.filePath("www");
}

QString TSiteServer::TrackUrl(const QList<QPair<QString, QString>>& query) const
{
    QUrl url(SiteUrl() + "/track.php");
    QUrlQuery q;
    q.setQueryItems(query);
    url.setQuery(q);
    return url.toString(QUrl::FullyEncoded);
}

QByteArray TSiteServer::SaleSignature(const QByteArray& order, const QByteArray& affid) const
{
    return QMessageAuthenticationCode::hash(order + '\n' + affid, Secret, QCryptographicHash::Sha256).toHex();
}

QString TSiteServer::SignedSaleUrl(const QString& order, const QString& affid) const
{
    return TrackUrl({{"event", "sale"},
                     {"order", order},
                     {"affid", affid},
                     {"sig", QString::fromLatin1(SaleSignature(order.toUtf8(), affid.toUtf8()))}});
}

TRawReply TSiteServer::RunCgi(const QString& script, const QByteArray& query, const QStringList& extra,
                              const QByteArray& body, const QByteArray& contentType,
                              const QStringList& ini) const
{
    QProcessEnvironment env;
    env.insert("PATH", qEnvironmentVariable("PATH"));
    const QStringList vars = {"GATEWAY_INTERFACE=CGI/1.1",
                              "SERVER_PROTOCOL=HTTP/1.1",
                              "SERVER_NAME=127.0.0.1",
                              "REQUEST_METHOD=" + QString(body.isEmpty() ? "GET" : "POST"),
                              "SCRIPT_FILENAME=" + DocRoot() + "/" + script,
                              "SCRIPT_NAME=/" + script,
                              "REQUEST_URI=/" + script +
                                  (query.isEmpty() ? "" : "?" + QString::fromLatin1(query)),
                              "QUERY_STRING=" + QString::fromLatin1(query),
                              "REMOTE_ADDR=127.0.0.1",
                              "REDIRECT_STATUS=200",
                              "CONTENT_TYPE=" + QString::fromLatin1(contentType),
                              "CONTENT_LENGTH=" + QString::number(body.size())};
    for (const QString& var : vars + extra)
        env.insert(var.section('=', 0, 0), var.section('=', 1));
    QStringList args;
    for (const QString& setting : ini)
        args << "-d" << setting;
    QProcess cgi;
    cgi.setProcessEnvironment(env);
    cgi.setWorkingDirectory(DocRoot());
    cgi.start(FindTool("php-cgi"), args);
    cgi.write(body);
    cgi.closeWriteChannel();
    TRawReply reply;
    if (!cgi.waitForFinished(kToolTimeoutMs))
        return reply;
    const QByteArray out = cgi.readAllStandardOutput();
    const qsizetype end = out.indexOf("\r\n\r\n");
    reply.Head = out.left(end);
    reply.Body = end < 0 ? QByteArray() : out.mid(end + 4);
    const qsizetype status = reply.Head.indexOf("Status: ");
    reply.Status = status < 0 ? 200 : reply.Head.mid(status + 8, 3).toInt();
    return reply;
}

QString TSiteServer::WebLog() const
{
    return QString::fromLocal8Bit(Tail(Dir.filePath("php.log"), 8000));
}

bool TSiteServer::RunSqlTool(const QString& sql, const QList<QByteArray>& params, QByteArray* out)
{
    QString dsn;
    QString user;
    if (Db == TSiteDb::MariaDb) {
        if (!DbProcess)
            return Fail("MariaDB is not running");
        dsn = "mysql:unix_socket=" + DbSocket() + ";charset=utf8mb4";
        if (!sql.startsWith("CREATE DATABASE"))
            dsn += ";dbname=" + DbName();
        // The database's owner is whoever started it, by socket authentication.
        if (const passwd* me = ::getpwuid(::geteuid()))
            user = QString::fromLocal8Bit(me->pw_name);
    } else {
        dsn = "sqlite:" + Dir.filePath("data/tallyfair.db");
    }
    QStringList args = {SourceDir() + "/tests/support/sql-tool.php", dsn, user, QString(), sql};
    for (const QByteArray& p : params)
        args << QString::fromUtf8(p);
    QProcess tool;
    tool.start(FindTool("php"), args);
    if (!tool.waitForFinished(kToolTimeoutMs)) {
        tool.kill();
        tool.waitForFinished(1000);
        return Fail("sql tool timed out on: " + sql.left(200));
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        return Fail("SQL failed: " + QString::fromLocal8Bit(tool.readAllStandardError()) + "\n" +
                    sql.left(400));
    if (out)
        *out = tool.readAllStandardOutput();
    return true;
}

bool TSiteServer::Exec(const QString& sql, const QList<QByteArray>& params)
{
    return RunSqlTool(sql, params, nullptr);
}

QList<TDbRow> TSiteServer::Rows(const QString& sql, const QList<QByteArray>& params)
{
    QByteArray json;
    if (!RunSqlTool(sql, params, &json))
        return {};
    QList<TDbRow> rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(json).array()) {
        TDbRow values;
        for (const QJsonValue& v : row.toArray())
            values << (v.isNull() ? QByteArray() : QByteArray::fromBase64(v.toString().toLatin1()));
        rows << values;
    }
    return rows;
}

bool TSiteServer::Reset()
{
    return Exec("DELETE FROM tf_sales; DELETE FROM tf_hourly; DELETE FROM tf_hourly_sums WHERE hour_start > "
                "0; DELETE FROM tf_affiliates; DELETE FROM tf_seen");
}

} // namespace tftest
