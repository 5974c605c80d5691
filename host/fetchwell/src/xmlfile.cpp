// CXMLFile: the document is read once with XmlLite into a small element tree that the control
// file walks. XmlLite does all the parsing; this file only keeps what it reports.
#include "fetchwell/loadercontrol.h"

#include <objbase.h>
#include <shlwapi.h>
#include <xmllite.h>

#include "runtime.h"
#include "xmlnames.h"

namespace {

// Deep enough for any control file, shallow enough that a hostile file cannot run the tree
// builder out of stack or memory through nesting.
constexpr UINT kMaxElementDepth = 32;

// Control files are a few kilobytes; anything this large is not one, and would only cost memory.
constexpr ULONGLONG kMaxFileBytes = 1024 * 1024;

// The interface id of IXmlReader, {7279FC81-709D-4095-B63D-69FE4B0D9030}.
constexpr IID kIidXmlReader = {
    0x7279FC81, 0x709D, 0x4095, {0xB6, 0x3D, 0x69, 0xFE, 0x4B, 0x0D, 0x90, 0x30}};

struct CXMLAttribute {
    fetchwell::CText name;
    fetchwell::CText value;
    CXMLAttribute* next = nullptr;
};

class CXMLElement final : public CXMLNode {
public:
    explicit CXMLElement(CXMLElement* parent) : m_pParent(parent) {}
    ~CXMLElement() {
        while (m_pFirstAttribute != nullptr) {
            CXMLAttribute* next = m_pFirstAttribute->next;
            delete m_pFirstAttribute;
            m_pFirstAttribute = next;
        }
        // Children are deleted one level at a time; the depth is bounded by the reader.
        while (m_pFirstChild != nullptr) {
            CXMLElement* next = m_pFirstChild->m_pNextSibling;
            delete m_pFirstChild;
            m_pFirstChild = next;
        }
    }
    CXMLElement(const CXMLElement&) = delete;
    CXMLElement& operator=(const CXMLElement&) = delete;

    const wchar_t* GetName() const override { return m_name.c_str(); }
    const wchar_t* GetText() const override { return m_text.c_str(); }

    const wchar_t* GetAttribute(const wchar_t* name) const override {
        if (name == nullptr) {
            return nullptr;
        }
        for (const CXMLAttribute* attribute = m_pFirstAttribute; attribute != nullptr;
             attribute = attribute->next) {
            if (fetchwell::SameName(attribute->name.c_str(), name)) {
                return attribute->value.c_str();
            }
        }
        return nullptr;
    }

    const CXMLNode* GetFirstChild() const override { return m_pFirstChild; }
    const CXMLNode* GetNextSibling() const override { return m_pNextSibling; }

    const CXMLNode* FindChild(const wchar_t* name) const override {
        if (name == nullptr) {
            return nullptr;
        }
        for (const CXMLElement* child = m_pFirstChild; child != nullptr;
             child = child->m_pNextSibling) {
            if (fetchwell::SameName(child->m_name.c_str(), name)) {
                return child;
            }
        }
        return nullptr;
    }

    const CXMLNode* FindNextSibling() const override {
        for (const CXMLElement* sibling = m_pNextSibling; sibling != nullptr;
             sibling = sibling->m_pNextSibling) {
            if (fetchwell::SameName(sibling->m_name.c_str(), m_name.c_str())) {
                return sibling;
            }
        }
        return nullptr;
    }

    // A new last child; null when there is no memory for it.
    CXMLElement* AddChild() {
        CXMLElement* child = new (std::nothrow) CXMLElement(this);
        if (child == nullptr) {
            return nullptr;
        }
        if (m_pLastChild != nullptr) {
            m_pLastChild->m_pNextSibling = child;
        } else {
            m_pFirstChild = child;
        }
        m_pLastChild = child;
        return child;
    }

