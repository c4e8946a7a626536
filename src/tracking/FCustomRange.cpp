#include "FCustomRange.h"

#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>

namespace
{

QDateEdit* DayEdit(QWidget* parent, const char* name, QDate Day)
{
    auto* e = new QDateEdit(Day, parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setCalendarPopup(true);
    e->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    return e;
}

} // namespace

TfrmCustomRange::TfrmCustomRange(QWidget* parent, QDate FirstDay, QDate LastDay) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmCustomRange"));
    setWindowTitle(QStringLiteral("Custom range"));
    setModal(true);
    auto* form = new QFormLayout(this);
    form->setContentsMargins(12, 12, 12, 12);
    edtFirstDay = DayEdit(this, "edtFirstDay", FirstDay);
    edtLastDay = DayEdit(this, "edtLastDay", LastDay);
    form->addRow(QStringLiteral("From"), edtFirstDay);
    form->addRow(QStringLiteral("To (included)"), edtLastDay);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOk"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QDate TfrmCustomRange::First() const
{
    return std::min(edtFirstDay->date(), edtLastDay->date());
}

QDate TfrmCustomRange::Last() const
{
    return std::max(edtFirstDay->date(), edtLastDay->date());
}

bool TfrmCustomRange::RunCustomRange(QWidget* parent, QDate& FirstDay, QDate& LastDay)
{
    TfrmCustomRange dialog(parent, FirstDay, LastDay);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    FirstDay = dialog.First();
    LastDay = dialog.Last();
    return true;
}
