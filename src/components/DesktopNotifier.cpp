#include "DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

TDesktopNotifier::TDesktopNotifier(QObject* parent, std::function<QDBusConnection()> BusOf)
    : QObject(parent), Bus(std::move(BusOf))
{
}

bool TDesktopNotifier::Notify(const QString& AppName, const QString& Summary, const QString& Body)
{
    const QDBusConnection bus = Bus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(Service), QString::fromLatin1(Path),
                                       QString::fromLatin1(Service), QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints,
    // expire_timeout
    call << AppName << LastId << QString() << Summary << Body << QStringList() << QVariantMap() << ShowMs;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<uint> reply = *w;
        if (!reply.isError()) {
            LastId = reply.value();
            emit Delivered(LastId);
        }
        w->deleteLater();
    });
    return true;
}