    bool AddAttribute(const wchar_t* name, const wchar_t* value) {
        CXMLAttribute* attribute = new (std::nothrow) CXMLAttribute;
        if (attribute == nullptr) {
            return false;
        }
        // Linked first, so that it is freed with the element whatever happens next.
        if (m_pLastAttribute != nullptr) {
            m_pLastAttribute->next = attribute;
        } else {
            m_pFirstAttribute = attribute;
        }
        m_pLastAttribute = attribute;
        return attribute->name.Assign(name) && attribute->value.Assign(value);
    }

    fetchwell::CText m_name;
    fetchwell::CText m_text;
    CXMLElement* m_pParent;

private:
    CXMLAttribute* m_pFirstAttribute = nullptr;
    CXMLAttribute* m_pLastAttribute = nullptr;
    CXMLElement* m_pFirstChild = nullptr;
    CXMLElement* m_pLastChild = nullptr;
    CXMLElement* m_pNextSibling = nullptr;
};

// The root element being built; deletes the tree unless it is released.
class CTreeOwner {
public:
    CTreeOwner() = default;
    ~CTreeOwner() { delete m_pRoot; }
    CTreeOwner(const CTreeOwner&) = delete;
    CTreeOwner& operator=(const CTreeOwner&) = delete;

    CXMLElement* Get() const { return m_pRoot; }
    void Reset(CXMLElement* root) {
        delete m_pRoot;
        m_pRoot = root;
    }
    CXMLElement* Release() {
        CXMLElement* root = m_pRoot;
        m_pRoot = nullptr;
        return root;
    }

private:
    CXMLElement* m_pRoot = nullptr;
};

// Owner of one COM interface pointer.
template <typename T>
class CComRef {
public:
    CComRef() = default;
    ~CComRef() {
        if (m_p != nullptr) {
            m_p->Release();
        }
    }
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;

    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    T** Receive() { return &m_p; }

private:
    T* m_p = nullptr;
};

// xmllite.dll, loaded by full path from the system folder so that a planted copy beside the
// host is never picked up. Declared before the reader so that it is freed after it.
class CXmlLiteModule {
public:
    CXmlLiteModule() {
        wchar_t path[MAX_PATH];
        const UINT length = GetSystemDirectoryW(path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH - 13) {
            return;
        }
        fetchwell::CopyTruncated(path + length, MAX_PATH - length, L"\\xmllite.dll");
        m_hModule = LoadLibraryW(path);
    }
    ~CXmlLiteModule() {
        if (m_hModule != nullptr) {
            FreeLibrary(m_hModule);
        }
    }
    CXmlLiteModule(const CXmlLiteModule&) = delete;
    CXmlLiteModule& operator=(const CXmlLiteModule&) = delete;

    HRESULT CreateReader(IXmlReader** reader) const {
        using CreateXmlReaderFn = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);
        if (m_hModule == nullptr) {
            return E_FAIL;
        }
        // GetProcAddress returns a generic function pointer; the cast through void* is the
        // documented way to give it its real type.
        const auto create = reinterpret_cast<CreateXmlReaderFn>(
            reinterpret_cast<void*>(GetProcAddress(m_hModule, "CreateXmlReader")));
        if (create == nullptr) {
            return E_FAIL;
        }
        return create(kIidXmlReader, reinterpret_cast<void**>(reader), nullptr);
    }

private:
    HMODULE m_hModule = nullptr;
};

bool ReadAttributes(IXmlReader* reader, CXMLElement* element) {
    HRESULT hr = reader->MoveToFirstAttribute();
    while (hr == S_OK) {
        const wchar_t* name = nullptr;
        const wchar_t* value = nullptr;
        if (FAILED(reader->GetLocalName(&name, nullptr)) ||
            FAILED(reader->GetValue(&value, nullptr))) {
            return false;
        }
        if (!element->AddAttribute(name, value)) {
            return false;
        }
        hr = reader->MoveToNextAttribute();
    }
    return SUCCEEDED(hr) && SUCCEEDED(reader->MoveToElement());
}

