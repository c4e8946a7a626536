#include "AppStart.h"

#include "components/ErrorReporter.h"

std::unique_ptr<TApplication> CreateApplication(const char* ProgramPath)
{
    // Qt keeps references to these for the life of the application object.
    static int argc = 1;
    static char* argv[] = {const_cast<char*>(ProgramPath), nullptr};
    auto app = std::make_unique<TApplication>(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallyfair"));
    return app;
}
