#include "RecordTable.h"

QByteArrayView TRecordTable::Field(qsizetype Row, int F) const
{
    if (Row < 0 || Row >= RowCount() || F < 0 || F >= Fields)
        return {};
    const qsizetype k = Row * Fields + F;
    const quint32 begin = k == 0 ? 0 : Ends[k - 1];
    return QByteArrayView(Text.constData() + begin, Ends[k] - begin);
}

QString TRecordTable::FieldText(qsizetype Row, int F) const
{
    return ReplyBytesText(Field(Row, F));
}

QStringList TRecordTable::Row(qsizetype Row) const
{
    QStringList texts;
    if (Row < 0 || Row >= RowCount())
        return texts;
    for (int f = 0; f < Fields; ++f)
        texts.append(FieldText(Row, f));
    return texts;
}

bool TRecordTable::AppendRow(const QStringList& Texts)
{
    if (Fields <= 0 || Texts.size() < Fields)
        return false;
    QByteArray bytes;
    std::vector<quint32> ends;
    for (int f = 0; f < Fields; ++f) {
        bytes += Texts[f].toLocal8Bit();
        ends.push_back(quint32(Text.size() + bytes.size()));
    }
    if (Text.size() + bytes.size() > MaxText)
        return false;
    Text += bytes;
    Ends.insert(Ends.end(), ends.begin(), ends.end());
    return true;
}
