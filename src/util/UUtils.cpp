#include "UUtils.h"

#include "DesktopBrowser.h"

#include <QProcess>
#include <QStandardPaths>

void SplitByChar(char Separator, const QByteArray& Text, QList<QByteArray>& List)
{
    List.clear();
    qsizetype start = 0;
    for (qsizetype i = 0; i < Text.size(); ++i) {
        if (Text[i] == Separator) {
            List.append(Text.mid(start, i - start));
            start = i + 1;
        }
    }
    if (start < Text.size())
        List.append(Text.mid(start));
}

void SplitByChar(QChar Separator, const QString& Text, QStringList& List)
{
    List.clear();
    qsizetype start = 0;
    for (qsizetype i = 0; i < Text.size(); ++i) {
        if (Text[i] == Separator) {
            List.append(Text.mid(start, i - start));
            start = i + 1;
        }
    }
    if (start < Text.size())
        List.append(Text.mid(start));
}

namespace
{
int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

QByteArray UnescapeDollarHex(const QByteArray& Text)
{
    QByteArray result;
    result.reserve(Text.size());
    qsizetype i = 0;
    while (i < Text.size()) {
        if (Text[i] != '$') {
            result.append(Text[i]);
            ++i;
            continue;
        }
        // "$" and up to two digits after it, fewer where the text ends.
        const qsizetype digits = qMin<qsizetype>(2, Text.size() - i - 1);
        if (digits == 0)
            return {};
        int value = 0;
        for (qsizetype k = 1; k <= digits; ++k) {
            const int d = HexDigit(Text[i + k]);
            if (d < 0)
                return {};
            value = value * 16 + d;
        }
        result.append(char(value & 0xFF));
        i += 1 + digits;
    }
    return result;
}

QByteArray TrimLow(const QByteArray& Text)
{
    qsizetype b = 0, e = Text.size();
    while (b < e && uchar(Text[b]) <= 32)
        ++b;
    while (e > b && uchar(Text[e - 1]) <= 32)
        --e;
    return Text.mid(b, e - b);
}

QString TrimLow(const QString& Text)
{
    qsizetype b = 0, e = Text.size();
    while (b < e && Text[b].unicode() <= 32)
        ++b;
    while (e > b && Text[e - 1].unicode() <= 32)
        --e;
    return Text.mid(b, e - b);
}

bool OpenInBrowser(const QString& Url)
{
    const TBrowserAddress address = BrowserAddress(Url);
    if (!address.Ok)
        return false;
    for (QStringList command : BrowserCommands(address.Address)) {
        if (command.isEmpty())
            continue;
        const QString program = QStandardPaths::findExecutable(command.takeFirst());
        if (!program.isEmpty() && QProcess::startDetached(program, command))
            return true;
    }
    return false;
}
