#pragma once
// TfrmStatistics: the Statistics window, a modal picture of the funnel and
// of the best-selling affiliates, with a button that saves the picture as
// a PNG file.
#include "tracking/ListStatistics.h"

#include <QDialog>

class QPushButton;
class TMessageBox;
class TStatisticsView;

class TfrmStatistics : public QDialog
{
    Q_OBJECT
public:
    // Folder is where the save dialog starts; it gets the folder chosen.
    TfrmStatistics(QWidget* parent, TMessageBox& Messages, QString& Folder);

    void SetStatistics(const TAffiliateStatistics& Stats);
    TStatisticsView* View() const { return Chart; }

    void btnSavePngClick();
    // Writes the picture to Path in one step; false (and a notice that
    // names the file) when it cannot.
    bool SavePicture(const QString& Path);

    static void RunStatistics(QWidget* parent, TMessageBox& Messages, QString& Folder,
                              const TAffiliateStatistics& Stats);

private:
    TMessageBox& Msg;
    QString& SaveFolder;
    TStatisticsView* Chart = nullptr;
    QPushButton* btnSavePng = nullptr;
    QPushButton* btnClose = nullptr;
};
