// Where the tests find their control files: the fixtures copied beside the test program, and
// files written for one test case into the temporary folder.
#pragma once

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "fetchwell/loadercontrol.h"

namespace fetchwell_test {

// Full path of a fixture file in the folder beside the test program.
inline std::wstring FixturePath(const wchar_t* name) {
    wchar_t module[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module, length);
    path.erase(path.find_last_of(L'\\') + 1);
    return path + L"fetchwell-fixtures\\" + name;
}

// A CXMLFile made and ended through the library's interface, as the plug-in does it.
class XmlFile {
public:
    explicit XmlFile(const wchar_t* path) : m_pFile(CXMLFile::Create(path)) {
        if (m_pFile == nullptr) {
            ADD_FAILURE() << "no memory for a CXMLFile";
        }
    }
    ~XmlFile() { CXMLFile::Delete(m_pFile); }
    XmlFile(const XmlFile&) = delete;
    XmlFile& operator=(const XmlFile&) = delete;

    CXMLFile* Get() const { return m_pFile; }
    const CXMLNode* getXMLTree() const {
        return m_pFile != nullptr ? m_pFile->getXMLTree() : nullptr;
    }
    // Ends the file now (the owner is empty afterwards).
    void Reset() {
        CXMLFile::Delete(m_pFile);
        m_pFile = nullptr;
    }

private:
    CXMLFile* m_pFile;
};

// A file that exists for the life of the object, with the given bytes.
class TempFile {
public:
    explicit TempFile(const std::string& bytes) {
        wchar_t folder[MAX_PATH];
        wchar_t name[MAX_PATH];
        if (GetTempPathW(MAX_PATH, folder) != 0 && GetTempFileNameW(folder, L"fwx", 0, name) != 0) {
            m_path = name;
            HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                DWORD written = 0;
                WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
                CloseHandle(file);
            }
        }
    }
    ~TempFile() {
        if (!m_path.empty()) {
            DeleteFileW(m_path.c_str());
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const wchar_t* Path() const { return m_path.c_str(); }

private:
    std::wstring m_path;
};

// UTF-8 bytes of a wide text, for writing test files.
inline std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, nullptr);
    return bytes;
}

// A control file that holds only the given appearance element's content.
inline std::string ControlFileWithAppearance(const std::string& appearance) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<loadercontrol><appearance>" + appearance +
           "</appearance></loadercontrol>\n";
}

}  // namespace fetchwell_test
