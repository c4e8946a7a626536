#pragma once
// A real site for end-to-end tests: the reference actions.php (and track.php)
// on PHP's built-in server, over a private MariaDB server started in a
// temporary folder, or over an SQLite file for speed. Everything listens on
// 127.0.0.1 on free ports and is killed by Stop() or the destructor. The
// site's secret file is made by its own upgrade.php, as an operator makes it.
//
// What it shares with the scripts is what decides how the site behaves:
// MariaDB is started by scripts/mariadb.sh, as scripts/stack.sh starts it,
// and PHP's server runs behind scripts/site-router.php, as scripts/site.sh
// runs it. It does not call site.sh itself, which is made for an operator:
// it never runs the server as a root caller (so it would hand this private
// folder to another user), makes a fresh demo database on every start
// (tests restart the web server over the same, empty, database), leaves the
// server running detached (here it dies with the test), and takes neither
// php.ini settings nor a worker count.
#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class QNetworkReply;

namespace tftest
{

enum class TSiteDb { Sqlite, MariaDb };

// Name of the backend, for test names and messages.
const char* SiteDbName(TSiteDb db);

// config.php in the form the program writes: six CR LF lines, each value
// between double quotes with \ " $ escaped.
QByteArray ConfigPhpText(const QString& host, const QString& db, const QString& user,
                         const QString& password);

struct THttpReply {
    bool Arrived = false; // an HTTP reply came back, whatever its status
    int Status = 0;
    QByteArray Body;
    QString Error; // transport error text when nothing (or an error status) came
};

using TPostFields = QList<QPair<QByteArray, QByteArray>>;

// One client with its own cookies, like the program's single HTTP object.
class THttpSession
{
public:
    // multipart/form-data, one part per field in order, no part content type.
    THttpReply Post(const QString& url, const TPostFields& fields, int timeoutMs = 15000);
    THttpReply Get(const QString& url, int timeoutMs = 15000);

private:
    static QNetworkRequest Request(const QString& url, int timeoutMs);
    THttpReply Wait(QNetworkReply* reply);
    QNetworkAccessManager Manager;
};

// One request on a connection of its own from a chosen loopback address
// (127.0.0.2 is another client to the site), HTTP/1.0 so that the reply ends
// with the connection. Head holds the status line and headers.
struct TRawReply {
    int Status = 0;
    QByteArray Head;
    QByteArray Body;
};
TRawReply RawRequest(const QString& url, const QByteArray& fromAddress,
                     const QList<QPair<QByteArray, QByteArray>>& headers = {},
                     const QByteArray& method = "GET", const QByteArray& body = {});
// The value of a header in Head, empty when it has none.
inline QByteArray HeaderValue(const QByteArray& head, const QByteArray& name)
{
    for (const QByteArray& line : head.split('\n'))
        if (line.toLower().startsWith(name.toLower() + ":"))
            return line.mid(name.size() + 1).trimmed();
    return {};
}

// A database row as text; NULL comes back empty.
using TDbRow = QList<QByteArray>;

class TSiteServer
{
public:
    explicit TSiteServer(TSiteDb db = TSiteDb::Sqlite);
    ~TSiteServer();
    TSiteServer(const TSiteServer&) = delete;
    TSiteServer& operator=(const TSiteServer&) = delete;

    // Database and web server with a config.php for the site's own user.
    bool Start();

    // The database with the schema loaded and a site user that may read and
    // write the tables (MariaDB) or the SQLite file.
    bool StartDatabase();
    // MariaDB only: (re)creates the site's user with this password.
    bool SetSiteUser(const QString& user, const QString& password);

    // What the settings dialog would hold to reach the database.
    QString DbHost() const;
    QString DbName() const { return Db == TSiteDb::MariaDb ? QStringLiteral("tallyfair") : QString(); }
    // MariaDB's Unix socket, which actions.php also takes as a host.
    QString DbSocket() const { return Dir.filePath("mariadb.sock"); }
    QString DbUser() const { return SiteUser; }
    QString DbPassword() const { return SitePassword; }
    QByteArray ConfigPhp() const { return ConfigPhpText(DbHost(), DbName(), DbUser(), DbPassword()); }

    // PHP's built-in server on a fresh document root holding copies of the
    // site scripts and the given config.php.
    bool StartWeb(const QByteArray& configPhp);
    // For the next StartWeb: extra php.ini settings ("memory_limit=4M") and
    // the number of worker processes (0: one process, requests in turn).
    void SetWebOptions(const QStringList& iniSettings, int workers)
    {
        WebIni = iniSettings;
        WebWorkers = workers;
    }
    bool StartWeb() { return StartWeb(ConfigPhp()); }
    // For the next StartWeb: take the site scripts from this folder, and
    // those it lacks from server/ (empty: all from server/).
    // OlderScriptsFolder() holds the scripts of a site without any protocol
    // extension, as an operator who has not upgraded runs them (from git).
    void SetScriptsFolder(const QString& folder) { ScriptsFolder = folder; }
    static QString OlderScriptsFolder();
    // Replaces config.php (or removes it when configPhp is null).
    bool WriteConfig(const QByteArray& configPhp);

    QString SiteUrl() const;    // "http://127.0.0.1:<port>", no trailing slash
    QString ActionsUrl() const; // SiteUrl() + "/actions.php"
    QString DocRoot() const;

    // track.php with this query, encoded.
    QString TrackUrl(const QList<QPair<QString, QString>>& query) const;
    // A sale as the shop's server reports it: signed with the site's secret.
    QString SignedSaleUrl(const QString& order, const QString& affid) const;
    // The signature of a sale, lowercase hex; computed here, not by the site.
    QByteArray SaleSignature(const QByteArray& order, const QByteArray& affid) const;
    // A script of the document root run by php-cgi, as a web server other
    // than PHP's own runs a CGI script: GET with the query, or POST with the
    // body; extra variables ("TALLYFAIR_PROTECTED=1", "HTTP_ORIGIN=...")
    // are set last, over the usual ones; ini holds php -d settings.
    TRawReply RunCgi(const QString& script, const QByteArray& query, const QStringList& extra,
                     const QByteArray& body = {}, const QByteArray& contentType = {},
                     const QStringList& ini = {}) const;

    // The secret that upgrade.php printed when it made the secret file.
    QByteArray TrackingSecret() const { return Secret; }

    // Direct access for arranging and checking, as the database's owner.
    // With params, sql is one statement with ? placeholders.
    bool Exec(const QString& sql, const QList<QByteArray>& params = {});
    QList<TDbRow> Rows(const QString& sql, const QList<QByteArray>& params = {});
    // Empties the tables.
    bool Reset();

    TSiteDb Backend() const { return Db; }
    // What went wrong last, with the tail of the server's log.
    QString Error() const { return LastError; }
    QString WebLog() const;

    void Stop();

private:
    bool StartMariaDb();
    bool StartSqlite();
    bool RunSqlTool(const QString& sql, const QList<QByteArray>& params, QByteArray* out);
    bool Fail(const QString& what);
    bool WaitForPort(QProcess& process, quint16 port, int timeoutMs, const QString& logFile);
    bool MakeSecret();

    TSiteDb Db;
    QTemporaryDir Dir;
    std::unique_ptr<QProcess> DbProcess;
    std::unique_ptr<QProcess> WebProcess;
    quint16 DbPort = 0;
    quint16 WebPort = 0;
    QString SiteUser;
    QString SitePassword;
    QStringList WebIni;
    QString ScriptsFolder;
    int WebWorkers = 0;
    QByteArray Secret;
    QString LastError;
};

} // namespace tftest
