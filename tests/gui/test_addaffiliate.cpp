// The add/edit affiliate dialog as the operator meets it: its controls, the
// checks on Ok with their messages, the edit mode and Cancel.
#include "GuiHelpers.h"
#include "components/MessageBox.h"
#include "tracking/FAddAffiliate.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <limits>
#include <optional>

using namespace tftest;

namespace
{

class AddAffiliateTest : public ::testing::Test
{
protected:
    QWidget Owner;
    TMessageBox Msg{&Owner};
    TModalPilot Pilot;

    // Runs the dialog with Steps acting on it as the operator.
    bool Run(TAffiliateInput& Values, bool Editing, std::function<void(QWidget*)> Steps,
             const QString& Site = QStringLiteral("http://shop.example/event"))
    {
        Pilot.Handle(std::move(Steps));
        const bool ok = TfrmAddAffiliate::RunAddAffiliate(&Owner, Msg, Site, Values, Editing);
        EXPECT_EQ(Pilot.Pending(), 0);
        EXPECT_TRUE(Pilot.Unexpected.isEmpty()) << Pilot.Unexpected.join("; ").toStdString();
        return ok;
    }

    // Queues the answer to a check message and notes its kind.
    void ExpectNotice(std::optional<QMessageBox::Icon>& Icon)
    {
        Pilot.Handle([this, &Icon](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            Icon = box->icon();
            Pilot.Messages << box->text();
            EXPECT_EQ(box->buttons().size(), 1);
            box->button(QMessageBox::Ok)->click();
        });
    }

