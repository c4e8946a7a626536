#include "FSettings.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace
{

constexpr int ClientWidth = 409;
constexpr int ClientHeight = 218;
constexpr int EditLeft = 116;
constexpr int EditHeight = 18;

template <class T> T* Named(T* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel* Caption(QWidget* parent, const char* name, const QString& text, int top)
{
    auto* l = Named(new QLabel(text, parent), name);
    l->move(16, top);
    l->adjustSize();
    return l;
}

QLineEdit* Edit(QWidget* parent, const char* name, int top, int width)
{
    auto* e = Named(new QLineEdit(parent), name);
    e->setGeometry(EditLeft, top, width, EditHeight);
    return e;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, int left)
{
    auto* b = Named(new QPushButton(caption, parent), name);
    b->setGeometry(left, 178, 75, 25);
    // No default button: Return in a field must not confirm the dialog and
    // write both files; only a press of Ok does.
    b->setAutoDefault(false);
    return b;
}

} // namespace

TfrmSettings::TfrmSettings(TConnectionSettings& Target_, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), Target(Target_)
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Settings"));
    setFixedSize(ClientWidth, ClientHeight);
    BuildControls();
    connect(btnOk, &QPushButton::clicked, this, &TfrmSettings::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmSettings::btnCancelClick);

    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen)
        setGeometry(
            QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
}

void TfrmSettings::BuildControls()
{
    Caption(this, "Label1", QStringLiteral("Site URL:"), 16);
    edtSite = Edit(this, "edtSite", 14, 270);
    Caption(this, "Label2", QStringLiteral("MYSQL Host:"), 42);
    edtHostname = Edit(this, "edtHostname", 40, 269);
    Caption(this, "Label3", QStringLiteral("Database:"), 69);
    edtDatabase = Edit(this, "edtDatabase", 67, 177);
    Caption(this, "Label4", QStringLiteral("Database User:"), 96);
    edtUsername = Edit(this, "edtUsername", 94, 177);
    Caption(this, "Label5", QStringLiteral("User Password:"), 123);
    // Shown as typed: the operator copies it from the hosting panel and
    // wants to see what goes into config.php.
    edtPassword = Edit(this, "edtPassword", 121, 177);

    auto* note =
        Named(new QLabel(QStringLiteral(
                             "After save the changes a new configuration file (config.php) will be created."),
                         this),
              "Label6");
    note->setWordWrap(true);
    note->setGeometry(18, 150, 355, 26);

    btnOk = Button(this, "btnOk", QStringLiteral("Ok"), 132);
    btnCancel = Button(this, "btnCancel", QStringLiteral("Cancel"), 215);

    setTabOrder(edtSite, edtHostname);
    setTabOrder(edtHostname, edtDatabase);
    setTabOrder(edtDatabase, edtUsername);
    setTabOrder(edtUsername, edtPassword);
    setTabOrder(edtPassword, btnOk);
    setTabOrder(btnOk, btnCancel);
    edtSite->setFocus();
}

void TfrmSettings::ShowValues(const TConnectionSettings& Values)
{
    edtSite->setText(Values.SiteUrl);
    edtHostname->setText(Values.DbHost);
    edtDatabase->setText(Values.DbName);
    edtUsername->setText(Values.DbUser);
    edtPassword->setText(Values.DbPassword);
}

void TfrmSettings::ApplyToMain()
{
    Target.SiteUrl = edtSite->text();
    Target.DbHost = edtHostname->text();
    Target.DbName = edtDatabase->text();
    Target.DbUser = edtUsername->text();
    Target.DbPassword = edtPassword->text();
}

void TfrmSettings::btnOkClick()
{
    ApplyToMain();
    accept();
}

void TfrmSettings::btnCancelClick()
{
    reject();
}

bool RunSettingsDialog(QWidget* Parent, TConnectionSettings& Settings)
{
    // On the heap and guarded: should the parent go away during the modal
    // loop, it takes the dialog with it and we must not delete it again.
    QPointer<TfrmSettings> frmSettings = new TfrmSettings(Settings, Parent);
    frmSettings->ShowValues(Settings);
    const int result = frmSettings->exec();
    delete frmSettings.data();
    return result == QDialog::Accepted;
}
