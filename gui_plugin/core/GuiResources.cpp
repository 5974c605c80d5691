#include "GuiResources.h"

namespace {
GuiResources g_guiResources;
}

GuiResources& TheGuiResources() { return g_guiResources; }
