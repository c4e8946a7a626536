#pragma once
// The application object as the program runs it.
#include <memory>

class TApplication;

// Creates the program's application object. Qt is shown only the program's
// own path as its command line: the program reads no argument, so options
// such as -reverse or -qwindowtitle must not change it either. No display
// name is set, so the desktop is told each window's title exactly as the
// window has it (Qt would append a display name to every title).
std::unique_ptr<TApplication> CreateApplication(const char* ProgramPath);
