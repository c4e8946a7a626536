// The program: one application object, the main window, the event loop.
#include "app/AppConstants.h"
#include "app/FMain.h"
#include "components/ErrorReporter.h"
#include "components/SkinApply.h"

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallyfair"));

    // Every file of the program lies in the executable's folder.
    TAppEnvironment env{QApplication::applicationDirPath(), UpdateBaseURL};
    TErrorReporter::SetFolder(env.DataDir);
    skin::ApplyBuiltIn();

    TfrmMain frmMain(env);
    frmMain.show();
    return app.exec();
}
