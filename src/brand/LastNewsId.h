#pragma once
// The id of the newest news item the user has read, kept inside the brand
// file as "<%%LastNewsId%%>" id "<%%/LastNewsId%%>". These work on the
// decrypted text; reading and writing the encrypted file is the caller's.
#include <QByteArray>
#include <QString>

// The stored id text; empty when the element is missing.
QString ReadLastNewsId(const QByteArray& Plain);

// The brand text with the element set to Id. The element is replaced where
// it stands, so anything else on its line is kept; a text without it gets
// the element as a new last line. Every line ends with CR LF.
QByteArray ReplaceLastNewsId(const QByteArray& Plain, const QString& Id);

// Whether Id can be stored at all: an id from the news service that held a
// line break or a tag bracket would otherwise write brand elements of its
// own (welcome pages, links) into the brand file.
bool IsStorableNewsId(const QString& Id);
