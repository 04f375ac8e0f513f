// The window's own icon, drawn rather than shipped as a file.
#pragma once

#include <QIcon>

// Two arrows, up and down, on a coloured square, at 32 and 16 pixels.
QIcon MakeWindowIcon();
