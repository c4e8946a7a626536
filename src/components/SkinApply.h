#pragma once
// Applying skins to every window of the program.
#include <QString>

namespace skin {

// The built-in skin, inflated from the data compiled into the program.
QString BuiltIn();
// Applies a style sheet to the whole application (all windows, dialogs and
// message boxes alike).
void Apply(const QString& StyleSheet);
// Applies the skin in Path when it holds skin data; false leaves the skin
// in place.
bool ApplyFile(const QString& Path);

} // namespace skin
