#include "ErrorReporter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <exception>

namespace
{
QString& Folder()
{
    static QString folder;
    return folder;
}
} // namespace

void TErrorReporter::SetFolder(const QString& folder)
{
    Folder() = folder;
}

QString TErrorReporter::LogPath()
{
    return QDir(Folder().isEmpty() ? QCoreApplication::applicationDirPath() : Folder())
        .filePath(QStringLiteral("tallyfair-errors.log"));
}

void TErrorReporter::Report(const QString& Message)
{
    try {
        QFile log(LogPath());
        if (log.open(QIODevice::WriteOnly | QIODevice::Append)) {
            const QByteArray line = QDateTime::currentDateTime().toString(Qt::ISODate).toLocal8Bit() + "  " +
                                    Message.toLocal8Bit() + "\r\n";
            log.write(line);
        }
        // Titled like the window it stands over, so that a branded copy
        // shows its own name there too.
        QWidget* over = QApplication::activeWindow();
        QMessageBox box(QMessageBox::Critical, over ? over->windowTitle() : QApplication::applicationName(),
                        QStringLiteral("An unexpected error occurred and was recorded in %1:\n\n%2")
                            .arg(QDir::toNativeSeparators(LogPath()), Message),
                        QMessageBox::Ok, over);
        box.setObjectName(QStringLiteral("errorReporterBox"));
        box.exec();
    } catch (...) {
        // Reporting must never be the thing that brings the program down.
    }
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        TErrorReporter::Report(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        TErrorReporter::Report(QStringLiteral("Unknown exception"));
    }
    return false;
}
