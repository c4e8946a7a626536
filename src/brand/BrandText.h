#pragma once
// The plain text of the brand file: a text of lines holding tagged values,
// "<%%Name%%>" value "<%%/Name%%>". Values are read one after another from
// a buffer that every read shortens, so tags are found only in the order in
// which they are read.
#include <QByteArray>
#include <QList>

// The lines of Text, each without its ending (CR LF, CR or LF). A text that
// ends with a line break has no empty line after it; an empty text has none.
QList<QByteArray> SplitTextLines(const QByteArray& Text);

// Every line followed by CR LF, the last one included.
QByteArray JoinLinesCrLf(const QList<QByteArray>& Lines);

// The text with every line ending made CR LF, the last line included.
QByteArray NormalizeLinesCrLf(const QByteArray& Text);

// Position of the first occurrence of Needle in Haystack at or after From,
// ASCII letters compared without regard to case; -1 when there is none.
qsizetype IndexOfAsciiNoCase(const QByteArray& Haystack, const QByteArray& Needle, qsizetype From = 0);

// Reads the value between StartTag and the next EndTag (tags compared
// without regard to the case of ASCII letters; the value keeps its own).
// - No StartTag: empty value, Buffer unchanged.
// - StartTag but no EndTag after it: empty value, Buffer starts right
//   after StartTag.
// - Otherwise the text in between, and Buffer starts at EndTag.
QByteArray ExtractTagValue(const QByteArray& StartTag, const QByteArray& EndTag, QByteArray& Buffer);

// "<%%" + Name + "%%>" and "<%%/" + Name + "%%>".
QByteArray StartTagOf(const QByteArray& Name);
QByteArray EndTagOf(const QByteArray& Name);
