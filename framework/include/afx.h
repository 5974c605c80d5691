// The framework's object model and its non-window classes: run-time classes (IsKindOf,
// DYNAMIC_DOWNCAST, creation by class), CString and CFile.
#pragma once

#include <stdarg.h>

#include <initializer_list>
#include <string>

#include <windows.h>

#include "afxmodule.h"

class CObject;

// One per class that declares itself dynamic: its name, its base's record and, for classes that
// can be created by the framework, a function that makes a new object.
struct CRuntimeClass {
    LPCSTR m_lpszClassName;
    int m_nObjectSize;
    CObject* (*m_pfnCreateObject)();
    const CRuntimeClass* m_pBaseClass;

    CObject* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
    BOOL IsDerivedFrom(const CRuntimeClass* base) const;
};

class CObject {
public:
    virtual const CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject() = default;
    BOOL IsKindOf(const CRuntimeClass* runtimeClass) const {
        return GetRuntimeClass()->IsDerivedFrom(runtimeClass);
    }
    static const CRuntimeClass classCObject;

protected:
    CObject() = default;
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
};

#define RUNTIME_CLASS(theClass) (&theClass::class##theClass)
// Null when the object is not of that class: the checked downcast of the object model.
#define DYNAMIC_DOWNCAST(theClass, object) \
    (static_cast<theClass*>(AfxDynamicDownCast(RUNTIME_CLASS(theClass), object)))
inline CObject* AfxDynamicDownCast(const CRuntimeClass* runtimeClass, CObject* object) {
    return object && object->IsKindOf(runtimeClass) ? object : nullptr;
}

#define DECLARE_DYNAMIC(theClass)               \
public:                                         \
    static const CRuntimeClass class##theClass; \
    const CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(theClass) \
    DECLARE_DYNAMIC(theClass)       \
    static CObject* CreateObject();

#define AFX_IMPLEMENT_RUNTIMECLASS(theClass, baseClass, create)                           \
    const CRuntimeClass theClass::class##theClass = {#theClass, sizeof(theClass), create, \
                                                     RUNTIME_CLASS(baseClass)};           \
    const CRuntimeClass* theClass::GetRuntimeClass() const { return RUNTIME_CLASS(theClass); }

#define IMPLEMENT_DYNAMIC(theClass, baseClass) \
    AFX_IMPLEMENT_RUNTIMECLASS(theClass, baseClass, nullptr)

#define IMPLEMENT_DYNCREATE(theClass, baseClass)               \
    CObject* theClass::CreateObject() { return new theClass; } \
    AFX_IMPLEMENT_RUNTIMECLASS(theClass, baseClass, &theClass::CreateObject)

// A wide string with the handful of operations the windows use.
class CString {
public:
    CString() = default;
    CString(LPCWSTR text) : m_str(text ? text : L"") {}
    CString(LPCWSTR text, int length) : m_str(text, length > 0 ? length : 0) {}

    int GetLength() const { return static_cast<int>(m_str.size()); }
    BOOL IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    operator LPCWSTR() const { return m_str.c_str(); }
    LPCWSTR GetString() const { return m_str.c_str(); }
    wchar_t GetAt(int index) const { return m_str[index]; }

    CString& operator=(LPCWSTR text) {
        m_str = text ? text : L"";
        return *this;
    }
    CString& operator+=(LPCWSTR text) {
        if (text) m_str += text;
        return *this;
    }
    CString& operator+=(wchar_t c) {
        m_str += c;
        return *this;
    }
    friend CString operator+(const CString& a, LPCWSTR b) {
        CString r(a);
        r += b;
        return r;
    }
    bool operator==(LPCWSTR other) const { return m_str == (other ? other : L""); }
    bool operator!=(LPCWSTR other) const { return !(*this == other); }

    // printf-style formatting; the format must be the program's own, never a loaded text.
    void Format(LPCWSTR format, ...);
    void FormatV(LPCWSTR format, va_list args);
    // The string resource id of the current resource module (AfxGetResourceHandle); FALSE and
    // empty when it has none.
    BOOL LoadString(UINT id);
    BOOL LoadString(HINSTANCE module, UINT id);
    // Number of characters removed.
    int Remove(wchar_t c);
    int Replace(LPCWSTR oldText, LPCWSTR newText);

private:
    std::wstring m_str;
};

// A loaded text with "%s" filled in by plain substitution: such texts come from language
// libraries and must never reach a printf format, where a stray "%n" or "%s" would read or write
// arguments that are not there. "%%" becomes "%"; every "%s" takes the argument.
CString AfxFillPercentS(LPCWSTR pattern, LPCWSTR argument);
// The same with several arguments: the n-th "%s" takes the n-th argument, any "%s" beyond them the
// last one (so one argument fills every "%s", as above); a null argument fills nothing.
CString AfxFillPercentS(LPCWSTR pattern, std::initializer_list<LPCWSTR> arguments);

// A file by wide path: the one owner of its handle.
class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        modeCreate = 0x1000,
    };
    enum SeekPosition : UINT {
        begin = FILE_BEGIN,
        current = FILE_CURRENT,
        end = FILE_END
    };

    CFile() = default;
    ~CFile() { Close(); }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    BOOL Open(LPCWSTR path, UINT openFlags);
    void Close();
    // Bytes read; fewer at the end of the file, 0 on a failure.
    UINT Read(void* buffer, UINT count);
    BOOL Write(const void* buffer, UINT count);
    ULONGLONG Seek(LONGLONG offset, UINT from);
    ULONGLONG GetPosition() const;
    ULONGLONG GetLength() const;
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
};
