#include "FAbout.h"

#include "brand/AppConstants.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>

TfrmAbout::TfrmAbout(const TBrandRecord& brand, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), Brand(brand)
{
    setObjectName(QStringLiteral("frmAbout"));
    setFixedSize(368, 211);
    // The about box has no window icon of its own; a null icon would fall
    // back to the program's, so it gets an empty picture.
    QPixmap noIcon(16, 16);
    noIcon.fill(Qt::transparent);
    setWindowIcon(QIcon(noIcon));

    auto label = [this](const char* name, int top) {
        auto* l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        // Brand texts are shown as written: as rich text they could name
        // pictures, which a label would load from the disk.
        l->setTextFormat(Qt::PlainText);
        l->setGeometry(9, top, 350, 20);
        return l;
    };
    lblProductName = label("lblProductName", 7);
    QFont bold = lblProductName->font();
    bold.setBold(true);
    lblProductName->setFont(bold);
    lblProductVersion = label("lblProductVersion", 32);
    lblCopyright1 = label("lblCopyright1", 58);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("bsSkinPanel1"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setGeometry(8, 88, 348, 71);
    memAbout = new QPlainTextEdit(panel);
    memAbout->setObjectName(QStringLiteral("memAbout"));
    memAbout->setReadOnly(true);
    memAbout->setFrameShape(QFrame::NoFrame);
    memAbout->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    memAbout->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The memo keeps its own font, black Arial (or the sans serif the
    // system puts in its place), whatever the look gives the dialog.
    QFont memoFont(QStringLiteral("Arial"));
    memoFont.setStyleHint(QFont::SansSerif);
    memoFont.setPixelSize(11);
    memAbout->setFont(memoFont);
    QPalette memoPalette = memAbout->palette();
    memoPalette.setColor(QPalette::Text, Qt::black);
    memAbout->setPalette(memoPalette);
    auto* fill = new QHBoxLayout(panel);
    fill->setContentsMargins(1, 1, 1, 1);
    fill->addWidget(memAbout);

    editAbout = new QPushButton(QStringLiteral("Ok"), this);
    editAbout->setObjectName(QStringLiteral("editAbout"));
    editAbout->setGeometry(129, 171, 87, 21);
    editAbout->setDefault(true);
    connect(editAbout, &QPushButton::clicked, this, &TfrmAbout::editAboutClick);

    FormCreate();
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TfrmAbout::FormCreate()
{
    setWindowTitle(QStringLiteral("About ") + Brand.ApplicationName + QStringLiteral("..."));
    lblProductName->setText(Brand.ApplicationName);
    lblProductVersion->setText(QStringLiteral("Product Version: ") + QString(AppVersion));
    lblCopyright1->setText(QStringLiteral("Copyright (c) ") + Brand.CopyrightYears + QLatin1Char(' ') +
                           Brand.CopyrightCompany);
    // Every kind of line break in the brand text starts a new line.
    QString text = Brand.AboutText;
    text.replace(QRegularExpression(QStringLiteral("\r\n|\r")), QStringLiteral("\n"));
    memAbout->setPlainText(text);
}

void TfrmAbout::editAboutClick()
{
    accept();
}

void RunAboutBox(QWidget* Parent, const TBrandRecord& Brand)
{
    TfrmAbout about(Brand, Parent);
    about.exec();
}
