// SPDX-License-Identifier: MIT
// Where FTD2XX.DLL is loaded from. The same program is placed in three
// folders by the build: beside a complete fake DLL ("app-dir"), beside one
// that lacks FT_Close ("partial"), and alone ("none"); ctest runs each case
// from the folder it is about.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "D2xxLibrary.h"

namespace {

// The complete fake DLL the build made, seen from Windows through drive Z:.
const std::wstring FakeDll = L"Z:" FAKE_D2XX_DLL;

std::wstring TempFolder(const wchar_t* name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

bool OpensTheFake(boardlink::D2xxLibrary& library) {
    boardlink::FT_HANDLE handle = nullptr;
    const auto status = library.OpenEx("Ambercord Serial Link", boardlink::FT_OPEN_BY_DESCRIPTION, &handle);
    if (status == boardlink::FT_OK) library.Close(handle);
    return status == boardlink::FT_OK;
}

TEST(D2xxSearch, LoadsFromTheProgramsFolder) {
    boardlink::D2xxLibrary library;
    ASSERT_TRUE(library.Loaded());
    EXPECT_TRUE(OpensTheFake(library));
}

TEST(D2xxSearch, RefusesALibraryLackingOneFunction) {
    boardlink::D2xxLibrary library;
    EXPECT_FALSE(library.Loaded());
    boardlink::FT_HANDLE handle = nullptr;
    EXPECT_EQ(library.OpenEx("Ambercord Serial Link", boardlink::FT_OPEN_BY_DESCRIPTION, &handle),
              boardlink::FT_DEVICE_NOT_FOUND);
}

TEST(D2xxSearch, NeverFromTheCurrentFolderOrPath) {
    const std::wstring planted = TempFolder(L"planted-ftd2xx");
    ASSERT_TRUE(CopyFileW(FakeDll.c_str(), (planted + L"\\FTD2XX.DLL").c_str(), FALSE));
    ASSERT_TRUE(SetCurrentDirectoryW(planted.c_str()));
    ASSERT_TRUE(SetEnvironmentVariableW(L"PATH", planted.c_str()));
    boardlink::D2xxLibrary library;
    EXPECT_FALSE(library.Loaded()) << "a DLL in the current folder or on PATH was loaded";
    boardlink::FT_HANDLE handle = nullptr;
    EXPECT_EQ(library.OpenEx("Ambercord Serial Link", boardlink::FT_OPEN_BY_DESCRIPTION, &handle),
              boardlink::FT_DEVICE_NOT_FOUND);
}

// Where FTDI's driver installs it.
TEST(D2xxSearch, LoadsFromSystem32) {
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    const std::wstring installed = std::wstring(system) + L"\\FTD2XX.DLL";
    ASSERT_TRUE(CopyFileW(FakeDll.c_str(), installed.c_str(), FALSE));
    {
        boardlink::D2xxLibrary library;
        EXPECT_TRUE(library.Loaded());
        EXPECT_TRUE(OpensTheFake(library));
    }
    EXPECT_TRUE(DeleteFileW(installed.c_str()));
}

}  // namespace
