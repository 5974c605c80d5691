// The one place that decides the controls' colours: the product's colour, or the system's when a
// high-contrast theme is on, so that people who need it keep their contrast.
#pragma once

#include <windows.h>

bool IsHighContrast();
// product, or GetSysColor(systemColor) in a high-contrast theme.
COLORREF ThemeColor(COLORREF product, int systemColor);
