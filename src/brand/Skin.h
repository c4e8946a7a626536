#pragma once
// Skin data: a Qt style sheet stored compressed. The file format, used for
// mainskin.dat beside the program:
//
//   offset 0, 8 bytes   magic "TFSKIN\x01\x00"
//   offset 8, 4 bytes   length of the style sheet in bytes, little-endian
//   offset 12           the style sheet (UTF-8), compressed as one zlib stream
//
// Anything else is "a file without skin data" and is not applied.
#include <QByteArray>
#include <QString>

namespace skin
{

constexpr qsizetype MaxStyleSheetBytes = 4 * 1024 * 1024;

QByteArray Pack(const QByteArray& StyleSheetUtf8);
// False for anything that is not skin data; StyleSheet is then untouched.
bool Unpack(const QByteArray& Data, QString& StyleSheet);

} // namespace skin
