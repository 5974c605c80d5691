#include "Colors.h"

#ifdef KY_TEST_HOOKS
namespace {
int g_highContrastForTesting = -1;
}
void SetHighContrastForTesting(int on) { g_highContrastForTesting = on; }
#endif

bool IsHighContrast() {
#ifdef KY_TEST_HOOKS
    if (g_highContrastForTesting >= 0) return g_highContrastForTesting != 0;
#endif
    HIGHCONTRASTW contrast = {};
    contrast.cbSize = sizeof(contrast);
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON);
}

COLORREF ThemeColor(COLORREF product, int systemColor) {
    return IsHighContrast() ? GetSysColor(systemColor) : product;
}
