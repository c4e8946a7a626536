// The Settings dialog as the operator uses it: it shows the current values,
// Ok hands back what the fields hold, anything else changes nothing.
#include "GuiHelpers.h"
#include "QtPrinters.h"
#include "TestFolders.h"
#include "settings/FSettings.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

namespace
{

using tftest::Find;
using tftest::TModalPilot;

const char* const EditNames[] = {"edtSite", "edtHostname", "edtDatabase", "edtUsername", "edtPassword"};

TConnectionSettings Current()
{
    return {"http://example.test/event", "db.example.test", "event", "operator", "s3cret"};
}

QStringList Fields(QWidget* dialog)
{
    QStringList texts;
    for (const char* name : EditNames)
        if (auto* e = Find<QLineEdit>(dialog, name))
            texts << e->text();
    return texts;
}

QStringList Values(const TConnectionSettings& s)
{
    return {s.SiteUrl, s.DbHost, s.DbName, s.DbUser, s.DbPassword};
}

void Retype(QLineEdit* edit, const QString& text)
{
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    // Key events carrying each character's text, as a keyboard layout would
    // deliver them; Qt Test's own helper knows ASCII keys only.
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &press);
        QApplication::sendEvent(edit, &release);
    }
}

void ExpectNoSurprises(const TModalPilot& pilot)
{
    EXPECT_EQ(pilot.Pending(), 0);
    EXPECT_TRUE(pilot.Unexpected.isEmpty()) << pilot.Unexpected.join(" | ").toStdString();
}

TEST(SettingsDialog, LayoutCaptionsAndWindowKind)
{
    TConnectionSettings s;
    TfrmSettings dialog(s);
    EXPECT_EQ(dialog.objectName(), "frmSettings");
    EXPECT_EQ(dialog.windowTitle(), "Settings");
    EXPECT_EQ(dialog.minimumSize(), QSize(409, 218));
    EXPECT_EQ(dialog.maximumSize(), QSize(409, 218));
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinMaxButtonsHint);

    const struct {
        const char* name;
        QRect geometry;
    } edits[] = {{"edtSite", {116, 14, 270, 18}},
                 {"edtHostname", {116, 40, 269, 18}},
                 {"edtDatabase", {116, 67, 177, 18}},
                 {"edtUsername", {116, 94, 177, 18}},
                 {"edtPassword", {116, 121, 177, 18}}};
    for (const auto& e : edits)
        if (auto* w = Find<QLineEdit>(&dialog, e.name)) {
            EXPECT_EQ(w->geometry(), e.geometry) << e.name;
        }
    EXPECT_EQ(Find<QLineEdit>(&dialog, "edtPassword")->echoMode(), QLineEdit::Normal);

    const struct {
        QString text;
        QPoint at;
    } labels[] = {
        {"Site URL:", {16, 16}},
        {"MYSQL Host:", {16, 42}},
        {"Database:", {16, 69}},
        {"Database User:", {16, 96}},
        {"User Password:", {16, 123}},
        {"After save the changes a new configuration file (config.php) will be created.", {18, 150}}};
    const QList<QLabel*> all = dialog.findChildren<QLabel*>();
    for (const auto& l : labels) {
        const auto it = std::find_if(all.begin(), all.end(), [&](QLabel* w) { return w->text() == l.text; });
        ASSERT_NE(it, all.end()) << l.text.toStdString();
        EXPECT_EQ((*it)->pos(), l.at) << l.text.toStdString();
    }

    auto* ok = Find<QPushButton>(&dialog, "btnOk");
    auto* cancel = Find<QPushButton>(&dialog, "btnCancel");
    ASSERT_TRUE(ok && cancel);
    EXPECT_EQ(ok->text(), "Ok");
    EXPECT_EQ(ok->geometry(), QRect(132, 178, 75, 25));
    EXPECT_EQ(cancel->text(), "Cancel");
    EXPECT_EQ(cancel->geometry(), QRect(215, 178, 75, 25));
}

TEST(SettingsDialog, OpensCentredWithTheCurrentValues)
{
    TConnectionSettings s = Current();
    TModalPilot pilot;
    QStringList shown;
    QPoint offCentre;
    pilot.Handle([&](QWidget* dialog) {
        shown = Fields(dialog);
        offCentre = dialog->geometry().center() - dialog->screen()->availableGeometry().center();
        tftest::Click(Find<QPushButton>(dialog, "btnCancel"));
    });
    EXPECT_FALSE(RunSettingsDialog(nullptr, s));
    ExpectNoSurprises(pilot);
    EXPECT_EQ(shown, Values(Current()));
    EXPECT_LE(offCentre.manhattanLength(), 2);
}

