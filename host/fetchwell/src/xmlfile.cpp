// CXMLFile: the document is read once with XmlLite into a small element tree that the control
// file walks. XmlLite does all the parsing; this file only keeps what it reports.
#include "fetchwell/loadercontrol.h"

#include <objbase.h>
#include <shlwapi.h>
#include <xmllite.h>

#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "xmlnames.h"

namespace {

// Deep enough for any control file, shallow enough that a hostile file cannot run the tree
// builder out of stack or memory through nesting.
constexpr UINT kMaxElementDepth = 32;

// Control files are a few kilobytes; anything this large is not one, and would only cost memory.
constexpr ULONGLONG kMaxFileBytes = 1024 * 1024;

class CXMLElement final : public CXMLNode {
public:
    explicit CXMLElement(CXMLElement* parent) : m_pParent(parent) {}

    const wchar_t* GetName() const override { return m_name.c_str(); }
    const wchar_t* GetText() const override { return m_text.c_str(); }

    const wchar_t* GetAttribute(const wchar_t* name) const override {
        if (name == nullptr) {
            return nullptr;
        }
        for (const auto& attribute : m_attributes) {
            if (fetchwell::SameName(attribute.first.c_str(), name)) {
                return attribute.second.c_str();
            }
        }
        return nullptr;
    }

    const CXMLNode* GetFirstChild() const override {
        return m_children.empty() ? nullptr : m_children.front().get();
    }
    const CXMLNode* GetNextSibling() const override { return m_pNextSibling; }

    const CXMLNode* FindChild(const wchar_t* name) const override {
        if (name == nullptr) {
            return nullptr;
        }
        for (const auto& child : m_children) {
            if (fetchwell::SameName(child->m_name.c_str(), name)) {
                return child.get();
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

    CXMLElement* AddChild() {
        m_children.push_back(std::make_unique<CXMLElement>(this));
        CXMLElement* child = m_children.back().get();
        if (m_children.size() > 1) {
            m_children[m_children.size() - 2]->m_pNextSibling = child;
        }
        return child;
    }

    void TrimText() { m_text = fetchwell::TrimBlanks(m_text); }

    std::wstring m_name;
    std::wstring m_text;
    std::vector<std::pair<std::wstring, std::wstring>> m_attributes;
    std::vector<std::unique_ptr<CXMLElement>> m_children;
    CXMLElement* m_pParent;
    CXMLElement* m_pNextSibling = nullptr;
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
        wcscat_s(path, MAX_PATH, L"\\xmllite.dll");
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
        return create(__uuidof(IXmlReader), reinterpret_cast<void**>(reader), nullptr);
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
        element->m_attributes.emplace_back(name, value);
        hr = reader->MoveToNextAttribute();
    }
    return SUCCEEDED(hr) && SUCCEEDED(reader->MoveToElement());
}

// The document's root element, or null when the file cannot be read or is not well-formed.
std::unique_ptr<CXMLElement> ParseFile(const wchar_t* path) {
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

    std::unique_ptr<CXMLElement> root;
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
                } else if (!root) {
                    root = std::make_unique<CXMLElement>(nullptr);
                    element = root.get();
                } else {
                    return nullptr;  // XmlLite refuses a second root already; be sure of it
                }
                element->m_name = name;
                if (!ReadAttributes(reader.Get(), element)) {
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
                open->TrimText();
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
                    open->m_text += value;
                }
                break;
            }
            default:
                break;
        }
    }
    // S_FALSE is the end of the input; anything else is a parse or read error.
    if (hr != S_FALSE || open != nullptr || !root) {
        return nullptr;
    }
    return root;
}

}  // namespace

CXMLFile::CXMLFile(const wchar_t* path) : m_pTree(nullptr), m_pPath(nullptr) {
    try {
        const std::wstring text = path != nullptr ? path : L"";
        m_pPath = new wchar_t[text.size() + 1];
        wcscpy_s(m_pPath, text.size() + 1, text.c_str());
        if (path != nullptr && *path != L'\0') {
            m_pTree = ParseFile(path).release();
        }
    } catch (const std::bad_alloc&) {
        // A file too large to hold counts as one that could not be parsed.
        m_pTree = nullptr;
    }
}

CXMLFile::~CXMLFile() {
    delete static_cast<CXMLElement*>(m_pTree);
    delete[] m_pPath;
}

const CXMLNode* CXMLFile::getXMLTree() const { return m_pTree; }

IXmlParser* CXMLFile::GetParser() { return this; }

const wchar_t* CXMLFile::GetPath() const { return m_pPath != nullptr ? m_pPath : L""; }

void* CXMLFile::operator new(size_t size) noexcept { return ::operator new(size, std::nothrow); }

void CXMLFile::operator delete(void* p) { ::operator delete(p); }
