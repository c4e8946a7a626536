#pragma once
// The find text of the lists: which cells contain it, ignoring case the way
// QString compares without case. Plain ASCII cells (nearly all of them) are
// compared as bytes, without making a string per cell.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class TFindText
{
public:
    TFindText() = default;
    explicit TFindText(const QString& Text);

    bool IsEmpty() const { return Text.isEmpty(); }
    const QString& Typed() const { return Text; }
    // Whether a cell's bytes (a reply's 8-bit text) contain the text.
    bool FoundIn(QByteArrayView Cell) const;

private:
    QString Text;
    QString Folded;
    QByteArray Ascii; // the folded text, when it is plain ASCII
};
