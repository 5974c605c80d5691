#include "DLGSelectGUILanguage.h"

#include <io.h>

#include "DrawUnmirrored.h"
#include "GuiResources.h"
#include "LoaderTrakkoMessage.h"
#include "NGWizard.h"
#include "TrakkoActions.h"
#include "WizardHelpers.h"
#include "kycplib/path.h"
#include "verified_library.h"

namespace {

constexpr COLORREF kSelection = RGB(182, 208, 252);
constexpr UINT kFlagBitmapId = 107;

// A CKeyValueItem chain into list.
void Collect(const kycplib::CKeyValueItem* item, kycplib::CKeyValueList& list) {
    for (; item; item = item->next) list.Add(item->key, item->value);
}

}  // namespace

using wizard_helpers::NextCaption;

HBITMAP MakeHighlightedCopy(HBITMAP bitmap) {
    if (!bitmap) return nullptr;
    BITMAP info = {};
    if (!GetObjectW(bitmap, sizeof(info), &info) || info.bmWidth <= 0 || info.bmHeight <= 0) {
        return nullptr;
    }
    BITMAPINFO header = {};
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = info.bmWidth;
    header.bmiHeader.biHeight = info.bmHeight;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP copy = CreateDIBSection(nullptr, &header, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!copy || !bits) {
        if (copy) DeleteObject(copy);
        return nullptr;
    }
    HDC source = CreateCompatibleDC(nullptr);
    HDC target = CreateCompatibleDC(nullptr);
    HGDIOBJ oldSource = SelectObject(source, bitmap);
    HGDIOBJ oldTarget = SelectObject(target, copy);
    BitBlt(target, 0, 0, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
    SelectObject(source, oldSource);
    SelectObject(target, oldTarget);
    DeleteDC(source);
    DeleteDC(target);
    GdiFlush();
    auto* pixels = static_cast<DWORD*>(bits);
    const size_t count = static_cast<size_t>(info.bmWidth) * static_cast<size_t>(info.bmHeight);
    for (size_t i = 0; i < count; ++i) {
        if ((pixels[i] & 0xFFFFFF) == 0xFFFFFF) pixels[i] = 0xB6D0FC;
    }
    return copy;
}

void CFlagListBox::DrawItem(LPDRAWITEMSTRUCT drawItem) {
    if (static_cast<int>(drawItem->itemID) == -1) return;
    CDialog* page = DYNAMIC_DOWNCAST(CDialog, CWnd::FromHandlePermanent(::GetParent(m_hWnd)));
    if (drawItem->itemAction & (ODA_DRAWENTIRE | ODA_SELECT)) {
        const bool selected = (drawItem->itemState & ODS_SELECTED) != 0;
        CRect client;
        GetClientRect(&client);
        CRect row(client.left, drawItem->rcItem.top, client.right, drawItem->rcItem.bottom);
        HBRUSH brush = CreateSolidBrush(selected ? kSelection : RGB(255, 255, 255));
        FillRect(drawItem->hDC, &row, brush);
        DeleteObject(brush);
        auto flag = reinterpret_cast<HBITMAP>(GetItemData(static_cast<int>(drawItem->itemID)));
        HBITMAP highlighted = selected ? MakeHighlightedCopy(flag) : nullptr;
        // At most the picture's own pixels, and upright in a right-to-left page.
        DrawUnmirrored(drawItem->hDC, drawItem->rcItem, highlighted ? highlighted : flag);
        if (highlighted) DeleteObject(highlighted);
        if (page) page->UpdateData(TRUE);
    }
    if ((drawItem->itemAction & ODA_FOCUS) && page) page->UpdateData(TRUE);
}

IMPLEMENT_DYNCREATE(CDLGSelectGUILanguage, CNGWizardPage)

BEGIN_MESSAGE_MAP(CDLGSelectGUILanguage, CNGWizardPage)
END_MESSAGE_MAP()

CDLGSelectGUILanguage::CDLGSelectGUILanguage(unsigned int hostContext)
    : CNGWizardPage(IDD), m_hostContext(hostContext) {
    const GuiResources& resources = TheGuiResources();
    m_psp.dwFlags |= PSP_USETITLE;
    if (resources.showHeaderTitle) {
        m_psp.dwFlags |= PSP_USEHEADERTITLE;
        m_strHeaderTitle.LoadString(103);
    }
    m_psp.pszTitle = resources.productName.c_str();
    m_psp.pszHeaderTitle = m_strHeaderTitle;
}

CDLGSelectGUILanguage::~CDLGSelectGUILanguage() {
    for (HBITMAP flag : m_flagBitmaps) DeleteObject(flag);
    for (HMODULE module : m_languageModules) FreeLibrary(module);
}

void CDLGSelectGUILanguage::DoDataExchange(CDataExchange* dx) {
    CNGWizardPage::DoDataExchange(dx);
    DDX_Control(dx, IDC_LANGUAGES, m_listLanguages);
    DDX_LBString(dx, IDC_LANGUAGES, m_strLanguage);
}

int CDLGSelectGUILanguage::FillLanguages(CLoaderControlFile* file, const wchar_t* languageDir,
                                         const wchar_t* productId) {
    m_pControlFile = file;
    if (!file) return 0;
    kycplib::CKeyValueList productLanguages;
    const bool forProduct = productId && *productId;
    if (forProduct) Collect(file->getFirstLanguageOfProduct(productId), productLanguages);
    for (const kycplib::CKeyValueItem* item = file->getFirstGUILanguage(); item;
         item = item->next) {
        if (!item->value[0]) continue;
        wchar_t path[MAX_PATH] = {};
        if (languageDir) lstrcpynW(path, languageDir, MAX_PATH);
        if (kycplib::AppendPath(path, MAX_PATH, item->value) != 0) continue;  // cut: not the file
        if (_waccess(path, 0) != 0) continue;
        if (forProduct && !productLanguages.Find(item->key)) continue;
        m_languages.Add(item->key, path);
    }
    // The provisional code is one that the list offers: its first entry.
    if (const kycplib::CKeyValueItem* first = m_languages.GetHead()) m_strLanguage = first->key;
    return static_cast<int>(m_languages.GetCount());
}

BOOL CDLGSelectGUILanguage::OnInitDialog() {
    CDialog::OnInitDialog();
    for (const kycplib::CKeyValueItem* item = m_languages.GetHead(); item; item = item->next) {
        if (!item->key[0] || !item->value[0] || _waccess(item->value, 0) != 0) continue;
        HMODULE module = LoadVerifiedLibrary(item->value, nullptr, 0, true);
        if (!module) continue;
        HBITMAP flag = LoadBitmapW(module, MAKEINTRESOURCEW(kFlagBitmapId));
        if (!flag) {
            FreeLibrary(module);
            continue;
        }
        m_languageModules.push_back(module);
        m_flagBitmaps.push_back(flag);
        int index = m_listLanguages.InsertString(-1, item->key);
        m_listLanguages.SetItemHeight(index, 20);
        m_listLanguages.SetItemData(index, reinterpret_cast<DWORD_PTR>(flag));
    }
    m_listLanguages.SetCurSel(0);
    SelectUserLanguage();
    UpdateData(TRUE);
    return TRUE;
}

void CDLGSelectGUILanguage::SelectUserLanguage() {
    wchar_t code[64] = {};
    MyLANGIDToISO3166(GetUserDefaultUILanguage(), code, 64, 0);
    kycplib::CKeyValueList all;
    if (m_pControlFile) Collect(m_pControlFile->getFirstGUILanguage(), all);
    if (code[0] && all.Find(code)) {
        m_listLanguages.SelectString(-1, code);
    } else if (all.Find(L"en")) {
        m_listLanguages.SelectString(-1, L"en");
    }
}

BOOL CDLGSelectGUILanguage::OnSetActive() {
    if (CNGWizard* wizard = GetWizard()) {
        wizard->PostMessage(PSM_SETWIZBUTTONS, 0, PSWIZB_BACK | PSWIZB_NEXT);
        CString next = NextCaption(wizard);
        wizard->PostMessage(PSM_SETWIZBUTTONS, 0, PSWIZB_BACK | PSWIZB_FINISH);
        if (HWND back = ::GetDlgItem(wizard->m_hWnd, ID_WIZBACK)) {
            ::ShowWindow(back, m_bShowBack ? SW_SHOW : SW_HIDE);
        }
        if (HWND finish = ::GetDlgItem(wizard->m_hWnd, ID_WIZFINISH)) {
            ::SetWindowTextW(finish, next);
            ::EnableWindow(finish, TRUE);
            ::ShowWindow(finish, SW_SHOW);
        }
    }
    ::SetFocus(m_listLanguages.m_hWnd);
    return CNGWizardPage::OnSetActive();
}

BOOL CDLGSelectGUILanguage::OnQueryCancel() {
    LoaderTrakkoMessage message;
    message.Send(FETCHWELL_DLG_SELECT_LANG_CANCEL);
    Sleep(1000);  // gives the report time to leave before the process may end
    return TRUE;
}