// The document's root element, or null when the file cannot be read or is not well-formed.
CXMLElement* ParseFile(const wchar_t* path) {
    CXmlLiteModule xmllite;
    CComRef<IStream> stream;
    CComRef<IXmlReader> reader;
    if (FAILED(SHCreateStreamOnFileW(path, STGM_READ | STGM_SHARE_DENY_WRITE, stream.Receive())) ||
        FAILED(xmllite.CreateReader(reader.Receive())) ||
        FAILED(reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit)) ||
        FAILED(reader->SetProperty(XmlReaderProperty_MaxElementDepth, kMaxElementDepth)) ||
        FAILED(reader->SetInput(stream.Get()))) {
        return nullptr;
    }
    STATSTG status = {};
    if (FAILED(stream->Stat(&status, STATFLAG_NONAME)) || status.cbSize.QuadPart > kMaxFileBytes) {
        return nullptr;
    }
    // Every node the reader reports consumes at least one character of the input, so a document
    // never needs more reads than it has bytes. Wine's reader, given a file that ends inside an
    // element, reports an empty white space node at the same place forever, each time with S_OK,
    // its read state still interactive and IsEOF false: neither the result nor the state ever
    // ends the loop. The bound turns that into a failure.
    ULONGLONG readsLeft = status.cbSize.QuadPart + 1;

    CTreeOwner root;
    CXMLElement* open = nullptr;  // innermost element whose end tag is still to come
    XmlNodeType type = XmlNodeType_None;
    HRESULT hr;
    while ((hr = reader->Read(&type)) == S_OK) {
        if (readsLeft-- == 0) {
            return nullptr;
        }
        switch (type) {
            case XmlNodeType_Element: {
                const wchar_t* name = nullptr;
                if (FAILED(reader->GetLocalName(&name, nullptr))) {
                    return nullptr;
                }
                // Asked before the attributes are visited: it describes the element node itself.
                const bool empty = reader->IsEmptyElement() != FALSE;
                CXMLElement* element;
                if (open != nullptr) {
                    element = open->AddChild();
                } else if (root.Get() == nullptr) {
                    root.Reset(new (std::nothrow) CXMLElement(nullptr));
                    element = root.Get();
                } else {
                    return nullptr;  // XmlLite refuses a second root already; be sure of it
                }
                // A tree without the memory for all of it counts as a file that was not parsed.
                if (element == nullptr || !element->m_name.Assign(name) ||
                    !ReadAttributes(reader.Get(), element)) {
                    return nullptr;
                }
                if (!empty) {
                    open = element;
                }
                break;
            }
            case XmlNodeType_EndElement:
                if (open == nullptr) {
                    return nullptr;
                }
                open->m_text.TrimBlanks();
                open = open->m_pParent;
                break;
            case XmlNodeType_Text:
            case XmlNodeType_CDATA: {
                if (open != nullptr) {
                    // Text that cannot be had would leave a value silently missing from the tree.
                    const wchar_t* value = nullptr;
                    if (FAILED(reader->GetValue(&value, nullptr))) {
                        return nullptr;
                    }
                    if (!open->m_text.Append(value)) {
                        return nullptr;
                    }
                }
                break;
            }
            default:
                break;
        }
    }
    // S_FALSE is the end of the input; anything else is a parse or read error.
    if (hr != S_FALSE || open != nullptr) {
        return nullptr;
    }
    return root.Release();
}

}  // namespace

CXMLFile::CXMLFile(const wchar_t* path) : m_pTree(nullptr) {
    if (path != nullptr && *path != L'\0') {
        m_pTree = ParseFile(path);
    }
}

CXMLFile::~CXMLFile() { delete static_cast<CXMLElement*>(m_pTree); }

const CXMLNode* CXMLFile::getXMLTree() const { return m_pTree; }

IXmlParser* CXMLFile::GetParser() { return this; }
