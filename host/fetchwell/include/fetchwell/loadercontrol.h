// The loader host's library: the loader control file (loadercontrol.xml), the XML parser behind
// it, language-code conversion and the time difference used for progress figures.
//
// The library is built with the platform's own compiler (the host vendor's), and its callers may
// be built with another one (the plug-in is built with GCC). So this header has two views of one
// binary interface:
// - compiled with the platform's compiler (_MSC_VER), the classes as the library defines them;
// - compiled with any other compiler, declarations that reach the same code by the platform
//   compiler's rules: its decorated names, thiscall member functions on 32-bit, a virtual
//   destructor that takes a single table slot (called with a "free me" flag), and the object size
//   and layout of the library's own declaration.
// The second view declares only what a caller may rely on. The library may export more (the
// platform compiler exports every member of an exported class); nothing else is imported.
//
// Who allocates what. A caller makes a CXMLFile in memory it takes from the process heap
// (HeapAlloc(GetProcessHeap(), ...), sizeof(CXMLFile) bytes) and constructs it there; the
// object's deleting destructor returns that memory to the process heap. The platform's C runtime
// allocates from the process heap too, so "new CXMLFile(path)" compiled with the platform's
// compiler is this same contract. Lists, nodes and the control file instance are allocated and
// freed inside the library; callers only read them.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "kycplib/keyvalue.h"

#if defined(_MSC_VER)
#if defined(FETCHWELL_BUILD_DLL)
#define FETCHWELL_API __declspec(dllexport)
#else
#define FETCHWELL_API __declspec(dllimport)
#endif
#else
// Other compilers reach the functions through an import library made from the list of names
// they may use; no attribute is needed for calls.
#define FETCHWELL_API
#endif

// One element of a parsed XML document: name, attributes, the text directly inside it, children.
// Element and attribute names are matched ignoring letter case, so "Product", "PRODUCT" and
// "product" are the same name; values are returned exactly as written. Nodes belong to the
// CXMLFile that parsed them and live as long as it does.
//
// Only pure virtual functions, no destructor in the table and no overloads: every compiler for
// the platform lays this table out the same way (declaration order, thiscall on 32-bit).
class CXMLNode {
public:
    virtual const wchar_t* GetName() const = 0;
    // Character data directly inside the element (text and CDATA, concatenated), with leading
    // and trailing white space removed; empty when there is none.
    virtual const wchar_t* GetText() const = 0;
    // Value of the attribute of that name, or null when the element has none.
    virtual const wchar_t* GetAttribute(const wchar_t* name) const = 0;
    virtual const CXMLNode* GetFirstChild() const = 0;
    virtual const CXMLNode* GetNextSibling() const = 0;
    // First child element of that name, or null.
    virtual const CXMLNode* FindChild(const wchar_t* name) const = 0;
    // Next sibling element of the same name as this one, or null.
    virtual const CXMLNode* FindNextSibling() const = 0;

protected:
    CXMLNode() = default;
    ~CXMLNode() = default;
};

#if defined(_MSC_VER)

// What the control file reads: anything that can hand out the root element of a parsed document.
class IXmlParser {
public:
    virtual ~IXmlParser() {}
    // Root element, or null when there is no parsed document.
    virtual const CXMLNode* getXMLTree() const = 0;
};

// An XML file parsed at construction with the system's XmlLite parser (no DTDs, no external
// entities). A missing, unreadable, empty or malformed file leaves getXMLTree() null. The
// constructor does not throw.
class FETCHWELL_API CXMLFile : public IXmlParser {
public:
    // path: full path of the file; null gives an object without a tree.
    explicit CXMLFile(const wchar_t* path);
    ~CXMLFile() override;

    CXMLFile(const CXMLFile&) = delete;
    CXMLFile& operator=(const CXMLFile&) = delete;

    const CXMLNode* getXMLTree() const override;
    // The parser interface of this file.
    IXmlParser* GetParser();

private:
    CXMLNode* m_pTree;
};

// The loader control file, read from a parsed document into lists once, when the process-wide
// instance is made. The instance keeps no pointer to the parser, so the parser may be destroyed
// at any time after GetInstance returned.
//
// Lists are chains of kycplib::CKeyValueItem owned by the instance: follow next until null, do
// not free or change an item, copy what must outlive FreeInstance. An empty list is null.
class FETCHWELL_API CLoaderControlFile {
public:
    // The process-wide instance. The first call whose parser has a tree with a <loadercontrol>
    // root makes it; every later call returns that same instance, whatever parser it is given
    // (the data of the first file stays in force until FreeInstance). Null when there is no
    // instance yet and the parser is null, has no tree or is not a control file.
    static CLoaderControlFile* GetInstance(IXmlParser* parser);
    // Destroys the instance (every list it handed out goes with it); the next GetInstance makes
    // a new one. Harmless when there is none.
    static void FreeInstance();

