#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/wine_rig/bin_folder.h"

namespace gandry {
namespace {

using ::testing::HasSubstr;

struct Program {
  const char* file;
  const char* description;
};

std::string StringValue(std::vector<char>& info, const std::string& name) {
  void* value = nullptr;
  UINT length = 0;
  const std::string path = "\\StringFileInfo\\040904B0\\" + name;
  if (!VerQueryValueA(info.data(), path.c_str(), &value, &length) || length == 0) {
    return "<missing>";
  }
  return static_cast<const char*>(value);
}

// What Explorer's properties, Task Manager and inventory tools read, and the manifest the
// loader reads: the version from the build, and no virtualised writes.
TEST(ProgramResources, EachProgramCarriesItsVersionAndAnAsInvokerManifest) {
  for (const Program& program : {Program{"gandry.svc", "Gandry watchdog service"},
                                 Program{"gandry.exe", "Gandry console shell"},
                                 Program{"gandry-manager.exe", "Gandry Manager"}}) {
    SCOPED_TRACE(program.file);
    const std::string path = rig::BinFolder() + program.file;
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), &ignored));
    ASSERT_FALSE(info.empty()) << GetLastError();
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, info.size(), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &size));
    unsigned major = 0;
    unsigned minor = 0;
    unsigned build = 0;
    ASSERT_EQ(std::sscanf(GANDRY_VERSION, "%u.%u.%u", &major, &minor, &build), 3);
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(minor, major));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, build));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(minor, major));
    EXPECT_EQ(StringValue(info, "FileVersion"), GANDRY_VERSION);
    EXPECT_EQ(StringValue(info, "ProductVersion"), GANDRY_VERSION);
    EXPECT_EQ(StringValue(info, "ProductName"), "Gandry");
    EXPECT_EQ(StringValue(info, "CompanyName"), "Gandry");
    EXPECT_EQ(StringValue(info, "FileDescription"), program.description);
    EXPECT_EQ(StringValue(info, "OriginalFilename"), program.file);

    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << GetLastError();
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr) << "no manifest";
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, found))),
                               SizeofResource(module, found));
    FreeLibrary(module);
    EXPECT_THAT(manifest, HasSubstr("<requestedExecutionLevel level=\"asInvoker\""));
    EXPECT_THAT(manifest, HasSubstr("<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\""));
  }
}

}  // namespace
}  // namespace gandry
