// CLoaderControlFile: everything is copied out of the document when the instance is made, so
// the lists stay valid however long the caller keeps the instance and whatever happens to the
// parser it came from.
#include "fetchwell/loadercontrol.h"

#include <stdlib.h>
#include <wchar.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "xmlnames.h"

namespace {

using kycplib::CKeyValueItem;
using kycplib::CKeyValueList;

// Element and attribute names of the file format (docs/loadercontrol.md).
constexpr const wchar_t* kRootElement = L"loadercontrol";
constexpr const wchar_t* kAppearanceElement = L"appearance";
constexpr const wchar_t* kBackgroundColorElement = L"backgroundColor";
constexpr const wchar_t* kShowHeaderTitleElement = L"showHeaderTitle";
constexpr const wchar_t* kGuiLanguagesElement = L"guiLanguages";
constexpr const wchar_t* kProductsElement = L"products";
constexpr const wchar_t* kProductElement = L"product";
constexpr const wchar_t* kLanguageElement = L"language";
constexpr const wchar_t* kIdAttribute = L"id";
constexpr const wchar_t* kNameAttribute = L"name";
constexpr const wchar_t* kCodeAttribute = L"code";
constexpr const wchar_t* kLibraryAttribute = L"library";

SRWLOCK g_instanceLock = SRWLOCK_INIT;
CLoaderControlFile* g_pInstance = nullptr;

class CExclusiveLock {
public:
    explicit CExclusiveLock(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ~CExclusiveLock() { ReleaseSRWLockExclusive(&m_lock); }
    CExclusiveLock(const CExclusiveLock&) = delete;
    CExclusiveLock& operator=(const CExclusiveLock&) = delete;

private:
    SRWLOCK& m_lock;
};

// Attribute value with surrounding blanks removed; empty when absent.
std::wstring Attribute(const CXMLNode& node, const wchar_t* name) {
    const wchar_t* value = node.GetAttribute(name);
    return fetchwell::TrimBlanks(value != nullptr ? value : L"");
}

bool ContainsKey(const CKeyValueList& list, const wchar_t* key) {
    return list.Find(key) != nullptr;
}

// "r,g,b" with three decimal numbers 0 to 255, blanks allowed around each. Anything else leaves
// the colour unset rather than guessing at a part of it.
bool ParseColor(const wchar_t* text, int components[3]) {
    const wchar_t* p = text;
    for (int i = 0; i < 3; ++i) {
        while (*p == L' ' || *p == L'\t') {
            ++p;
        }
        if (*p < L'0' || *p > L'9') {
            return false;
        }
        int value = 0;
        int digits = 0;
        while (*p >= L'0' && *p <= L'9') {
            value = value * 10 + (*p - L'0');
            if (++digits > 3) {
                return false;
            }
            ++p;
        }
        if (value > 255) {
            return false;
        }
        components[i] = value;
        while (*p == L' ' || *p == L'\t') {
            ++p;
        }
        if (i < 2) {
            if (*p != L',') {
                return false;
            }
            ++p;
        }
    }
    return *p == L'\0';
}

// "true"/"1"/"yes" and "false"/"0"/"no" in any letter case; anything else gives the default.
bool ParseFlag(const wchar_t* text, bool defaultValue) {
    for (const wchar_t* yes : {L"true", L"1", L"yes"}) {
        if (_wcsicmp(text, yes) == 0) {
            return true;
        }
    }
    for (const wchar_t* no : {L"false", L"0", L"no"}) {
        if (_wcsicmp(text, no) == 0) {
            return false;
        }
    }
    return defaultValue;
}

}  // namespace

struct CLoaderControlFile::Data {
    CKeyValueList products;
    // One list per product, in the order of the products list.
    std::vector<std::unique_ptr<CKeyValueList>> productLanguages;
    CKeyValueList guiLanguages;
    CKeyValueList allLanguages;
    bool showHeaderTitle = true;
    int color[3] = {0, 0, 0};

