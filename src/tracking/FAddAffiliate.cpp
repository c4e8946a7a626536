#include "FAddAffiliate.h"

#include "components/MessageBox.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <limits>

namespace
{

template <class T> T* Named(T* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel* Caption(QWidget* parent, const char* name, const QString& text, int left, int top)
{
    auto* l = Named(new QLabel(text, parent), name);
    l->setTextFormat(Qt::PlainText);
    l->move(left, top);
    l->adjustSize();
    return l;
}

} // namespace

TfrmAddAffiliate::TfrmAddAffiliate(QWidget* Parent, TMessageBox& Msg, const QString& SiteUrl)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), msgMain(Msg)
{
    setObjectName(QStringLiteral("frmAddAffiliate"));
    setWindowTitle(QStringLiteral("Add Affiliate"));
    setFixedSize(402, 160);

    Caption(this, "lblAffName", QStringLiteral("Affiliate Name:"), 10, 13);
    edtAffName = Named(new QLineEdit(this), "edtAffName");
    edtAffName->setGeometry(87, 11, 288, 18);
    Caption(this, "lblAffID", QStringLiteral("Affiliate ID:"), 10, 40);
    edtAffID = Named(new QLineEdit(this), "edtAffID");
    edtAffID->setGeometry(87, 38, 121, 18);
    // No length limit: a longer stored name must not be cut short on edit.
    for (QLineEdit* edit : {edtAffName, edtAffID})
        edit->setMaxLength(std::numeric_limits<int>::max());

    // The site address comes from the settings; show it as text, never markup.
    lblHelp = Named(new QLabel(AffiliateHelpText(SiteUrl), this), "lblHelp");
    lblHelp->setTextFormat(Qt::PlainText);
    lblHelp->setWordWrap(true);
    lblHelp->setGeometry(9, 63, 370, 26);

    btnOk = Named(new QPushButton(QStringLiteral("Ok"), this), "btnOk");
    btnOk->setGeometry(109, 107, 75, 25);
    btnOk->setDefault(true);
    btnCancel = Named(new QPushButton(QStringLiteral("Cancel"), this), "btnCancel");
    btnCancel->setGeometry(191, 107, 75, 25);

    setTabOrder(edtAffName, edtAffID);
    setTabOrder(edtAffID, btnOk);
    setTabOrder(btnOk, btnCancel);
    edtAffName->setFocus();

    connect(btnOk, &QPushButton::clicked, this, &TfrmAddAffiliate::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmAddAffiliate::btnCancelClick);
}

bool TfrmAddAffiliate::RunAddAffiliate(QWidget* Parent, TMessageBox& Msg, const QString& SiteUrl,
                                       TAffiliateInput& Values, bool Editing)
{
    TfrmAddAffiliate dlg(Parent, Msg, SiteUrl);
    if (Editing) {
        dlg.setWindowTitle(QStringLiteral("Edit Affiliate"));
        dlg.SetValues(Values);
    }
    if (dlg.exec() != QDialog::Accepted)
        return false;
    Values = dlg.Values();
    return true;
}

void TfrmAddAffiliate::SetValues(const TAffiliateInput& Values)
{
    edtAffName->setText(Values.Name);
    edtAffID->setText(Values.AffiliateId);
}

TAffiliateInput TfrmAddAffiliate::Values() const
{
    return {edtAffName->text(), edtAffID->text()};
}

void TfrmAddAffiliate::btnOkClick()
{
    const QString problem = AffiliateInputProblem(Values());
    if (!problem.isEmpty()) {
        msgMain.Notice(problem, TMsgKind::Information);
        return;
    }
    accept();
}

void TfrmAddAffiliate::btnCancelClick()
{
    reject();
}

void TfrmAddAffiliate::showEvent(QShowEvent* Event)
{
    QDialog::showEvent(Event);
    // Centred on the screen, not on the main window.
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}
