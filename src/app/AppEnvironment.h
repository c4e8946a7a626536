#pragma once
// Where the main window finds its files and services. The program passes the
// executable's folder and the fixed update address; tests pass their own.
#include "tracking/TrackingProtocol.h"

#include <QString>

struct TAppEnvironment {
    QString DataDir;       // the executable's folder: every file lives here
    QString UpdateBaseURL; // base address of the live-update service, ends in "/"
    // The read time-out of IdHTTP1 as made, which every tracking request
    // puts back: 60 s, unless a caller knows its site to be quick or slow.
    int ReadTimeoutMs = TrackingProtocol::ReadTimeoutMs;
};
