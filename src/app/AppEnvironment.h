#pragma once
// Where the main window finds its files and services. The program passes the
// executable's folder and the fixed update address; tests pass their own.
#include <QString>

struct TAppEnvironment {
    QString DataDir;       // the executable's folder: every file lives here
    QString UpdateBaseURL; // base address of the live-update service, ends in "/"
};
