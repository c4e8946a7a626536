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

// Starts the desktop's browser launcher (xdg-open, looked up on PATH)
// detached, with Url as its one argument. False, starting nothing, when
// there is no launcher.
bool OpenInBrowser(const QString& Url);

// The Windows rule for the registered http open command: lower-case it,
// keep everything before the first ".exe" plus ".exe", drop double quotes.
// Empty for an empty command, which means "no browser registered".
QString BrowserPathFromCommand(const QString& RegisteredCommand);
