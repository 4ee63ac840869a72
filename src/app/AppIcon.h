// Application icon: icon 128 (a charger's battery with a lightning bolt) and
// bitmap 130 (the 142 by 36 logo), from the program's built-in resources.
//
// Threads: user-interface thread only (pixmaps).
#pragma once

#include <QIcon>
#include <QPixmap>

// The size of the icon's large image; the small one is half of it.
inline constexpr int kIconSize = 32;

// The icon with its 16, 32, 48 and 128 pixel images.
QIcon AppIcon();
// The logo picture of the main window.
QPixmap LogoPicture();
