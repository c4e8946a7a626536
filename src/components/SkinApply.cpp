#include "SkinApply.h"

#include "Skin.h"

#include <QApplication>
#include <QFile>
#include <QStyleFactory>

namespace {
#include "BuiltinSkin.inc"
} // namespace

namespace skin {

QString BuiltIn()
{
    QString sheet;
    Unpack(QByteArray::fromRawData(reinterpret_cast<const char*>(BuiltinSkinData), sizeof BuiltinSkinData),
           sheet);
    return sheet;
}

void Apply(const QString& StyleSheet)
{
    // Fusion draws the same on every desktop, so the sheet looks as designed.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
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
