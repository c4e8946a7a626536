#pragma once
// Desktop notifications through the freedesktop notification service on
// the session bus. The call is sent without waiting for its answer: the
// window has one thread, and a desktop without the service (or without a
// session bus) must cost it nothing. Each new notice replaces the one
// before it, so a long live event leaves one notice, not a pile.
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>

class TDesktopNotifier : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* Service = "org.freedesktop.Notifications";
    static constexpr const char* Path = "/org/freedesktop/Notifications";
    static constexpr int ShowMs = 8000;

    // Bus gives the connection at the moment of each notice (the session
    // bus unless told otherwise), so a bus that comes later is found.
    explicit TDesktopNotifier(
        QObject* parent = nullptr,
        std::function<QDBusConnection()> Bus = [] { return QDBusConnection::sessionBus(); });

    // False when there is no bus to send it on; a service that is absent
    // or refuses is found out later, and quietly.
    bool Notify(const QString& AppName, const QString& Summary, const QString& Body);

signals:
    // The service answered a notice.
    void Delivered(uint Id);

private:
    std::function<QDBusConnection()> Bus;
    uint LastId = 0; // the notice the next one replaces
};
