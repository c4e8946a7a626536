#pragma once
// A decoded list reply of actions.php: one row per record, each row the
// record's fields in the order the reply carries them (the record id first).
#include <QList>
#include <QStringList>

using TRecordRow = QStringList;
using TRecordRows = QList<TRecordRow>;
