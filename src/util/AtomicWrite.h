#pragma once
// Whole-file writes that never leave a half-written file behind.
#include <QByteArray>
#include <QString>

// Writes Bytes to Path through a temporary file in the same folder that then
// replaces Path in one step: afterwards Path holds either all of Bytes or
// exactly what it held before. False with the reason in Error.
bool WriteFileAtomically(const QString& Path, const QByteArray& Bytes, QString& Error);
