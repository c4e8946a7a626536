// The program: one application object, the main window, the event loop.
#include "app/AppStart.h"
#include "app/FMain.h"
#include "brand/AppConstants.h"
#include "components/ErrorReporter.h"
#include "components/SkinApply.h"
#include "vendor/LiveUpdate.h"

int main(int, char** argv)
{
    const auto app = CreateApplication(argv[0]);

    // Every file of the program lies in the executable's folder.
    TAppEnvironment env{QApplication::applicationDirPath(), EffectiveUpdateBaseURL(UpdateBaseURL)};
    TErrorReporter::SetFolder(env.DataDir);
    skin::ApplyBuiltIn();

    TfrmMain frmMain(env);
    frmMain.show();
    return app->exec();
}
