#pragma once
// TfrmCustomRange: the days of the range box's "Custom…" entry, the first
// and the last day (both included) in the operator's time zone.
#include <QDate>
#include <QDialog>

class QDateEdit;

class TfrmCustomRange : public QDialog
{
    Q_OBJECT
public:
    TfrmCustomRange(QWidget* parent, QDate First, QDate Last);
    QDate First() const;
    QDate Last() const;

    // True with the days chosen (the earlier one first) on OK.
    static bool RunCustomRange(QWidget* parent, QDate& First, QDate& Last);

private:
    QDateEdit* edtFirstDay = nullptr;
    QDateEdit* edtLastDay = nullptr;
};
