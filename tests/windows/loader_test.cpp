// The module's Windows face, which the portable suites do not see: the Windows loader finds it by name, its
// exports answer GetProcAddress under their undecorated names, and FreeLibrary unmaps it after a session.
#include <windows.h>

#include <gtest/gtest.h>

#include "BakkesModPlugin.h"
#include "Host.h"
#include "LoadedPlugin.h"

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

}  // namespace
