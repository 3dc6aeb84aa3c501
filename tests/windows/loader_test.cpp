// The module's Windows face, which the portable suites do not see: the Windows loader finds it by name, its
// exports answer GetProcAddress under their undecorated names, and FreeLibrary unmaps it after a session.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "src/host/BakkesModPlugin.h"
#include "standin/host/Host.h"
#include "standin/loader/LoadedPlugin.h"

namespace {

TEST(WindowsLoader, FindsTheModuleByNameAndItsExportsUndecorated) {
  HMODULE module = LoadLibraryA(KORVINDEL_MODULE_NAME);
  ASSERT_NE(module, nullptr) << "LoadLibrary finds " KORVINDEL_MODULE_NAME;
  auto address = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(module, name)); };
  auto* descriptor = static_cast<const PluginDescriptor*>(address("exports"));
  ASSERT_NE(descriptor, nullptr);
  EXPECT_EQ(reinterpret_cast<void*>(descriptor->createEntry), address("getPlugin"));
  EXPECT_EQ(reinterpret_cast<void*>(descriptor->deleteEntry), address("deleteMe"));
  EXPECT_NE(address("getPlugin"), nullptr);
  EXPECT_NE(address("deleteMe"), nullptr);
  FreeLibrary(module);
}

TEST(WindowsLoader, FreeLibraryUnmapsTheModuleAfterASession) {
  {
    standin::Host host;
    standin::LoadedPlugin plugin(host, KORVINDEL_MODULE);
    host.game.freeplay = true;
    host.console.set("korvindel_show", "1");
    host.drawFrame();
    EXPECT_EQ(host.canvas.texts().size(), 1u);
  }
  EXPECT_EQ(GetModuleHandleA(KORVINDEL_MODULE_NAME), nullptr);
}

// The module imports the host's classes from pluginsdk.dll, as the game's host provides them; here the
// stand-in host is that library, and every name the module takes from it must resolve into the stand-in.
#if defined(_MSC_VER)
TEST(WindowsLoader, TakesTheHostsClassesFromTheStandInHostUnderTheHostsLibraryName) {
  HMODULE module = LoadLibraryA(KORVINDEL_MODULE_NAME);
  ASSERT_NE(module, nullptr);
  HMODULE host = GetModuleHandleA("pluginsdk.dll");
  ASSERT_NE(host, nullptr);
  wchar_t hostFile[MAX_PATH];
  DWORD length = GetModuleFileNameW(host, hostFile, MAX_PATH);
  ASSERT_TRUE(length > 0 && length < MAX_PATH);
  EXPECT_TRUE(std::filesystem::equivalent(std::wstring(hostFile, length), STANDIN_HOST_LIBRARY));

  auto* base = reinterpret_cast<const unsigned char*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  int resolved = 0;
  for (auto* library = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       library->Name != 0; ++library) {
    if (_stricmp(reinterpret_cast<const char*>(base + library->Name), "pluginsdk.dll") != 0) continue;
    for (auto* entry = reinterpret_cast<const IMAGE_THUNK_DATA64*>(base + library->FirstThunk);
         entry->u1.Function != 0; ++entry) {
      HMODULE owner = nullptr;
      ASSERT_TRUE(GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(entry->u1.Function), &owner));
      EXPECT_EQ(owner, host) << "import " << resolved << " resolves outside the stand-in host";
      ++resolved;
    }
  }
  EXPECT_GT(resolved, 0) << "the module imports nothing from pluginsdk.dll";
  FreeLibrary(module);
}
#else
TEST(WindowsLoader, TakesTheHostsClassesFromTheStandInHostUnderTheHostsLibraryName) {
  GTEST_SKIP() << "Not run here: only Visual Studio's C++ ABI is the host's; this module links against the "
                  "stand-in host itself";
}
#endif

}  // namespace
