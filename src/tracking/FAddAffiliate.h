#pragma once
// TfrmAddAffiliate: the small dialog that collects an affiliate's name and
// affiliate id, for adding one and for editing one. It only checks that
// neither text is blank; sending them is the main window's business.
#include "tracking/AffiliateInput.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TMessageBox;

class TfrmAddAffiliate : public QDialog
{
    Q_OBJECT
public:
    TfrmAddAffiliate(QWidget* Parent, TMessageBox& Msg, const QString& SiteUrl);

    // Shows the dialog modally, for editing with Values in the edits and the
    // caption "Edit Affiliate", else empty. On Ok, Values gets the texts as
    // typed (not trimmed) and the result is true; Cancel leaves Values alone.
    static bool RunAddAffiliate(QWidget* Parent, TMessageBox& Msg, const QString& SiteUrl,
                                TAffiliateInput& Values, bool Editing);

    void SetValues(const TAffiliateInput& Values);
    TAffiliateInput Values() const;

    void btnOkClick();
    void btnCancelClick();

protected:
    void showEvent(QShowEvent* Event) override;

private:
    TMessageBox& msgMain; // the main window's, so the checks look like every other message
    QLineEdit* edtAffName = nullptr;
    QLineEdit* edtAffID = nullptr;
    QLabel* lblHelp = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
};
