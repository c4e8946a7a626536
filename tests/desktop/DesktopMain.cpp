// Entry point of the desktop tests. They run on the X server that
// scripts/xvfb.sh started for them (CTest runs them through it), with the
// application made as the program makes it.
#include "app/AppStart.h"
#include "components/ErrorReporter.h"

#include <QtGlobal>
#include <cstdio>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "no DISPLAY: run through scripts/xvfb.sh --wm --\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    const auto app = CreateApplication(argv[0]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
