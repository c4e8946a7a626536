// The real main window against the real tracking script on a private MariaDB
// server: the operator enters the connection settings in the dialog, the
// config.php the program writes is the one the site runs with, and the two
// lists, add, edit and delete work on the database's rows.
#include "SiteFixture.h"
#include "app/FMain.h"
#include "support/GuiHelpers.h"
#include "support/QtPrinters.h"
#include "support/TestFolders.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

using namespace tftest;

namespace
{

// Every character that means something in a PHP double-quoted string.
const QString TrickyPassword = QStringLiteral("p$ss\"w{$x}\\d$1");

class ProgramOnSite : public ::testing::Test
{
protected:
    TDataFolder Folder;
    TSiteServer* Site = nullptr;
    std::unique_ptr<TfrmMain> Window;

    void SetUp() override
    {
        QString startError;
        Site = &TSharedSites::Get(TSiteDb::MariaDb, &startError);
        ASSERT_TRUE(startError.isEmpty()) << "MariaDB site did not start: " << startError.toStdString();
        ASSERT_TRUE(Site->Reset()) << Site->Error().toStdString();
        // The site keeps running with its own config until the program's
        // file replaces it, and that one has another password.
        ASSERT_TRUE(Site->WriteConfig(Site->ConfigPhp())) << Site->Error().toStdString();
        ASSERT_TRUE(Site->SetSiteUser(QStringLiteral("tf_site"), TrickyPassword))
            << Site->Error().toStdString();

        TAppEnvironment env;
        env.DataDir = Folder.Path();
        env.UpdateBaseURL = QStringLiteral("http://127.0.0.1:9/liveupdate/tallyfair/");
        Window = std::make_unique<TfrmMain>(env);
        ASSERT_TRUE(ShowUntilStarted(*Window, 60000));
    }
    void TearDown() override
    {
        Window.reset();
        if (Site)
            Site->SetSiteUser(QStringLiteral("tf_site"), QStringLiteral("site-pass"));
    }

    template <class T> T* Control(const char* name) { return Find<T>(Window.get(), name); }
    QTableView* Affiliates() { return Control<QTableView>("lvwPages"); }
    QTableView* Sales() { return Control<QTableView>("lvwReferers"); }
    QString Cell(QTableView* view, int row, int column)
    {
        return view->model()->index(row, column).data().toString();
    }
    QStringList Column(QTableView* view, int column)
    {
        QStringList out;
        for (int r = 0; r < view->model()->rowCount(); ++r)
            out << Cell(view, r, column);
        return out;
    }
    // Lets a selection change deliver its notification and its request end.
    void Settle()
    {
        WaitFor([] { return false; }, 300);
        ASSERT_TRUE(WaitFor([&] { return !RequestRunning(*Window); }, 60000));
    }

    // Types the settings into the dialog as the operator would and confirms.
    void EnterSettings(TModalPilot& pilot)
    {
        EnterSettings(pilot,
                      {Site->SiteUrl(), Site->DbHost(), Site->DbName(), Site->DbUser(), Site->DbPassword()});
    }
    // Site URL, host, database, user and password.
    void EnterSettings(TModalPilot& pilot, const QStringList& values)
    {
        pilot.Handle([values](QWidget* dialog) {
            const char* const fields[] = {"edtSite", "edtHostname", "edtDatabase", "edtUsername",
                                          "edtPassword"};
            for (int i = 0; i < 5; ++i) {
                auto* edit = dialog->findChild<QLineEdit*>(QString::fromLatin1(fields[i]));
                ASSERT_NE(edit, nullptr) << fields[i];
                edit->clear();
                QTest::keyClicks(edit, values.value(i));
            }
            Click(dialog->findChild<QPushButton*>(QStringLiteral("btnOk")));
        });
        Click(Control<QPushButton>("btnSimple"));
    }
    // The settings through the dialog, then the program's config.php onto the site.
    void Connect()
    {
        TModalPilot pilot;
        EnterSettings(pilot);
        ASSERT_TRUE(Folder.Exists(QStringLiteral("config.php")));
        ASSERT_TRUE(Site->WriteConfig(Folder.Read(QStringLiteral("config.php"))))
            << Site->Error().toStdString();
        EXPECT_TRUE(pilot.Unexpected.isEmpty()) << pilot.Unexpected.join(QLatin1Char('|')).toStdString();
    }

