// This program lies in a folder with a planted gdiplus.dll beside it: the first picture drawn
// must start the system's GDI+, and the planted file must never be loaded.
#include <gtest/gtest.h>

#include "DIBitmap.h"
#include "GdiplusSession.h"

namespace {

TEST(PlantedGdiplus, TheSystemFoldersLibraryIsLoadedNotTheOneBesideTheProgram) {
    wchar_t own[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    std::wstring planted = own;
    planted = planted.substr(0, planted.find_last_of(L'\\') + 1) + L"gdiplus.dll";
    ASSERT_NE(GetFileAttributesW(planted.c_str()), INVALID_FILE_ATTRIBUTES) << "nothing planted";
    EXPECT_EQ(GetModuleHandleW(L"gdiplus.dll"), nullptr) << "not loaded before the first use";

    ASSERT_NE(GetGdiplus(), nullptr);
    HMODULE loaded = GetModuleHandleW(L"gdiplus.dll");
    ASSERT_NE(loaded, nullptr);
    wchar_t path[MAX_PATH] = {}, system[MAX_PATH] = {};
    GetModuleFileNameW(loaded, path, MAX_PATH);
    UINT length = GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(_wcsnicmp(path, system, length), 0) << path;
    EXPECT_EQ(GetModuleHandleW(planted.c_str()), nullptr);
}

}  // namespace
