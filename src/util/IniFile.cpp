#include "IniFile.h"

#include "AtomicWrite.h"

#include <QFile>
#include <QFileInfo>

namespace
{

const QByteArray LineEnd = QByteArrayLiteral("\r\n");

bool HasLineBreak(const QString& Text)
{
    return Text.contains(QLatin1Char('\n')) || Text.contains(QLatin1Char('\r'));
}

bool HasEdgeBlanks(const QString& Text)
{
    return Text.trimmed().size() != Text.size();
}

bool SameName(const QString& A, const QString& B)
{
    return A.compare(B, Qt::CaseInsensitive) == 0;
}

bool IsBlank(const QByteArray& Raw)
{
    return Raw.trimmed().isEmpty();
}

bool IsQuoted(const QString& Text)
{
    return Text.size() >= 2 && Text.startsWith(QLatin1Char('"')) && Text.endsWith(QLatin1Char('"'));
}

// Values are read without the blanks around them, so a value with such
// blanks is written in double quotes, which the reader takes off again (as
// the desktop's own profile reader does). So is a value that is itself in
// quotes, which would otherwise lose them.
bool NeedsQuotes(const QString& Value)
{
    return HasEdgeBlanks(Value) || IsQuoted(Value);
}

QString Quoted(const QString& Value)
{
    return NeedsQuotes(Value) ? QLatin1Char('"') + Value + QLatin1Char('"') : Value;
}

// Only quotes that the writer could have put there are taken off: any other
// value, in particular every value of a file written before values were
// quoted, reads exactly as it always did.
QString Unquoted(const QString& Stored)
{
    if (IsQuoted(Stored)) {
        const QString inner = Stored.mid(1, Stored.size() - 2);
        if (NeedsQuotes(inner))
            return inner;
    }
    return Stored;
}

} // namespace

TIniFile TIniFile::FromBytes(const QByteArray& Bytes)
{
    TIniFile ini;
    qsizetype start = 0;
    while (start < Bytes.size()) {
        qsizetype end = Bytes.indexOf('\n', start);
        end = end < 0 ? Bytes.size() : end + 1;
        ini.Lines.append(Parse(Bytes.mid(start, end - start)));
        start = end;
    }
    return ini;
}

bool TIniFile::LoadFile(const QString& Path, QString& Error)
{
    Lines.clear();
    if (!QFileInfo::exists(Path))
        return true;
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly)) {
        Error = file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        Error = file.errorString();
        return false;
    }
    *this = FromBytes(bytes);
    return true;
}

TIniFile::TLine TIniFile::Parse(const QByteArray& Raw)
{
    TLine line;
    line.Raw = Raw;
    const QByteArray text = Raw.trimmed();
    if (text.startsWith('[')) {
        const qsizetype close = text.indexOf(']');
        if (close > 0) {
            line.Kind = TLineKind::Section;
            line.Name = QString::fromLocal8Bit(text.mid(1, close - 1)).trimmed();
        }
        return line;
    }
    // Comment lines are never keys, whatever they hold.
    if (text.startsWith(';'))
        return line;
    const qsizetype eq = text.indexOf('=');
    if (eq > 0) {
        line.Kind = TLineKind::Key;
        line.Name = QString::fromLocal8Bit(text.left(eq)).trimmed();
        line.Value = Unquoted(QString::fromLocal8Bit(text.mid(eq + 1)).trimmed());
    }
    return line;
}

qsizetype TIniFile::FindSection(const QString& Section) const
{
    for (qsizetype i = 0; i < Lines.size(); ++i)
        if (Lines[i].Kind == TLineKind::Section && SameName(Lines[i].Name, Section))
            return i;
    return -1;
}

qsizetype TIniFile::SectionEnd(qsizetype Header) const
{
    qsizetype i = Header + 1;
    while (i < Lines.size() && Lines[i].Kind != TLineKind::Section)
        ++i;
    return i;
}

qsizetype TIniFile::FindKey(qsizetype Header, const QString& Key) const
{
    const qsizetype end = SectionEnd(Header);
    for (qsizetype i = Header + 1; i < end; ++i)
        if (Lines[i].Kind == TLineKind::Key && SameName(Lines[i].Name, Key))
            return i;
    return -1;
}

QString TIniFile::ReadString(const QString& Section, const QString& Key, const QString& Default) const
{
    const qsizetype header = FindSection(Section);
    if (header < 0)
        return Default;
    const qsizetype at = FindKey(header, Key);
    return at < 0 ? Default : Lines[at].Value;
}

bool TIniFile::KeyExists(const QString& Section, const QString& Key) const
{
    const qsizetype header = FindSection(Section);
    return header >= 0 && FindKey(header, Key) >= 0;
}

void TIniFile::InsertLine(qsizetype At, const QByteArray& Text)
{
    // A last line without an ending would run into the new one.
    if (At > 0 && !Lines[At - 1].Raw.endsWith('\n'))
        Lines[At - 1].Raw += LineEnd;
    Lines.insert(At, Parse(Text + LineEnd));
}

bool TIniFile::WriteString(const QString& Section, const QString& Key, const QString& Value)
{
    if (Section.isEmpty() || HasEdgeBlanks(Section) || HasLineBreak(Section) ||
        Section.contains(QLatin1Char(']')))
        return false;
    if (Key.isEmpty() || HasEdgeBlanks(Key) || HasLineBreak(Key) || Key.contains(QLatin1Char('=')) ||
        Key.startsWith(QLatin1Char('[')) || Key.startsWith(QLatin1Char(';')))
        return false;
    if (HasLineBreak(Value))
        return false;

    const QByteArray value = Quoted(Value).toLocal8Bit();
    const qsizetype header = FindSection(Section);
    if (header < 0) {
        InsertLine(Lines.size(), '[' + Section.toLocal8Bit() + ']');
        InsertLine(Lines.size(), Key.toLocal8Bit() + '=' + value);
        return true;
    }
    const qsizetype at = FindKey(header, Key);
    if (at >= 0) {
        // Rewriting an unchanged value would only disturb the line's layout.
        if (Lines[at].Value == Value)
            return true;
        const QByteArray name = Lines[at].Name.toLocal8Bit();
        Lines[at] = Parse(name + '=' + value + LineEnd);
        return true;
    }
    // After the section's last non-blank line, so that blank lines that part
    // it from the next section stay where they are.
    qsizetype after = SectionEnd(header);
    while (after > header + 1 && IsBlank(Lines[after - 1].Raw))
        --after;
    InsertLine(after, Key.toLocal8Bit() + '=' + value);
    return true;
}

QByteArray TIniFile::ToBytes() const
{
    QByteArray bytes;
    for (const TLine& line : Lines)
        bytes += line.Raw;
    return bytes;
}

bool TIniFile::SaveFile(const QString& Path, QString& Error, TFileAccess Access) const
{
    return WriteFileAtomically(Path, ToBytes(), Error, Access);
}
