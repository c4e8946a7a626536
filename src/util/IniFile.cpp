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

QString NameText(QByteArrayView Name)
{
    return QString::fromLocal8Bit(Name).trimmed();
}

QString ValueText(QByteArrayView Value)
{
    return Unquoted(QString::fromLocal8Bit(Value).trimmed());
}

} // namespace

TIniFile TIniFile::FromBytes(const QByteArray& Bytes)
{
    TIniFile ini;
    ini.Text = Bytes;
    return ini;
}

bool TIniFile::LoadFile(const QString& Path, QString& Error)
{
    Text.clear();
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
    Text = bytes;
    return true;
}

TIniFile::TLine TIniFile::LineAt(qsizetype Start) const
{
    TLine line;
    line.Start = Start;
    const qsizetype newline = Text.indexOf('\n', Start);
    line.End = newline < 0 ? Text.size() : newline + 1;
    const QByteArrayView text = QByteArrayView(Text).sliced(Start, line.End - Start).trimmed();
    line.IsBlank = text.isEmpty();
    if (text.startsWith('[')) {
        const qsizetype close = text.indexOf(']');
        if (close > 0) {
            line.Kind = TLineKind::Section;
            line.Name = text.sliced(1, close - 1);
        }
        return line;
    }
    // Comment lines are never keys, whatever they hold.
    if (text.startsWith(';'))
        return line;
    const qsizetype eq = text.indexOf('=');
    if (eq > 0) {
        line.Kind = TLineKind::Key;
        line.Name = text.first(eq);
        line.Value = text.sliced(eq + 1);
    }
    return line;
}

qsizetype TIniFile::FindSection(const QString& Section) const
{
    for (qsizetype at = 0; at < Text.size();) {
        const TLine line = LineAt(at);
        if (line.Kind == TLineKind::Section && SameName(NameText(line.Name), Section))
            return line.End;
        at = line.End;
    }
    return -1;
}

TIniFile::TLine TIniFile::FindKey(qsizetype Body, const QString& Key, qsizetype* LastFilled) const
{
    qsizetype filled = Body;
    for (qsizetype at = Body; at < Text.size();) {
        const TLine line = LineAt(at);
        if (line.Kind == TLineKind::Section)
            break;
        if (line.Kind == TLineKind::Key && SameName(NameText(line.Name), Key))
            return line;
        if (!line.IsBlank)
            filled = line.End;
        at = line.End;
    }
    if (LastFilled != nullptr)
        *LastFilled = filled;
    return {};
}

QString TIniFile::ReadString(const QString& Section, const QString& Key, const QString& Default) const
{
    const qsizetype body = FindSection(Section);
    if (body < 0)
        return Default;
    const TLine line = FindKey(body, Key);
    return line.Kind == TLineKind::Key ? ValueText(line.Value) : Default;
}

bool TIniFile::KeyExists(const QString& Section, const QString& Key) const
{
    const qsizetype body = FindSection(Section);
    return body >= 0 && FindKey(body, Key).Kind == TLineKind::Key;
}

void TIniFile::InsertLine(qsizetype At, const QByteArray& Line)
{
    // A last line without an ending would run into the new one.
    QByteArray insert = Line + LineEnd;
    if (At > 0 && Text.at(At - 1) != '\n')
        insert.prepend(LineEnd);
    Text.insert(At, insert);
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
    const qsizetype body = FindSection(Section);
    if (body < 0) {
        InsertLine(Text.size(), '[' + Section.toLocal8Bit() + ']');
        InsertLine(Text.size(), Key.toLocal8Bit() + '=' + value);
        return true;
    }
    // After the section's last non-blank line, so that blank lines that part
    // it from the next section stay where they are.
    qsizetype after = body;
    const TLine line = FindKey(body, Key, &after);
    if (line.Kind == TLineKind::Key) {
        // Rewriting an unchanged value would only disturb the line's layout.
        if (ValueText(line.Value) == Value)
            return true;
        const QByteArray name = NameText(line.Name).toLocal8Bit();
        Text.replace(line.Start, line.End - line.Start, name + '=' + value + LineEnd);
        return true;
    }
    InsertLine(after, Key.toLocal8Bit() + '=' + value);
    return true;
}

QByteArray TIniFile::ToBytes() const
{
    return Text;
}

bool TIniFile::SaveFile(const QString& Path, QString& Error, TFileAccess Access) const
{
    return WriteFileAtomically(Path, ToBytes(), Error, Access);
}