TEST(SettingsDialog, OkHandsBackExactlyWhatTheFieldsHold)
{
    TConnectionSettings s = Current();
    const QStringList typed{"http://new.test/", "  spaced host ", "", "b\xC3\xBCser", "p\"$\\w"};
    TModalPilot pilot;
    QStringList atClick;
    pilot.Handle([&](QWidget* dialog) {
        for (int i = 0; i < 5; ++i)
            Retype(Find<QLineEdit>(dialog, EditNames[i]), typed[i]);
        tftest::Click(Find<QPushButton>(dialog, "btnOk"));
        // The settings change as Ok is pressed, not when the dialog is gone.
        atClick = Values(s);
    });
    EXPECT_TRUE(RunSettingsDialog(nullptr, s));
    ExpectNoSurprises(pilot);
    EXPECT_EQ(Values(s), typed);
    EXPECT_EQ(atClick, typed);
}

TEST(SettingsDialog, OkWithoutEditsKeepsTheValues)
{
    TConnectionSettings s = Current();
    TModalPilot pilot;
    pilot.Handle([&](QWidget* dialog) { tftest::Click(Find<QPushButton>(dialog, "btnOk")); });
    EXPECT_TRUE(RunSettingsDialog(nullptr, s));
    ExpectNoSurprises(pilot);
    EXPECT_EQ(s, Current());
}

TEST(SettingsDialog, ClearedFieldsGiveEmptySettings)
{
    TConnectionSettings s = Current();
    TModalPilot pilot;
    pilot.Handle([&](QWidget* dialog) {
        for (const char* name : EditNames)
            Retype(Find<QLineEdit>(dialog, name), {});
        tftest::Click(Find<QPushButton>(dialog, "btnOk"));
    });
    EXPECT_TRUE(RunSettingsDialog(nullptr, s));
    ExpectNoSurprises(pilot);
    EXPECT_EQ(s, TConnectionSettings{});
}

TEST(SettingsDialog, CancelOrEscapeAfterEditingChangesNothing)
{
    TConnectionSettings s = Current();
    TModalPilot pilot;
    pilot.Handle([&](QWidget* dialog) {
        // Return in a field is no Ok: the dialog has no default button.
        auto* host = Find<QLineEdit>(dialog, "edtHostname");
        Retype(host, "edited");
        QTest::keyClick(host, Qt::Key_Return);
        EXPECT_TRUE(dialog->isVisible());
        tftest::Click(Find<QPushButton>(dialog, "btnCancel"));
    });
    pilot.Handle([&](QWidget* dialog) {
        Retype(Find<QLineEdit>(dialog, "edtPassword"), "edited");
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QStringList shownAgain;
    pilot.Handle([&](QWidget* dialog) {
        shownAgain = Fields(dialog);
        tftest::Click(Find<QPushButton>(dialog, "btnCancel"));
    });
    EXPECT_FALSE(RunSettingsDialog(nullptr, s));
    EXPECT_FALSE(RunSettingsDialog(nullptr, s));
    EXPECT_FALSE(RunSettingsDialog(nullptr, s));
    ExpectNoSurprises(pilot);
    EXPECT_EQ(s, Current());
    EXPECT_EQ(shownAgain, Values(Current()));
}

TEST(SettingsDialog, TabWalksTheFieldsAndThenTheButtons)
{
    TConnectionSettings s = Current();
    TModalPilot pilot;
    QStringList visited;
    pilot.Handle([&](QWidget* dialog) {
        dialog->activateWindow();
        tftest::WaitFor([] { return QApplication::focusWidget() != nullptr; });
        for (int i = 0; i < 7; ++i) {
            QWidget* focus = QApplication::focusWidget();
            visited << (focus ? focus->objectName() : QStringLiteral("(none)"));
            QTest::keyClick(focus ? focus : dialog, Qt::Key_Tab);
        }
        tftest::Click(Find<QPushButton>(dialog, "btnCancel"));
    });
    EXPECT_FALSE(RunSettingsDialog(nullptr, s));
    ExpectNoSurprises(pilot);
    EXPECT_EQ(visited, (QStringList{"edtSite", "edtHostname", "edtDatabase", "edtUsername", "edtPassword",
                                    "btnOk", "btnCancel"}));
}

} // namespace
