#pragma once
// The pictures of the toolbar's three icon buttons, drawn rather than
// shipped, so they stay sharp at any scale and follow the skin's colours.
#include <QIcon>

namespace toolbaricons
{
QIcon News();
QIcon Update();
QIcon Help();
QIcon Bell();
} // namespace toolbaricons