    CKeyValueList* LanguagesOf(const wchar_t* productId) {
        if (productId == nullptr) {
            return nullptr;
        }
        size_t index = 0;
        for (const CKeyValueItem* item = products.GetHead(); item != nullptr;
             item = item->next, ++index) {
            if (fetchwell::SameName(item->key, productId)) {
                return productLanguages[index].get();
            }
        }
        return nullptr;
    }
};

CLoaderControlFile::CLoaderControlFile(const CXMLNode& root) : m_pData(new Data) {
    try {
        if (const CXMLNode* appearance = root.FindChild(kAppearanceElement)) {
            if (const CXMLNode* color = appearance->FindChild(kBackgroundColorElement)) {
                int components[3] = {0, 0, 0};
                if (ParseColor(color->GetText(), components)) {
                    for (int i = 0; i < 3; ++i) {
                        m_pData->color[i] = components[i];
                    }
                }
            }
            if (const CXMLNode* flag = appearance->FindChild(kShowHeaderTitleElement)) {
                m_pData->showHeaderTitle = ParseFlag(flag->GetText(), true);
            }
        }

        if (const CXMLNode* languages = root.FindChild(kGuiLanguagesElement)) {
            for (const CXMLNode* language = languages->FindChild(kLanguageElement);
                 language != nullptr; language = language->FindNextSibling()) {
                // A language without a code cannot be chosen or looked up; it is left out.
                const std::wstring code = Attribute(*language, kCodeAttribute);
                if (!code.empty()) {
                    m_pData->guiLanguages.Add(code.c_str(),
                                              Attribute(*language, kLibraryAttribute).c_str());
                }
            }
        }

        if (const CXMLNode* products = root.FindChild(kProductsElement)) {
            for (const CXMLNode* product = products->FindChild(kProductElement); product != nullptr;
                 product = product->FindNextSibling()) {
                const std::wstring id = Attribute(*product, kIdAttribute);
                if (id.empty()) {
                    continue;
                }
                auto languages = std::make_unique<CKeyValueList>();
                for (const CXMLNode* language = product->FindChild(kLanguageElement);
                     language != nullptr; language = language->FindNextSibling()) {
                    const std::wstring code = Attribute(*language, kCodeAttribute);
                    if (code.empty() || ContainsKey(*languages, code.c_str())) {
                        continue;
                    }
                    languages->Add(code.c_str(), L"");
                    if (!ContainsKey(m_pData->allLanguages, code.c_str())) {
                        m_pData->allLanguages.Add(code.c_str(), L"");
                    }
                }
                m_pData->productLanguages.push_back(std::move(languages));
                m_pData->products.Add(id.c_str(), Attribute(*product, kNameAttribute).c_str());
            }
        }
    } catch (...) {
        delete m_pData;
        throw;
    }
}

CLoaderControlFile::~CLoaderControlFile() { delete m_pData; }

CLoaderControlFile* CLoaderControlFile::GetInstance(IXmlParser* parser) {
    CExclusiveLock lock(g_instanceLock);
    if (g_pInstance != nullptr) {
        return g_pInstance;
    }
    const CXMLNode* root = parser != nullptr ? parser->getXMLTree() : nullptr;
    if (root == nullptr || !fetchwell::SameName(root->GetName(), kRootElement)) {
        return nullptr;
    }
    try {
        g_pInstance = new CLoaderControlFile(*root);
    } catch (const std::bad_alloc&) {
        g_pInstance = nullptr;
    }
    return g_pInstance;
}

void CLoaderControlFile::FreeInstance() {
    CExclusiveLock lock(g_instanceLock);
    delete g_pInstance;
    g_pInstance = nullptr;
}

const kycplib::CKeyValueItem* CLoaderControlFile::getFirstProduct() {
    return m_pData->products.GetHead();
}

const wchar_t* CLoaderControlFile::getFirstProductID() {
    const CKeyValueItem* first = m_pData->products.GetHead();
    return first != nullptr ? first->key : L"";
}

const kycplib::CKeyValueItem* CLoaderControlFile::getFirstGUILanguage() {
    return m_pData->guiLanguages.GetHead();
}

const kycplib::CKeyValueItem* CLoaderControlFile::getFirstLanguageOfProduct(
    const wchar_t* productId) {
    const CKeyValueList* languages = m_pData->LanguagesOf(productId);
    return languages != nullptr ? languages->GetHead() : nullptr;
}

int CLoaderControlFile::getNumLanguagesOfProduct(const wchar_t* productId) {
    const CKeyValueList* languages = m_pData->LanguagesOf(productId);
    return languages != nullptr ? static_cast<int>(languages->GetCount()) : 0;
}

const kycplib::CKeyValueItem* CLoaderControlFile::getFirstLanguageOfAll() {
    return m_pData->allLanguages.GetHead();
}

bool CLoaderControlFile::showHeaderTitle() const { return m_pData->showHeaderTitle; }

void CLoaderControlFile::getBackgroundColorRGB(int& red, int& green, int& blue) const {
    red = m_pData->color[0];
    green = m_pData->color[1];
    blue = m_pData->color[2];
}
