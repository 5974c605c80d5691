#include "GdiplusSession.h"

#include "afxwin.h"

// The flat API's types, declared here: the library is loaded at run time, not linked.
using GpStatus = int;
struct GpGraphics;
struct GpImage;
struct GpBitmap;
constexpr GpStatus kOk = 0;
constexpr int kUnitPixel = 2;

struct GdiplusStartupInput {
    UINT32 GdiplusVersion;
    void* DebugEventCallback;
    BOOL SuppressBackgroundThread;
    BOOL SuppressExternalCodecs;
};

struct GdiplusStartupOutput {
    GpStatus(WINAPI* NotificationHook)(ULONG_PTR* token);
    void(WINAPI* NotificationUnhook)(ULONG_PTR token);
};

struct GdiplusApi {
    GpStatus(WINAPI* Startup)(ULONG_PTR*, const GdiplusStartupInput*, GdiplusStartupOutput*);
    GpStatus(WINAPI* CreateFromHDC)(HDC, GpGraphics**);
    GpStatus(WINAPI* DeleteGraphics)(GpGraphics*);
    GpStatus(WINAPI* CreateBitmapFromHBITMAP)(HBITMAP, HPALETTE, GpBitmap**);
    GpStatus(WINAPI* DisposeImage)(GpImage*);
    GpStatus(WINAPI* GetImageWidth)(GpImage*, UINT*);
    GpStatus(WINAPI* GetImageHeight)(GpImage*, UINT*);
    GpStatus(WINAPI* DrawImageRectRectI)(GpGraphics*, GpImage*, INT, INT, INT, INT, INT, INT, INT,
                                         INT, int, const void*, void*, void*);
    ULONG_PTR token;
    ULONG_PTR hookToken;
    GdiplusStartupOutput output;
};

namespace {

class Session {
public:
    Session() { InitializeCriticalSection(&m_lock); }
    // At process exit GDI+ is left as it is: shutting it down from DllMain is not allowed.
    ~Session() { DeleteCriticalSection(&m_lock); }

    const GdiplusApi* Get() {
        EnterCriticalSection(&m_lock);
        if (!m_bTried) {
            m_bTried = true;
            m_bStarted = Start();
        }
        LeaveCriticalSection(&m_lock);
        return m_bStarted ? &m_api : nullptr;
    }

private:
    template <typename T>
    static bool Resolve(HMODULE module, const char* name, T& out) {
        out = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
        return out != nullptr;
    }

    bool Start() {
        // The library stays loaded for the process: GDI+ keeps its notification window.
        HMODULE module = AfxLoadSystemLibrary(L"gdiplus.dll");
        if (!module) return false;
        GdiplusApi& a = m_api;
        if (!Resolve(module, "GdiplusStartup", a.Startup) ||
            !Resolve(module, "GdipCreateFromHDC", a.CreateFromHDC) ||
            !Resolve(module, "GdipDeleteGraphics", a.DeleteGraphics) ||
            !Resolve(module, "GdipCreateBitmapFromHBITMAP", a.CreateBitmapFromHBITMAP) ||
            !Resolve(module, "GdipDisposeImage", a.DisposeImage) ||
            !Resolve(module, "GdipGetImageWidth", a.GetImageWidth) ||
            !Resolve(module, "GdipGetImageHeight", a.GetImageHeight) ||
            !Resolve(module, "GdipDrawImageRectRectI", a.DrawImageRectRectI)) {
            FreeLibrary(module);
            return false;
        }
        // No background thread of GDI+'s own inside the host's process: the notification hook
        // takes its place.
        GdiplusStartupInput input = {1, nullptr, TRUE, FALSE};
        a.output = {};
        if (a.Startup(&a.token, &input, &a.output) != kOk) {
            FreeLibrary(module);
            return false;
        }
        if (a.output.NotificationHook && a.output.NotificationHook(&a.hookToken) != kOk) {
            a.hookToken = 0;
        }
        return true;
    }

    CRITICAL_SECTION m_lock;
    bool m_bTried = false;
    bool m_bStarted = false;
    GdiplusApi m_api = {};
};

Session& TheSession() {
    static Session session;
    return session;
}

#ifdef KY_TEST_HOOKS
bool g_unavailableForTesting = false;
#else
constexpr bool g_unavailableForTesting = false;
#endif

}  // namespace

const GdiplusApi* GetGdiplus() {
    if (g_unavailableForTesting) return nullptr;
    return TheSession().Get();
}

#ifdef KY_TEST_HOOKS
void SetGdiplusUnavailableForTesting(bool unavailable) { g_unavailableForTesting = unavailable; }
#endif

bool GdiplusDrawBitmap(const GdiplusApi* api, HDC dc, HBITMAP bitmap, HPALETTE palette, int x,
                       int y, int width, int height) {
    if (!api || !dc || !bitmap) return false;
    GpGraphics* graphics = nullptr;
    if (api->CreateFromHDC(dc, &graphics) != kOk || !graphics) return false;
    GpBitmap* image = nullptr;
    bool drawn = false;
    if (api->CreateBitmapFromHBITMAP(bitmap, palette, &image) == kOk && image) {
        GpImage* asImage = reinterpret_cast<GpImage*>(image);
        UINT w = 0, h = 0;
        drawn = api->GetImageWidth(asImage, &w) == kOk && api->GetImageHeight(asImage, &h) == kOk &&
                api->DrawImageRectRectI(graphics, asImage, x, y, width, height, 0, 0,
                                        static_cast<INT>(w), static_cast<INT>(h), kUnitPixel,
                                        nullptr, nullptr, nullptr) == kOk;
        api->DisposeImage(asImage);
    }
    api->DeleteGraphics(graphics);
    return drawn;
}