    CLoaderControlFile(const CLoaderControlFile&) = delete;
    CLoaderControlFile& operator=(const CLoaderControlFile&) = delete;

    // key: product id, value: display name; in file order.
    const kycplib::CKeyValueItem* getFirstProduct();
    // Id of the first product; empty (never null) when there is none.
    const wchar_t* getFirstProductID();
    // key: language code, value: file name of its resource library; in file order.
    const kycplib::CKeyValueItem* getFirstGUILanguage();
    // key: language code, value: empty; the product is looked up ignoring case. Null for an
    // unknown or null id and for a product without languages.
    const kycplib::CKeyValueItem* getFirstLanguageOfProduct(const wchar_t* productId);
    // Number of languages of that product; 0 for an unknown or null id.
    int getNumLanguagesOfProduct(const wchar_t* productId);
    // Every language code of every product, each once (compared ignoring case), in order of
    // first appearance; value empty.
    const kycplib::CKeyValueItem* getFirstLanguageOfAll();
    // True unless the file says false; absent or unreadable values give true.
    bool showHeaderTitle() const;
    // The background colour's components 0 to 255; all three stay 0 when the file sets none or
    // its value is not three numbers in that range.
    void getBackgroundColorRGB(int& red, int& green, int& blue) const;

private:
    struct Data;
    explicit CLoaderControlFile(Data* data);
    ~CLoaderControlFile();

    Data* m_pData;
};

#else  // another compiler's view of the same classes

#if defined(__i386__)
// Member functions are thiscall on 32-bit already; static members and free functions are cdecl.
#define FETCHWELL_NAME(x86, x64) __asm__("\"" x86 "\"")
#define FETCHWELL_THISCALL __attribute__((thiscall))
#elif defined(__x86_64__)
#define FETCHWELL_NAME(x86, x64) __asm__("\"" x64 "\"")
#define FETCHWELL_THISCALL
#else
#error "the library exists for 32-bit and 64-bit x86 Windows only"
#endif

// The platform compiler's IXmlParser: slot 0 is its virtual destructor (one entry, which destroys
// the object and, when bit 0 of flags is set, frees its memory), slot 1 getXMLTree.
class IXmlParser {
public:
    virtual void* FETCHWELL_THISCALL DestroyParser(unsigned int flags) = 0;
    // Root element, or null when there is no parsed document.
    virtual const CXMLNode* FETCHWELL_THISCALL getXMLTree() const = 0;

protected:
    IXmlParser() = default;
    // Not virtual: destruction goes through DestroyParser, as the library's callers do it.
    ~IXmlParser() = default;
};

// An XML file parsed at construction (see the first view). Made with Create, ended with Delete.
class CXMLFile : public IXmlParser {
public:
    // A parsed file in memory from the process heap; null when the memory cannot be had.
    static CXMLFile* Create(const wchar_t* path) {
        void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(CXMLFile));
        if (memory == nullptr) return nullptr;
        return static_cast<CXMLFile*>(memory)->Construct(path);
    }
    // Destroys the file and returns its memory to the process heap (its deleting destructor).
    static void Delete(CXMLFile* file) {
        if (file != nullptr) file->DestroyParser(1);
    }

    CXMLFile(const CXMLFile&) = delete;
    CXMLFile& operator=(const CXMLFile&) = delete;

private:
    CXMLFile() = delete;
    ~CXMLFile() = delete;
    // The library's constructor CXMLFile(const wchar_t*), run on raw memory; returns this.
    CXMLFile* Construct(const wchar_t* path)
        FETCHWELL_NAME("??0CXMLFile@@QAE@PB_W@Z", "??0CXMLFile@@QEAA@PEB_W@Z");

    // The library's layout after the table pointer.
    CXMLNode* m_pTree;
};

class CLoaderControlFile {
public:
    static CLoaderControlFile* GetInstance(IXmlParser* parser)
        FETCHWELL_NAME("?GetInstance@CLoaderControlFile@@SAPAV1@PAVIXmlParser@@@Z",
                       "?GetInstance@CLoaderControlFile@@SAPEAV1@PEAVIXmlParser@@@Z");
    static void FreeInstance() FETCHWELL_NAME("?FreeInstance@CLoaderControlFile@@SAXXZ",
                                              "?FreeInstance@CLoaderControlFile@@SAXXZ");

