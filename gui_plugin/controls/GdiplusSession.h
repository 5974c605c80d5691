// GDI+ for the whole process, through its flat API loaded from the system folder at first use.
// Never started or stopped inside DllMain (the platform forbids both there): it starts the first
// time a picture is drawn and stays until the process ends.
#pragma once

#include <windows.h>

struct GdiplusApi;

// The started library, or null when GDI+ is missing or would not start (callers draw with GDI).
const GdiplusApi* GetGdiplus();

// Draws bitmap (with palette, if any) stretched into (x, y, width, height) of dc; false when any
// step fails, and then nothing is left behind.
bool GdiplusDrawBitmap(const GdiplusApi* api, HDC dc, HBITMAP bitmap, HPALETTE palette, int x,
                       int y, int width, int height);

#ifdef KY_TEST_HOOKS
// Only in the test variant: as if GDI+ were not there, so that the GDI path can be shown.
void SetGdiplusUnavailableForTesting(bool unavailable);
#endif
