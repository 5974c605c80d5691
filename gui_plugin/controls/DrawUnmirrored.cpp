#include "DrawUnmirrored.h"

#include <algorithm>

namespace {

// A memory DC with one bitmap selected, both given back on every exit.
class SelectedBitmap {
public:
    SelectedBitmap(HDC compatible, HBITMAP bitmap) : dc_(CreateCompatibleDC(compatible)) {
        if (dc_) {
            // A memory DC made from a mirrored one must not mirror the source side as well.
            SetLayout(dc_, 0);
            old_ = SelectObject(dc_, bitmap);
        }
    }
    ~SelectedBitmap() {
        if (dc_) {
            if (old_) SelectObject(dc_, old_);
            DeleteDC(dc_);
        }
    }
    SelectedBitmap(const SelectedBitmap&) = delete;
    SelectedBitmap& operator=(const SelectedBitmap&) = delete;

    HDC dc() const { return old_ ? dc_ : nullptr; }

private:
    HDC dc_;
    HGDIOBJ old_ = nullptr;
};

}  // namespace

bool DrawUnmirrored(HDC dc, const RECT& area, HBITMAP bitmap) {
    BITMAP info = {};
    if (!dc || !bitmap || !GetObjectW(bitmap, sizeof(info), &info)) return false;
    int width = std::min<LONG>(area.right - area.left, info.bmWidth);
    int height = std::min<LONG>(area.bottom - area.top, info.bmHeight);
    if (width <= 0 || height <= 0) return false;
    SelectedBitmap source(dc, bitmap);
    if (!source.dc()) return false;
    // NOMIRRORBITMAP keeps the bits the right way round in a mirrored DC and changes nothing in
    // an ordinary one; the DC's own layout is left alone.
    return BitBlt(dc, area.left, area.top, width, height, source.dc(), 0, 0,
                  SRCCOPY | NOMIRRORBITMAP) != FALSE;
}
