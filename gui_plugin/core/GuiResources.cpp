#include "GuiResources.h"

namespace {
GuiResources g_guiResources;
}

GuiResources& TheGuiResources() { return g_guiResources; }

int LargeIconSize(int dpiScale) {
    if (dpiScale <= 100) return 32;
    if (dpiScale <= 150) return 48;
    return 128;
}
