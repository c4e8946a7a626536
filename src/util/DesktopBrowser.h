#pragma once
// Finding and starting the user's web browser on a freedesktop.org desktop:
// the default handler for http in the desktop's mimeapps.list files, then
// the Debian alternatives x-www-browser and sensible-browser, then the
// programs named in $BROWSER.
#include <QList>
#include <QString>
#include <QStringList>

// The address as handed to the browser: an address without a scheme gets
// "http://" in front; http and https addresses (any case) stay as they are;
// an empty address stays empty (the browser then opens its home page). Any
// other scheme ("file:", "javascript:", a program's own handler) is refused:
// Ok is false and nothing must be started.
struct TBrowserAddress {
    bool Ok = false;
    QString Address;
};
TBrowserAddress BrowserAddress(const QString& Url);

// The command lines to try, most wanted first; each is the program followed
// by its arguments, the address put in where the entry asks for it.
QList<QStringList> BrowserCommands(const QString& Address);

// The arguments of a desktop entry's Exec value with its field codes
// expanded for one address (an empty address removes them); the address is
// appended when the entry has no place for it.
QStringList ExpandDesktopExec(const QString& Exec, const QString& Address);
