#pragma once
// A decoded list reply of actions.php: one row per record, each row the
// record's fields in the order the reply carries them (the record id first).
// Lists can run to a million records, so the fields are not separate
// strings: their bytes (the reply's 8-bit text) stand back to back in one
// block, with the end of each field in a second array.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <vector>

class TRecordTable
{
public:
    explicit TRecordTable(int FieldsPerRow = 0) : Fields(FieldsPerRow) {}

    int FieldsPerRow() const { return Fields; }
    qsizetype RowCount() const { return Fields > 0 ? qsizetype(Ends.size()) / Fields : 0; }
    bool IsEmpty() const { return Ends.empty(); }

    // A field's bytes, or its text as every reply is read; empty outside
    // the table.
    QByteArrayView Field(qsizetype Row, int Field) const;
    QString FieldText(qsizetype Row, int Field) const;
    QStringList Row(qsizetype Row) const;

    // Adds a record from the first FieldsPerRow texts; a shorter one is no
    // record and is refused.
    bool AppendRow(const QStringList& Texts);

    bool operator==(const TRecordTable& Other) const = default;

    // Byte offsets are 32 bits wide; a text block may not grow past this.
    static constexpr qsizetype MaxText = qsizetype(0xFFFFFFFFu);

    // For the reply decoder and the list models, which fill and reshape the
    // table in place: Text holds the fields' bytes, Ends[k] is where field
    // k (counted over all rows) ends in Text; each one starts where the one
    // before it ended.
    QByteArray Text;
    std::vector<quint32> Ends;

private:
    int Fields;
};

// The text of a reply's bytes: the system's 8-bit code page.
inline QString ReplyBytesText(QByteArrayView Bytes)
{
    return QString::fromLocal8Bit(Bytes);
}
