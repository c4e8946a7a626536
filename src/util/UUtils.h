#pragma once
// Small routines that several windows share: splitting text at a separator,
// undoing the "$"-hex escaping of news text, trimming as the protocol does,
// and opening an address in the user's browser.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Clears List, then adds the pieces of Text between separators. An empty
// piece before a separator is kept; an empty last piece is not.
void SplitByChar(char Separator, const QByteArray& Text, QList<QByteArray>& List);
void SplitByChar(QChar Separator, const QString& Text, QStringList& List);

// "$" + two hexadecimal digits becomes that byte. A "$" not followed by a
// valid hexadecimal number (nothing after it included) empties the result.
QByteArray UnescapeDollarHex(const QByteArray& Text);

// Removes leading and trailing blanks and control characters (codes <= 32).
QByteArray TrimLow(const QByteArray& Text);
QString TrimLow(const QString& Text);

// Opens Url in the user's web browser, started itself with the address as
// its argument: the desktop's default browser, else x-www-browser,
// sensible-browser or $BROWSER, whichever starts first. An address without a
// scheme is opened as "http://" + address, an empty one starts the browser on
// its home page, and one of any scheme but http or https is never handed to
// another program. False when nothing was started.
bool OpenInBrowser(const QString& Url);