    // The widget Tab moves to from W.
    static QWidget* NextTabStop(QWidget* W)
    {
        QWidget* next = W->nextInFocusChain();
        while (next != W && !(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        return next;
    }

    static void Type(QWidget* Dialog, const char* Edit, const QString& Text)
    {
        auto* e = Find<QLineEdit>(Dialog, Edit);
        e->clear();
        QTest::keyClicks(e, Text);
    }
};

TEST_F(AddAffiliateTest, HasTheControlsInTheirPlaces)
{
    TAffiliateInput v;
    const bool ok = Run(v, false, [](QWidget* d) {
        EXPECT_EQ(d->objectName(), "frmAddAffiliate");
        EXPECT_EQ(d->windowTitle(), "Add Affiliate");
        EXPECT_EQ(d->size(), QSize(402, 160));
        EXPECT_EQ(d->minimumSize(), d->maximumSize());
        EXPECT_FALSE(d->windowFlags().testFlag(Qt::WindowCloseButtonHint));

        auto* name = Find<QLineEdit>(d, "edtAffName");
        auto* id = Find<QLineEdit>(d, "edtAffID");
        auto* okBtn = Find<QPushButton>(d, "btnOk");
        auto* cancel = Find<QPushButton>(d, "btnCancel");
        EXPECT_EQ(name->geometry(), QRect(87, 11, 288, 18));
        EXPECT_EQ(id->geometry(), QRect(87, 38, 121, 18));
        EXPECT_EQ(okBtn->geometry(), QRect(109, 107, 75, 25));
        EXPECT_EQ(cancel->geometry(), QRect(191, 107, 75, 25));
        EXPECT_EQ(okBtn->text(), "Ok");
        EXPECT_EQ(cancel->text(), "Cancel");
        EXPECT_TRUE(name->text().isEmpty());
        EXPECT_TRUE(id->text().isEmpty());
        EXPECT_EQ(name->maxLength(), std::numeric_limits<int>::max()) << "no length limit";
        EXPECT_EQ(id->maxLength(), std::numeric_limits<int>::max()) << "no length limit";
        EXPECT_EQ(Find<QLabel>(d, "lblAffName")->text(), "Affiliate Name:");
        EXPECT_EQ(Find<QLabel>(d, "lblAffID")->text(), "Affiliate ID:");
        auto* help = Find<QLabel>(d, "lblHelp");
        EXPECT_EQ(help->text(),
                  "The affiliate url will be like http://shop.example/event/track.php?affid=AFFILIATEID "
                  "where AFFILIATEID will be the value that you enter in the previous field");
        EXPECT_TRUE(help->wordWrap());
        EXPECT_EQ(help->geometry(), QRect(9, 63, 370, 26));

        // Tab order: name, id, Ok, Cancel.
        EXPECT_EQ(NextTabStop(name), id);
        EXPECT_EQ(NextTabStop(id), okBtn);
        EXPECT_EQ(NextTabStop(okBtn), cancel);
        Click(cancel);
    });
    EXPECT_FALSE(ok);
}

TEST_F(AddAffiliateTest, OkHandsBackTheTextsAsTyped)
{
    TAffiliateInput v;
    const bool ok = Run(v, false, [](QWidget* d) {
        Type(d, "edtAffName", "  Jane Roe ");
        Type(d, "edtAffID", " jane1");
        Click(Find<QPushButton>(d, "btnOk"));
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(v.Name, "  Jane Roe ");
    EXPECT_EQ(v.AffiliateId, " jane1");
    EXPECT_TRUE(Pilot.Messages.isEmpty());
}

TEST_F(AddAffiliateTest, BlankNameIsRefusedAndTheDialogStaysWithItsTexts)
{
    std::optional<QMessageBox::Icon> icon;
    TAffiliateInput v;
    const bool ok = Run(v, false, [this, &icon](QWidget* d) {
        Type(d, "edtAffName", "   ");
        Type(d, "edtAffID", "x1");
        ExpectNotice(icon);
        Click(Find<QPushButton>(d, "btnOk"));
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(Find<QLineEdit>(d, "edtAffID")->text(), "x1");
        Type(d, "edtAffName", "Ann");
        Click(Find<QPushButton>(d, "btnOk"));
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(Pilot.Messages, QStringList({"Please provide a valid Affiliate Name"}));
    ASSERT_TRUE(icon.has_value());
    EXPECT_EQ(*icon, QMessageBox::Information);
    EXPECT_EQ(v.Name, "Ann");
    EXPECT_EQ(v.AffiliateId, "x1");
}

TEST_F(AddAffiliateTest, BlankIdIsRefusedAndBothBlankShowsOnlyTheNameMessage)
{
    std::optional<QMessageBox::Icon> first, second;
    TAffiliateInput v;
    const bool ok = Run(v, false, [this, &first, &second](QWidget* d) {
        ExpectNotice(first);
        Click(Find<QPushButton>(d, "btnOk"));
        Type(d, "edtAffName", "Ann");
        Type(d, "edtAffID", "\t");
        ExpectNotice(second);
        Click(Find<QPushButton>(d, "btnOk"));
        EXPECT_TRUE(d->isVisible());
        Click(Find<QPushButton>(d, "btnCancel"));
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(Pilot.Messages,
              QStringList({"Please provide a valid Affiliate Name", "Please provide a valid Affiliate ID"}));
    EXPECT_EQ(second, QMessageBox::Information);
    EXPECT_TRUE(v.Name.isEmpty());
}

TEST_F(AddAffiliateTest, EditShowsTheRecordAndCancelKeepsIt)
{
    TAffiliateInput v{"Bob Smith", "bob1"};
    const bool ok = Run(v, true, [](QWidget* d) {
        EXPECT_EQ(d->windowTitle(), "Edit Affiliate");
        EXPECT_EQ(Find<QLineEdit>(d, "edtAffName")->text(), "Bob Smith");
        EXPECT_EQ(Find<QLineEdit>(d, "edtAffID")->text(), "bob1");
        Type(d, "edtAffName", "Robert");
        Click(Find<QPushButton>(d, "btnCancel"));
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(v.Name, "Bob Smith");
    EXPECT_EQ(v.AffiliateId, "bob1");
}

TEST_F(AddAffiliateTest, EditOkGivesTheChangedTexts)
{
    TAffiliateInput v{"Bob Smith", "bob1"};
    const bool ok = Run(v, true, [](QWidget* d) {
        Type(d, "edtAffID", "bob2");
        QTest::keyClick(Find<QLineEdit>(d, "edtAffID"), Qt::Key_Return); // Enter is Ok
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(v.Name, "Bob Smith");
    EXPECT_EQ(v.AffiliateId, "bob2");
}

TEST_F(AddAffiliateTest, TextsLongerThanAnEditsDefaultLimitStayWhole)
{
    const QString name(40000, QLatin1Char('n'));
    TAffiliateInput v{name, QString(33000, QLatin1Char('i'))};
    const TAffiliateInput stored = v;
    EXPECT_TRUE(Run(v, true, [](QWidget* d) { Click(Find<QPushButton>(d, "btnOk")); }));
    EXPECT_EQ(v.Name, stored.Name);
    EXPECT_EQ(v.AffiliateId, stored.AffiliateId);
}

TEST_F(AddAffiliateTest, SiteAddressIsShownAsTextNotMarkup)
{
    TAffiliateInput v;
    Run(
        v, false,
        [](QWidget* d) {
            auto* help = Find<QLabel>(d, "lblHelp");
            EXPECT_EQ(help->textFormat(), Qt::PlainText);
            EXPECT_TRUE(help->text().contains("http://<b>x</b>/track.php?affid=AFFILIATEID"));
            Click(Find<QPushButton>(d, "btnCancel"));
        },
        "http://<b>x</b>/");
    Run(
        v, false,
        [](QWidget* d) {
            EXPECT_TRUE(
                Find<QLabel>(d, "lblHelp")->text().contains("http://www.yoursite.com/track.php?affid="));
            Click(Find<QPushButton>(d, "btnCancel"));
        },
        "");
}

} // namespace
