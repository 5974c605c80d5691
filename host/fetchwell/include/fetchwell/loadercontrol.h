// The loader host's library: the loader control file (loadercontrol.xml), the XML parser behind
// it, language-code conversion and the time difference used for progress figures.
//
// Plug-in and library come from the same compiler, so C++ classes cross the boundary as they are.
// Objects that one side creates and the other destroys (CXMLFile) allocate and free inside the
// library, and nothing in this header touches a standard-library container, so each module may
// carry its own static C++ runtime.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "kycplib/keyvalue.h"

#if defined(FETCHWELL_BUILD_DLL)
#define FETCHWELL_API __declspec(dllexport)
#else
#define FETCHWELL_API __declspec(dllimport)
#endif

// One element of a parsed XML document: name, attributes, the text directly inside it, children.
// Element and attribute names are matched ignoring letter case, so "Product", "PRODUCT" and
// "product" are the same name; values are returned exactly as written. Nodes belong to the
// CXMLFile that parsed them and live as long as it does.
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

// What the control file reads: anything that can hand out the root element of a parsed document.
class IXmlParser {
public:
    virtual ~IXmlParser() {}
    // Root element, or null when there is no parsed document.
    virtual const CXMLNode* getXMLTree() const = 0;
};

// An XML file parsed at construction with the system's XmlLite parser (no DTDs, no external
// entities). A missing, unreadable, empty or malformed file leaves getXMLTree() null.
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
    // The path given at construction (empty for null).
    const wchar_t* GetPath() const;

    // Created with new in one module and deleted in another: both go through the library. Running
    // out of memory gives null rather than an exception, which could not unwind from this library
    // into its caller (each module carries its own runtime).
    static void* operator new(size_t size) noexcept;
    static void operator delete(void* p);

private:
    CXMLNode* m_pTree;
    wchar_t* m_pPath;
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
    explicit CLoaderControlFile(const CXMLNode& root);
    ~CLoaderControlFile();

    Data* m_pData;
};

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
