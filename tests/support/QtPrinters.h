#pragma once
// Readable GoogleTest failure output for Qt strings and byte arrays (and so
// for lists of them): the text itself instead of a dump of 2-byte objects.
#include <QByteArray>
#include <QString>
#include <ostream>

inline void PrintTo(const QString& Text, std::ostream* Out)
{
    *Out << '"' << Text.toStdString() << '"';
}

inline void PrintTo(const QByteArray& Bytes, std::ostream* Out)
{
    *Out << '"';
    for (const char c : Bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            *Out << "\\r";
        else if (c == '\n')
            *Out << "\\n";
        else if (c == '"' || c == '\\')
            *Out << '\\' << c;
        else if (u < 0x20 || u >= 0x7f)
            *Out << "\\x"
                 << "0123456789abcdef"[u >> 4] << "0123456789abcdef"[u & 15];
        else
            *Out << c;
    }
    *Out << '"';
}
