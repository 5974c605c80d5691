// Drawing a picture upright into a DC that may be mirrored.
#pragma once

#include <windows.h>

// Copies the top-left part of bitmap into area of dc (SRCCOPY, no stretching): as much of it as
// both the area and the bitmap hold, so that nothing beyond the picture's own pixels is copied.
// In a mirrored DC (that of a WS_EX_LAYOUTRTL window) the area takes its mirrored place, as every
// coordinate does, but the picture keeps its orientation, where a plain BitBlt would reflect it:
// a flag or a product picture must not come out the wrong way round in a right-to-left page.
// The DC's layout is the same afterwards. False when nothing could be drawn.
bool DrawUnmirrored(HDC dc, const RECT& area, HBITMAP bitmap);