    void SeedAffiliate(const QByteArray& name, const QByteArray& linkId, const QList<QByteArray>& counters)
    {
        ASSERT_TRUE(Site->Exec("INSERT INTO tf_affiliates (name, link_id, oto_sales, subscribers, visitors, "
                               "unique_hits) VALUES (?, ?, ?, ?, ?, ?)",
                               QList<QByteArray>{name, linkId} + counters))
            << Site->Error().toStdString();
    }
    QByteArray IdOf(const QByteArray& linkId)
    {
        const auto rows = Site->Rows("SELECT id FROM tf_affiliates WHERE link_id = ?", {linkId});
        return rows.size() == 1 ? rows[0][0] : QByteArray();
    }
    QList<TDbRow> AffiliateRows()
    {
        return Site->Rows("SELECT name, link_id FROM tf_affiliates ORDER BY id");
    }
    void Refresh()
    {
        Click(Control<QPushButton>("btnRevfreshSegments"));
        Settle();
    }
    // Opens the add/edit dialog with the given button and types into it.
    void FillAffiliateDialog(TModalPilot& pilot, const QString& name, const QString& linkId,
                             QString* shownName = nullptr)
    {
        pilot.Handle([=](QWidget* dialog) {
            auto* edtName = dialog->findChild<QLineEdit*>(QStringLiteral("edtAffName"));
            auto* edtId = dialog->findChild<QLineEdit*>(QStringLiteral("edtAffID"));
            ASSERT_TRUE(edtName && edtId);
            if (shownName)
                *shownName = edtName->text();
            edtName->setText(name);
            edtId->setText(linkId);
            Click(dialog->findChild<QPushButton*>(QStringLiteral("btnOk")));
        });
    }
};

TEST_F(ProgramOnSite, SettingsFromTheDialogBecomeTheSitesConfigAndRefreshLoadsTheRows)
{
    SeedAffiliate("Zed", "zed-1", {"1", "2", "3", "4"});
    SeedAffiliate("Ann", "ann-1", {"10", "20", "30", "40"});

    // Before the program's settings reach the site, its own config holds a
    // password the database no longer takes: nothing loads.
    TModalPilot pilot;
    EnterSettings(pilot);
    Refresh();
    EXPECT_EQ(Affiliates()->model()->rowCount(), 0);

    // What was typed is stored for the next start and escaped for PHP.
    const TConnectionSettings stored = LoadConnectionSettingsFrom(Folder.Path());
    EXPECT_EQ(stored.SiteUrl, Site->SiteUrl());
    EXPECT_EQ(stored.DbHost, Site->DbHost());
    EXPECT_EQ(stored.DbPassword, TrickyPassword);
    EXPECT_EQ(Window->Settings, stored);
    const QByteArray written = Folder.Read(QStringLiteral("config.php"));
    EXPECT_EQ(written, tftest::ConfigPhpText(Site->DbHost(), Site->DbName(), Site->DbUser(), TrickyPassword));

    ASSERT_TRUE(Site->WriteConfig(written)) << Site->Error().toStdString();
    Refresh();
    ASSERT_EQ(Affiliates()->model()->rowCount(), 2) << Site->WebLog().toStdString();
    EXPECT_EQ(Column(Affiliates(), 0), (QStringList{"Ann", "Zed"}));
    EXPECT_EQ(Column(Affiliates(), 1), (QStringList{"ann-1", "zed-1"}));
    EXPECT_EQ(Cell(Affiliates(), 0, 5), QStringLiteral("40"));
    EXPECT_EQ(Cell(Affiliates(), 1, 2), QStringLiteral("1"));
    EXPECT_EQ(Control<QLabel>("lblTotalHits")->text(), QStringLiteral("Total: 2 affiliate(s)"));
    EXPECT_EQ(Control<QLabel>("lblOTOSales")->text(), QStringLiteral("OTO Sales: 11"));
    EXPECT_EQ(Control<QLabel>("lblUniqueHits")->text(), QStringLiteral("Unique Hits: 44"));
    EXPECT_TRUE(pilot.Messages.isEmpty());
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
}

TEST_F(ProgramOnSite, AddEditAndDeleteChangeTheDatabase)
{
    ASSERT_NO_FATAL_FAILURE(Connect());
    SeedAffiliate("Ann", "ann-1", {"0", "0", "0", "0"});
    Refresh();
    ASSERT_EQ(Affiliates()->model()->rowCount(), 1);

    TModalPilot pilot;
    FillAffiliateDialog(pilot, QStringLiteral(" Bea "), QStringLiteral("bea-2"));
    Click(Control<QPushButton>("bsSkinButton2"));
    Settle();
    ASSERT_EQ(AffiliateRows(), (QList<TDbRow>{{"Ann", "ann-1"}, {"Bea", "bea-2"}}));
    EXPECT_EQ(Column(Affiliates(), 0), (QStringList{"Ann", "Bea"}));

    // A taken affiliate id is refused by the site and said so; nothing is added.
    FillAffiliateDialog(pilot, QStringLiteral("Cyd"), QStringLiteral("ann-1"));
    pilot.Answer(QMessageBox::Ok);
    Click(Control<QPushButton>("bsSkinButton2"));
    Settle();
    EXPECT_EQ(pilot.Messages, QStringList{"This Affiliate ID already exists. Please enter a new Affiliate ID "
                                          "when add a new affiliate."});
    EXPECT_EQ(AffiliateRows().size(), 2);

    // Edit shows the stored record and saves the changed one in its place.
    const QByteArray beaId = IdOf("bea-2");
    ASSERT_FALSE(beaId.isEmpty());
    Affiliates()->selectRow(1);
    Settle();
    QString shownName;
    FillAffiliateDialog(pilot, QStringLiteral("Beatrix"), QStringLiteral("bea-3"), &shownName);
    Click(Control<QPushButton>("bsSkinButton3"));
    Settle();
    EXPECT_EQ(shownName, QStringLiteral("Bea"));
    EXPECT_EQ(Site->Rows("SELECT name, link_id FROM tf_affiliates WHERE id = ?", {beaId}),
              (QList<TDbRow>{{"Beatrix", "bea-3"}}));
    EXPECT_EQ(Column(Affiliates(), 0), (QStringList{"Ann", "Beatrix"}));

    // Delete asks first; only OK removes the row.
    Affiliates()->clearSelection();
    Affiliates()->selectRow(0); // Ann
    Settle();
    pilot.Answer(QMessageBox::Cancel);
    Click(Control<QPushButton>("btnDeleteSeg"));
    Settle();
    EXPECT_EQ(AffiliateRows().size(), 2);
    pilot.Answer(QMessageBox::Ok);
    Click(Control<QPushButton>("btnDeleteSeg"));
    Settle();
    EXPECT_EQ(AffiliateRows(), (QList<TDbRow>{{"Beatrix", "bea-3"}}));
    EXPECT_EQ(Column(Affiliates(), 0), QStringList{"Beatrix"});
    EXPECT_EQ(pilot.Messages.size(), 3);
    EXPECT_TRUE(pilot.Unexpected.isEmpty()) << pilot.Unexpected.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(pilot.Pending(), 0);
}

// The stack as an operator runs it (scripts/stack.sh): actions.php in nginx's
// protected folder behind HTTP Basic, the credentials in the site URL as
// stack.env gives it.
TEST_F(ProgramOnSite, WorksThroughTheStacksProtectedFolderWithCredentialsInTheSiteUrl)
{
    TDataFolder parent;
    // Started by root, the stack's servers run as another user, who must
    // pass through the folder above it.
    QFile::setPermissions(parent.Path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                             QFile::ExeGroup | QFile::ExeOther);
    const QString folder = parent.File("stack");
    const QString script = SourceDir() + "/scripts/stack.sh";
    QProcess start;
    start.setProcessChannelMode(QProcess::MergedChannels);
    start.start("bash", {script, "start", folder});
    const bool started = start.waitForFinished(180000) && start.exitCode() == 0;
    const auto stop = qScopeGuard([&] { QProcess::execute("bash", {script, "stop", folder}); });
    ASSERT_TRUE(started) << start.readAll().toStdString();
    QMap<QString, QString> env;
    for (const QByteArray& line : parent.Read("stack/stack.env").split('\n'))
        if (const qsizetype eq = line.indexOf('='); eq > 0)
            env[QString::fromUtf8(line.left(eq))] = QString::fromUtf8(line.mid(eq + 1));
    const auto sql = [&](const QString& statement) {
        QProcess client;
        client.start("bash",
                     {"-c", R"sh(mariadb --no-defaults --socket="$1" -u "$(id -un)" -N tallyfair -e "$2")sh",
                      "-", env["DB_SOCKET"], statement});
        client.waitForFinished(30000);
        return client.readAllStandardOutput();
    };
    sql("INSERT INTO tf_affiliates (name, link_id) VALUES ('Ann', 'ann-1')");

    TModalPilot pilot;
    EnterSettings(pilot,
                  {env["SITE_URL"], env["DB_SOCKET"], env["DB_NAME"], env["DB_USER"], env["DB_PASSWORD"]});
    ASSERT_TRUE(env["SITE_URL"].startsWith("http://operator:"));
    Refresh();
    ASSERT_EQ(Affiliates()->model()->rowCount(), 1);
    EXPECT_EQ(Cell(Affiliates(), 0, 0), QStringLiteral("Ann"));
    FillAffiliateDialog(pilot, QStringLiteral("Bea"), QStringLiteral("bea-2"));
    Click(Control<QPushButton>("bsSkinButton2"));
    Settle();
    EXPECT_EQ(sql("SELECT link_id FROM tf_affiliates ORDER BY id"), "ann-1\nbea-2\n");
    EXPECT_TRUE(pilot.Messages.isEmpty()) << pilot.Messages.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(pilot.Unexpected.isEmpty()) << pilot.Unexpected.join(QLatin1Char('|')).toStdString();
}

TEST_F(ProgramOnSite, TheShowBoxPicksWhichSalesAreListed)
{
    ASSERT_NO_FATAL_FAILURE(Connect());
    SeedAffiliate("Ann", "ann-1", {"0", "0", "0", "0"});
    SeedAffiliate("Bob", "bob-1", {"0", "0", "0", "0"});
    const QByteArray ann = IdOf("ann-1");
    const QByteArray bob = IdOf("bob-1");
    ASSERT_TRUE(Site->Exec("INSERT INTO tf_sales (affiliate_id, sale_order) VALUES (?, 'ord-a')", {ann}));
    ASSERT_TRUE(Site->Exec("INSERT INTO tf_sales (affiliate_id, sale_order) VALUES (?, 'ord-b')", {bob}));
    ASSERT_TRUE(Site->Exec("INSERT INTO tf_sales (affiliate_id, sale_order) VALUES (NULL, 'ord-none')"));
    Refresh();
    ASSERT_EQ(Affiliates()->model()->rowCount(), 2);
    auto* show = Control<QComboBox>("cbxQueryType");

    show->setCurrentIndex(1); // All affiliates sales
    Settle();
    EXPECT_EQ(Column(Sales(), 1), (QStringList{"ord-a", "ord-b"}));
    EXPECT_EQ(Column(Sales(), 0), (QStringList{"Ann", "Bob"}));
    EXPECT_EQ(Control<QLabel>("lblRefersHits")->text(), QStringLiteral("Total: 2 sales"));

    show->setCurrentIndex(2); // All no affiliates sales
    Settle();
    EXPECT_EQ(Column(Sales(), 1), QStringList{"ord-none"});
    EXPECT_EQ(Column(Sales(), 0), QStringList{""});

    show->setCurrentIndex(3); // All sales, in affiliate name order
    Settle();
    EXPECT_EQ(Column(Sales(), 0), (QStringList{"", "Ann", "Bob"}));
    EXPECT_EQ(Column(Sales(), 1), (QStringList{"ord-none", "ord-a", "ord-b"}));

    // Only the selected ones: nothing without a selection, then Bob's.
    show->setCurrentIndex(0);
    Settle();
    EXPECT_EQ(Sales()->model()->rowCount(), 0);
    Affiliates()->selectRow(1);
    Settle();
    EXPECT_EQ(Column(Sales(), 1), QStringList{"ord-b"});
    EXPECT_EQ(Control<QLabel>("lblRefersHits")->text(), QStringLiteral("Total: 1 sales"));

    // Deleting a sale removes it from the database and the list.
    TModalPilot pilot;
    pilot.Answer(QMessageBox::Ok);
    Sales()->selectRow(0);
    Click(Control<QPushButton>("bsSkinButton7"));
    Settle();
    EXPECT_EQ(Site->Rows("SELECT sale_order FROM tf_sales ORDER BY id"),
              (QList<TDbRow>{{"ord-a"}, {"ord-none"}}));
    EXPECT_EQ(Sales()->model()->rowCount(), 0);
    EXPECT_EQ(pilot.Messages, QStringList{"Are you sure do you want to delete the selected items?"});
}

// A whole session as an operator has it: connect, load the lists, open and
// leave every window, close. Nothing of the program may outlive its main
// window (the sanitizer build also checks the heap at exit).
TEST_F(ProgramOnSite, AWholeSessionLeavesNothingBehind)
{
    ASSERT_NO_FATAL_FAILURE(Connect());
    SeedAffiliate("Ann", "ann-1", {"1", "2", "3", "4"});
    ASSERT_TRUE(
        Site->Exec("INSERT INTO tf_sales (affiliate_id, sale_order) VALUES (?, 'ord-a')", {IdOf("ann-1")}));
    Refresh();
    ASSERT_EQ(Affiliates()->model()->rowCount(), 1);
    Affiliates()->selectRow(0);
    Settle();

    TModalPilot pilot;
    QStringList seen;
    const auto leave = [&seen](QWidget* modal) {
        seen << modal->objectName();
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    };
    for (const char* button : {"btnSimple", "bsSkinButton2", "bsSkinButton3", "btnAbout"}) {
        pilot.Handle(leave);
        Click(Control<QPushButton>(button));
        Settle();
    }
    EXPECT_EQ(seen, (QStringList{"frmSettings", "frmAddAffiliate", "frmAddAffiliate", "frmAbout"}));
    // Without a brand there is no news to show: said so in a message box.
    pilot.Answer(QMessageBox::Ok);
    Click(Control<QToolButton>("btnNews"));
    Settle();
    // Both delete questions, declined: the sales' first, as declining the
    // affiliates' one empties the sales list.
    ASSERT_EQ(Sales()->model()->rowCount(), 1);
    Sales()->selectRow(0);
    pilot.Answer(QMessageBox::Cancel);
    Click(Control<QPushButton>("bsSkinButton7"));
    Settle();
    pilot.Answer(QMessageBox::Cancel);
    Click(Control<QPushButton>("btnDeleteSeg"));
    Settle();
    EXPECT_EQ(pilot.Messages.size(), 3) << pilot.Messages.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(pilot.Pending(), 0);
    EXPECT_TRUE(pilot.Unexpected.isEmpty()) << pilot.Unexpected.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(AffiliateRows().size(), 1);
    EXPECT_EQ(Site->Rows("SELECT sale_order FROM tf_sales"), QList<TDbRow>{{"ord-a"}});
    // Leaving the windows changed nothing that was stored.
    EXPECT_EQ(LoadConnectionSettingsFrom(Folder.Path()), Window->Settings);

    EXPECT_TRUE(Window->close());
    Window.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QStringList left;
    for (QWidget* w : QApplication::topLevelWidgets())
        left << QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(':') + w->objectName();
    EXPECT_TRUE(left.isEmpty()) << left.join(QLatin1Char('|')).toStdString();
}

} // namespace
