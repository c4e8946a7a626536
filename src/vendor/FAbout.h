#pragma once
// TfrmAbout: the about box with the brand's product name, the program's
// version, the brand's copyright line and its about text.
#include "brand/BrandFile.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class TfrmAbout : public QDialog
{
    Q_OBJECT
public:
    TfrmAbout(const TBrandRecord& Brand, QWidget* parent = nullptr);

    void FormCreate();
    void editAboutClick();

private:
    const TBrandRecord& Brand;
    QLabel* lblProductName = nullptr;
    QLabel* lblProductVersion = nullptr;
    QLabel* lblCopyright1 = nullptr;
    QPlainTextEdit* memAbout = nullptr;
    QPushButton* editAbout = nullptr;
};

// Creates the about box, shows it modally and destroys it when it closes.
void RunAboutBox(QWidget* Parent, const TBrandRecord& Brand);
