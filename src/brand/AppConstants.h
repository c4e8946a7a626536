#pragma once
// Fixed names and texts of the program: its version, the maker's update
// address, and the files that brand a copy. Every file lies in the
// executable's folder.
#include <QString>

// The version shown in the caption and the about box and compared by the
// live update.
inline const QString AppVersion = QStringLiteral("2.01");

// Base address of the maker's live-update service; ends in "/". Over https,
// checked against the system's trust store: whoever answers it decides
// what the updater fetches.
inline const QString UpdateBaseURL = QStringLiteral("https://update.tallyfair.example/liveupdate/tallyfair/");

// The window caption before (or without) a brand file.
inline const QString DesignCaption = QStringLiteral("Tallyfair");

// Brand assets beside the executable.
inline const QString BrandFileName = QStringLiteral("dbsettings.dat");
inline const QString SkinFileName = QStringLiteral("mainskin.dat");
inline const QString IconFileName = QStringLiteral("main.ico");

// Captions the brand may replace.
inline const QString DefaultMakeMoneyCaption = QStringLiteral("Make Money");
inline const QString DesignLinkCaption = QStringLiteral("Google");

// Live update: the descriptor fetched from UpdateBaseURL and stored under
// the same name, and the program that performs the update.
inline const QString UpdateDescriptorName = QStringLiteral("mainappupdate.inf");
inline const QString UpdaterProgramName = QStringLiteral("Updater.exe");
