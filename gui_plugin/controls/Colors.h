// The one place that decides the controls' colours: the product's colour, or the system's when a
// high-contrast theme is on, so that people who need it keep their contrast.
#pragma once

#include <windows.h>

bool IsHighContrast();
// product, or GetSysColor(systemColor) in a high-contrast theme.
COLORREF ThemeColor(COLORREF product, int systemColor);

#ifdef KY_TEST_HOOKS
// Only in the test variant: answers IsHighContrast as given (-1: ask the system again). Wine
// keeps no high-contrast setting, so its tests switch the theme here.
void SetHighContrastForTesting(int on);
#endif
