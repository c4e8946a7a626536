#include "SkinApply.h"

#include "BuiltinStyle.h"
#include "brand/Skin.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QStyleFactory>

namespace skin
{

namespace
{

// The desktop's font from before the built-in look, for a skin that
// replaces that look.
QFont& DesktopFont()
{
    static QFont font = QApplication::font();
    return font;
}

} // namespace

void ApplyBuiltIn()
{
    DesktopFont();
    qApp->setStyleSheet(QString());
    QApplication::setStyle(new TBuiltinStyle);
    QApplication::setPalette(TBuiltinStyle::Palette());
    QApplication::setFont(TBuiltinStyle::Font());
}

void Apply(const QString& StyleSheet)
{
    // Fusion draws the same on every desktop, so the sheet looks as designed.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
        QApplication::setStyle(fusion);
        QApplication::setPalette(fusion->standardPalette());
    }
    QApplication::setFont(DesktopFont());
    qApp->setStyleSheet(StyleSheet);
}

bool ApplyFile(const QString& Path)
{
    QFile f(Path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > MaxStyleSheetBytes)
        return false;
    QString sheet;
    if (!Unpack(f.readAll(), sheet))
        return false;
    Apply(sheet);
    return true;
}

} // namespace skin
