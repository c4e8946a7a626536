#pragma once
// tallyfair-brand kit: turns a brander's folder (brand text, skin, banner
// pictures, icon) into a tarball that end users unpack and install with one
// command. Every input is checked the way the program itself reads it
// before anything is built.
#include "BrandTool.h"

// Arguments: the brand folder and the kit to write (.tar.gz).
int RunBrandKit(const TBrandInvocation& Invocation, QTextStream& Err);
