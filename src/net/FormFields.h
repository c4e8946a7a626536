#pragma once
// The fields of a multipart/form-data POST, in the order they are sent.
// Names and values are Unicode here; the HTTP client sends them in the
// system's code page.
#include <QList>
#include <QPair>
#include <QString>

using TFormFields = QList<QPair<QString, QString>>;
