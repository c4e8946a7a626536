#pragma once
// TIniFile: a profile file ("[Section]" lines followed by "key=value" lines)
// read and written the way the desktop's profile routines do it. Section and
// key names match without regard to case, values are read without the blanks
// around them (so a value that has such blanks is written in double quotes,
// which reading takes off again), and a write touches only the one line it
// has to: every other line of the file, comments and odd lines included,
// stays byte for byte as it was.
//
// Text is 8-bit in the system code page. Lines that this class writes end in
// CR LF; lines it only read keep whatever ending they came with.
#include "util/AtomicWrite.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class TIniFile
{
public:
    TIniFile() = default;

    // A profile over bytes already in memory (a downloaded descriptor, say).
    static TIniFile FromBytes(const QByteArray& Bytes);

    // Reads the file at Path. A file that does not exist gives an empty
    // profile and true; a file that exists but cannot be read gives false
    // with the reason in Error and leaves the profile empty.
    bool LoadFile(const QString& Path, QString& Error);

    // The value of Key in the first section named Section, or Default when
    // there is no such section or key.
    QString ReadString(const QString& Section, const QString& Key, const QString& Default = {}) const;
    bool KeyExists(const QString& Section, const QString& Key) const;

    // Sets Key in Section to Value: an existing key line is rewritten in
    // place, a missing key is added after the last line of its section, and
    // a missing section is added at the end. False, changing nothing, for
    // text that cannot be stored on one line: an empty or blank-edged name,
    // a key holding "=" or a leading "[" or ";", a section name holding "]",
    // or any name or value holding a line break.
    bool WriteString(const QString& Section, const QString& Key, const QString& Value);

    // The whole profile as it would be written.
    QByteArray ToBytes() const;

    // Writes the profile to Path atomically: either the new file is in place
    // or the old one is untouched. False with the reason in Error.
    bool SaveFile(const QString& Path, QString& Error, TFileAccess Access = TFileAccess::AsBefore) const;

private:
    enum class TLineKind { Other, Section, Key };
    // One line of Text, found by a scan: the profile keeps nothing but its
    // bytes, so memory stays that of the file however many lines it has.
    struct TLine {
        qsizetype Start = 0, End = 0; // [Start, End) in Text, ending included
        TLineKind Kind = TLineKind::Other;
        QByteArrayView Name;  // section or key name, untrimmed
        QByteArrayView Value; // key value, untrimmed and still quoted
        bool IsBlank = true;
    };

    TLine LineAt(qsizetype Start) const;
    // Where the lines of the first section named Section begin (just past
    // its header), or -1.
    qsizetype FindSection(const QString& Section) const;
    // The first line of the section beginning at Body that holds Key, as a
    // key line; Kind is Other when there is none. LastFilled receives the
    // end of the section's last non-blank line (Body itself for none).
    TLine FindKey(qsizetype Body, const QString& Key, qsizetype* LastFilled = nullptr) const;
    void InsertLine(qsizetype At, const QByteArray& Text);

    QByteArray Text;
};
