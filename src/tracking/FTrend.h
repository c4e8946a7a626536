#pragma once
// TfrmTrend: the trend of the selected affiliates over the range, a modal
// window with the picture and buttons that save it as a PNG picture or its
// numbers as a CSV file.
#include "tracking/RangeCounters.h"

#include <QDialog>

class QPushButton;
class TMessageBox;
class TTrendView;

class TfrmTrend : public QDialog
{
    Q_OBJECT
public:
    // Folder is where the save dialogs start; it gets the folder chosen.
    TfrmTrend(QWidget* parent, TMessageBox& Messages, QString& Folder);

    void SetTrend(const TTrend& Trend);
    TTrendView* View() const { return Chart; }

    void btnSavePngClick();
    void btnSaveCsvClick();
    // Each writes its file in one step; false (and a notice naming the
    // file) when it cannot.
    bool SavePicture(const QString& Path);
    bool SaveCsv(const QString& Path);

    static void RunTrend(QWidget* parent, TMessageBox& Messages, QString& Folder, const TTrend& Trend);

private:
    bool Saved(const QString& Path, const QString& What, const QString& Reason);
    TMessageBox& Msg;
    QString& SaveFolder;
    TTrendView* Chart = nullptr;
};
