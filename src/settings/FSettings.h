#pragma once
// TfrmSettings: the small dialog in which the operator enters the site's
// address and the database credentials that config.php carries.
#include "settings/ConnectionSettings.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

class TfrmSettings : public QDialog
{
    Q_OBJECT
public:
    // Target is the settings that Ok writes into; the dialog keeps a
    // reference to it for its lifetime.
    explicit TfrmSettings(TConnectionSettings& Target, QWidget* parent = nullptr);

    // Puts the values into the five edits.
    void ShowValues(const TConnectionSettings& Values);

    void btnOkClick();
    void btnCancelClick();

private:
    void BuildControls();
    void ApplyToMain();

    TConnectionSettings& Target;

    QLineEdit* edtSite = nullptr;
    QLineEdit* edtHostname = nullptr;
    QLineEdit* edtDatabase = nullptr;
    QLineEdit* edtUsername = nullptr;
    QLineEdit* edtPassword = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
};

// Shows the dialog modally with the values of Settings. On Ok the edited
// values are copied into Settings and the result is true; on Cancel, or any
// other way of closing, Settings is untouched and the result is false.
bool RunSettingsDialog(QWidget* Parent, TConnectionSettings& Settings);
