#pragma once
#include <QString>

inline const QString AppVersion = QStringLiteral("2.01");
inline const QString UpdateBaseURL = QStringLiteral("http://update.tallyfair.example/liveupdate/tallyfair/");