    CLoaderControlFile(const CLoaderControlFile&) = delete;
    CLoaderControlFile& operator=(const CLoaderControlFile&) = delete;

    const kycplib::CKeyValueItem* getFirstProduct()
        FETCHWELL_NAME("?getFirstProduct@CLoaderControlFile@@QAEPBVCKeyValueItem@kycplib@@XZ",
                       "?getFirstProduct@CLoaderControlFile@@QEAAPEBVCKeyValueItem@kycplib@@XZ");
    const wchar_t* getFirstProductID()
        FETCHWELL_NAME("?getFirstProductID@CLoaderControlFile@@QAEPB_WXZ",
                       "?getFirstProductID@CLoaderControlFile@@QEAAPEB_WXZ");
    const kycplib::CKeyValueItem* getFirstGUILanguage() FETCHWELL_NAME(
        "?getFirstGUILanguage@CLoaderControlFile@@QAEPBVCKeyValueItem@kycplib@@XZ",
        "?getFirstGUILanguage@CLoaderControlFile@@QEAAPEBVCKeyValueItem@kycplib@@XZ");
    const kycplib::CKeyValueItem* getFirstLanguageOfProduct(const wchar_t* productId)
        FETCHWELL_NAME(
            "?getFirstLanguageOfProduct@CLoaderControlFile@@QAEPBVCKeyValueItem@kycplib@@PB_W@Z",
            "?getFirstLanguageOfProduct@CLoaderControlFile@@QEAAPEBVCKeyValueItem@kycplib@@PEB_W@"
            "Z");
    int getNumLanguagesOfProduct(const wchar_t* productId)
        FETCHWELL_NAME("?getNumLanguagesOfProduct@CLoaderControlFile@@QAEHPB_W@Z",
                       "?getNumLanguagesOfProduct@CLoaderControlFile@@QEAAHPEB_W@Z");
    const kycplib::CKeyValueItem* getFirstLanguageOfAll() FETCHWELL_NAME(
        "?getFirstLanguageOfAll@CLoaderControlFile@@QAEPBVCKeyValueItem@kycplib@@XZ",
        "?getFirstLanguageOfAll@CLoaderControlFile@@QEAAPEBVCKeyValueItem@kycplib@@XZ");
    bool showHeaderTitle() const FETCHWELL_NAME("?showHeaderTitle@CLoaderControlFile@@QBE_NXZ",
                                                "?showHeaderTitle@CLoaderControlFile@@QEBA_NXZ");
    void getBackgroundColorRGB(int& red, int& green, int& blue) const
        FETCHWELL_NAME("?getBackgroundColorRGB@CLoaderControlFile@@QBEXAAH00@Z",
                       "?getBackgroundColorRGB@CLoaderControlFile@@QEBAXAEAH00@Z");

private:
    // Only the library makes and destroys the instance.
    CLoaderControlFile() = delete;
    ~CLoaderControlFile() = delete;
};

#undef FETCHWELL_NAME

#endif

// Flags of MyLANGIDToISO3166.
enum : int {
    // Append the ISO 3166 country of the sub-language: "de-AT" instead of "de".
    MYLANGID_WITH_COUNTRY = 1
};

extern "C" {

// The language code of langId in the form of the control file's GUI-language keys: two lower-case
// letters of ISO 639-1 ("en", "de", "fr", "ru", "ja"...), with MYLANGID_WITH_COUNTRY followed by
// "-" and the country. An unknown or neutral language gives an empty text. At most size - 1
// characters are written and the text is always terminated (nothing is written for a null buffer
// or size 0). Returns the number of characters written.
FETCHWELL_API int MyLANGIDToISO3166(LANGID langId, wchar_t* buffer, unsigned int size, int flags);

// The language as the statistics requests send it: the code in lower case with "_" written as
// "-". The request puts it into its URL unescaped, so a code holding anything but ASCII letters,
// digits, "-" and "_" gives an empty text, as does a null one. Cut to size - 1 characters and
// always terminated. Returns the number of characters written.
FETCHWELL_API int ConvertProductLanguageForUserAgent(const wchar_t* language, wchar_t* buffer,
                                                     unsigned long size);

// result = to - from. wHour holds the whole hours (not wrapped at a day, at most 65535), then
// wMinute, wSecond and wMilliseconds; the date fields are 0. Returns 0; 1 when to lies before
// from (result all 0); -1 when an argument is null or not a valid time (result all 0 if given).
FETCHWELL_API int GetDifSystemTime(SYSTEMTIME* result, const SYSTEMTIME* from,
                                   const SYSTEMTIME* to);

}  // extern "C"
