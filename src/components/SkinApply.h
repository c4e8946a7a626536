#pragma once
// Applying skins to every window of the program.
#include <QString>

namespace skin
{

// The program's own look (TBuiltinStyle) for the whole application.
void ApplyBuiltIn();
// Replaces the look of the whole application (all windows, dialogs and
// message boxes alike) by a style sheet over plain Fusion.
void Apply(const QString& StyleSheet);
// Applies the skin in Path when it holds skin data; false leaves the skin
// in place.
bool ApplyFile(const QString& Path);

} // namespace skin
