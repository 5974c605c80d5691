// CLoaderControlFile: everything is copied out of the document when the instance is made, so
// the lists stay valid however long the caller keeps the instance and whatever happens to the
// parser it came from.
#include "fetchwell/loadercontrol.h"

#include "runtime.h"
#include "xmlnames.h"

namespace {

using kycplib::CKeyValueItem;

// A chain of items in the layout callers read, owned here: added at the end, found ignoring case.
class CItemChain {
public:
    CItemChain() = default;
    ~CItemChain() {
        while (m_pHead != nullptr) {
            CKeyValueItem* next = m_pHead->next;
            delete m_pHead;
            m_pHead = next;
        }
    }
    CItemChain(const CItemChain&) = delete;
    CItemChain& operator=(const CItemChain&) = delete;

    // Both texts are cut to 259 characters. False when there is no memory for the item.
    bool Add(const wchar_t* key, const wchar_t* value) {
        CKeyValueItem* item = new (std::nothrow) CKeyValueItem(m_pTail);
        if (item == nullptr) {
            return false;
        }
        fetchwell::CopyTruncated(item->key, CKeyValueItem::kTextSize, key);
        fetchwell::CopyTruncated(item->value, CKeyValueItem::kTextSize, value);
        if (m_pTail != nullptr) {
            m_pTail->next = item;
        } else {
            m_pHead = item;
        }
        m_pTail = item;
        ++m_count;
        return true;
    }
    bool Contains(const wchar_t* key) const {
        for (const CKeyValueItem* item = m_pHead; item != nullptr; item = item->next) {
            if (fetchwell::SameName(item->key, key)) {
                return true;
            }
        }
        return false;
    }

    const CKeyValueItem* GetHead() const { return m_pHead; }
    int GetCount() const { return m_count; }

private:
    CKeyValueItem* m_pHead = nullptr;
    CKeyValueItem* m_pTail = nullptr;
    int m_count = 0;
};

// The languages of one product; kept in the order of the products list.
struct CProductLanguages {
    CItemChain languages;
    CProductLanguages* next = nullptr;
};

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

// Attribute value with surrounding blanks removed; empty when absent. False without memory.
bool Attribute(const CXMLNode& node, const wchar_t* name, fetchwell::CText& text) {
    if (!text.Assign(node.GetAttribute(name))) {
        return false;
    }
    text.TrimBlanks();
    return true;
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
    static const wchar_t* const kYes[] = {L"true", L"1", L"yes"};
    static const wchar_t* const kNo[] = {L"false", L"0", L"no"};
    for (const wchar_t* yes : kYes) {
        if (_wcsicmp(text, yes) == 0) {
            return true;
        }
    }
    for (const wchar_t* no : kNo) {
        if (_wcsicmp(text, no) == 0) {
            return false;
        }
    }
    return defaultValue;
}

}  // namespace

struct CLoaderControlFile::Data {
    Data() = default;
    ~Data() {
        while (productLanguages != nullptr) {
            CProductLanguages* next = productLanguages->next;
            delete productLanguages;
            productLanguages = next;
        }
    }
    Data(const Data&) = delete;
    Data& operator=(const Data&) = delete;

    // Reads the document; false when the memory for all of it cannot be had.
    bool Read(const CXMLNode& root);

    const CItemChain* LanguagesOf(const wchar_t* productId) const {
        if (productId == nullptr) {
            return nullptr;
        }
        const CProductLanguages* languages = productLanguages;
        for (const CKeyValueItem* item = products.GetHead();
             item != nullptr && languages != nullptr;
             item = item->next, languages = languages->next) {
            if (fetchwell::SameName(item->key, productId)) {
                return &languages->languages;
            }
        }
        return nullptr;
    }

    CItemChain products;
    // One chain per product, in the order of the products list.
    CProductLanguages* productLanguages = nullptr;
    CProductLanguages* lastProductLanguages = nullptr;
    CItemChain guiLanguages;
    CItemChain allLanguages;
    bool showHeaderTitle = true;
    int color[3] = {0, 0, 0};
};

bool CLoaderControlFile::Data::Read(const CXMLNode& root) {
    if (const CXMLNode* appearance = root.FindChild(kAppearanceElement)) {
        if (const CXMLNode* element = appearance->FindChild(kBackgroundColorElement)) {
            int components[3] = {0, 0, 0};
            if (ParseColor(element->GetText(), components)) {
                for (int i = 0; i < 3; ++i) {
                    color[i] = components[i];
                }
            }
        }
        if (const CXMLNode* flag = appearance->FindChild(kShowHeaderTitleElement)) {
            showHeaderTitle = ParseFlag(flag->GetText(), true);
        }
    }

    fetchwell::CText code;
    fetchwell::CText text;
    if (const CXMLNode* languages = root.FindChild(kGuiLanguagesElement)) {
        for (const CXMLNode* language = languages->FindChild(kLanguageElement); language != nullptr;
             language = language->FindNextSibling()) {
            if (!Attribute(*language, kCodeAttribute, code) ||
                !Attribute(*language, kLibraryAttribute, text)) {
                return false;
            }
            // A language without a code cannot be chosen or looked up; it is left out.
            if (!code.empty() && !guiLanguages.Add(code.c_str(), text.c_str())) {
                return false;
            }
        }
    }

    if (const CXMLNode* productsElement = root.FindChild(kProductsElement)) {
        for (const CXMLNode* product = productsElement->FindChild(kProductElement);
             product != nullptr; product = product->FindNextSibling()) {
            if (!Attribute(*product, kIdAttribute, text)) {
                return false;
            }
            if (text.empty()) {
                continue;
            }
            CProductLanguages* entry = new (std::nothrow) CProductLanguages;
            if (entry == nullptr) {
                return false;
            }
            if (lastProductLanguages != nullptr) {
                lastProductLanguages->next = entry;
            } else {
                productLanguages = entry;
            }
            lastProductLanguages = entry;
            for (const CXMLNode* language = product->FindChild(kLanguageElement);
                 language != nullptr; language = language->FindNextSibling()) {
                if (!Attribute(*language, kCodeAttribute, code)) {
                    return false;
                }
                if (code.empty() || entry->languages.Contains(code.c_str())) {
                    continue;
                }
                if (!entry->languages.Add(code.c_str(), L"") ||
                    (!allLanguages.Contains(code.c_str()) &&
                     !allLanguages.Add(code.c_str(), L""))) {
                    return false;
                }
            }
            const wchar_t* id = text.c_str();
            fetchwell::CText name;
            if (!Attribute(*product, kNameAttribute, name) || !products.Add(id, name.c_str())) {
                return false;
            }
        }
    }
    return true;
}

CLoaderControlFile::CLoaderControlFile(Data* data) : m_pData(data) {}

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
    // Running out of memory anywhere makes no instance rather than one with lists missing.
    Data* data = new (std::nothrow) Data;
    if (data == nullptr) {
        return nullptr;
    }
    if (!data->Read(*root)) {
        delete data;
        return nullptr;
    }
    g_pInstance = new (std::nothrow) CLoaderControlFile(data);
    if (g_pInstance == nullptr) {
        delete data;
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
    const CItemChain* languages = m_pData->LanguagesOf(productId);
    return languages != nullptr ? languages->GetHead() : nullptr;
}

int CLoaderControlFile::getNumLanguagesOfProduct(const wchar_t* productId) {
    const CItemChain* languages = m_pData->LanguagesOf(productId);
    return languages != nullptr ? languages->GetCount() : 0;
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
