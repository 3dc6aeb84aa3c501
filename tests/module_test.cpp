// The module as the host sees it: its descriptor record, its shared plugin handle and its unloading.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "src/host/GameWrapper.h"
#include "standin/host/Host.h"
#include "standin/loader/LoadedPlugin.h"
#include "standin/loader/PluginSlot.h"
#include "tests/support/Platform.h"

#if defined(__linux__)
#include <dlfcn.h>
#include <link.h>
#endif

namespace {

using standin::DynamicLibrary;
using standin::Host;
using standin::PluginModule;

template <typename T>
T readAt(const PluginDescriptor& descriptor, std::size_t offset) {
  T value;
  std::copy_n(reinterpret_cast<const unsigned char*>(&descriptor) + offset, sizeof value,
              reinterpret_cast<unsigned char*>(&value));
  return value;
}

TEST(Descriptor, HoldsTheFixedLayoutTheHostReads) {
  Host host;
  PluginModule module(KORVINDEL_MODULE);
  const PluginDescriptor& descriptor = module.descriptor();

  EXPECT_EQ(readAt<std::int32_t>(descriptor, 0), 95);
  EXPECT_EQ(readAt<std::uint32_t>(descriptor, 4), 0u);
  EXPECT_EQ(readAt<std::int32_t>(descriptor, 40), 19);
  EXPECT_EQ(readAt<std::uint32_t>(descriptor, 44), 0u);
  EXPECT_STREQ(readAt<const char*>(descriptor, 16), "Korvindel");
  EXPECT_STREQ(readAt<const char*>(descriptor, 24), "Korvindel");
  EXPECT_NE(readAt<const char*>(descriptor, 16), readAt<const char*>(descriptor, 24));
  EXPECT_STREQ(readAt<const char*>(descriptor, 32), KORVINDEL_PROJECT_VERSION);
  std::filesystem::path source = readAt<const char*>(descriptor, 8);
  // The compiler's full path of the source; a cross build gives the build machine's, without a drive.
  EXPECT_TRUE(source.has_root_directory()) << source;
  EXPECT_EQ(source.filename(), "Korvindel.cpp");
  EXPECT_EQ(readAt<void*>(descriptor, 48), module.symbol("getPlugin"));
  EXPECT_EQ(readAt<void*>(descriptor, 56), module.symbol("deleteMe"));
}

KORVINDEL_POSIX_TEST(Descriptor, IsExportedAsOneSixtyFourByteRecord,
                     "Linux only, a PE export table records no symbol sizes") {
#if defined(__linux__)
  Host host;
  PluginModule module(KORVINDEL_MODULE);
  Dl_info info;
  ElfW(Sym)* symbol = nullptr;
  ASSERT_NE(dladdr1(&module.descriptor(), &info, reinterpret_cast<void**>(&symbol), RTLD_DL_SYMENT), 0);
  ASSERT_NE(symbol, nullptr);
  EXPECT_STREQ(info.dli_sname, "exports");
  EXPECT_EQ(symbol->st_size, 64u);
#endif
}

// The host fills the base handles; a weak reference to one tells when the plugin object has been destroyed.
std::weak_ptr<GameWrapper> fillHandles(Host& host, PluginHandle& plugin) {
  return standin::connectPlugin(host, *plugin).game;
}

TEST(PluginInstance, GetPluginGivesTheSameHandleAndObjectUntilDeleted) {
  Host host;
  PluginModule module(KORVINDEL_MODULE);
  PluginHandle* first = module.getPlugin();
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(*first);
  auto* object = first->get();
  EXPECT_EQ(module.getPlugin(), first);
  EXPECT_EQ(first->get(), object);
  EXPECT_EQ(first->use_count(), 1);
  EXPECT_FALSE(object->cvarManagerPtr);
  EXPECT_FALSE(object->gameWrapperPtr);

  module.deleteMe();
  EXPECT_FALSE(*first);
  module.deleteMe();
  EXPECT_FALSE(*first);
}

TEST(PluginInstance, DeletedObjectLivesWhileTheHostHoldsACopy) {
  Host host;
  PluginModule module(KORVINDEL_MODULE);
  PluginHandle hostCopy = *module.getPlugin();
  std::weak_ptr<GameWrapper> probe = fillHandles(host, hostCopy);

  module.deleteMe();
  EXPECT_FALSE(*module.getPlugin() == hostCopy);
  PluginHandle fresh = *module.getPlugin();
  EXPECT_NE(fresh.get(), hostCopy.get());
  EXPECT_FALSE(fresh->gameWrapperPtr);
  EXPECT_FALSE(probe.expired());

  hostCopy.reset();
  EXPECT_TRUE(probe.expired());
  module.deleteMe();
  EXPECT_EQ(host.operations.liveWrappers(), 0);
}

TEST(PluginInstance, UnloadingWithoutDeleteMeDestroysTheObject) {
  Host host;
  std::weak_ptr<GameWrapper> probe;
  {
    PluginModule module(KORVINDEL_MODULE);
    probe = fillHandles(host, *module.getPlugin());
    EXPECT_TRUE(DynamicLibrary::isMapped(KORVINDEL_MODULE));
    module.close();
    EXPECT_TRUE(probe.expired());
  }
  EXPECT_FALSE(DynamicLibrary::isMapped(KORVINDEL_MODULE)) << "the module stayed mapped after it was closed";
  EXPECT_EQ(host.operations.liveWrappers(), 0);
}

TEST(Loader, LoadsAndUnloadsTheModuleAsTheHostDoes) {
  Host host;
  {
    standin::LoadedPlugin plugin(host, KORVINDEL_MODULE);
    EXPECT_TRUE(plugin.plugin().gameWrapperPtr);
    EXPECT_TRUE(plugin.plugin().cvarManagerPtr);
    plugin.unload();
    EXPECT_FALSE(plugin.loaded());
  }
  EXPECT_FALSE(DynamicLibrary::isMapped(KORVINDEL_MODULE));
  EXPECT_EQ(host.operations.liveWrappers(), 0);
}

TEST(Loader, CallsOnUnloadWhetherUnloadedOrDestroyed) {
  for (bool explicitUnload : {true, false}) {
    SCOPED_TRACE(explicitUnload ? "unload()" : "destructor");
    Host host;
    {
      standin::LoadedPlugin plugin(host, TEST_PLUGIN);
      if (explicitUnload) plugin.unload();
    }
    EXPECT_EQ(host.console.value("test_plugin_unloaded"), "1");
    EXPECT_FALSE(DynamicLibrary::isMapped(TEST_PLUGIN));
  }
}

TEST(Loader, ReportsAnUnusableModuleWithItsPathAndReason) {
  Host host;
  auto folder = std::filesystem::temp_directory_path() / "korvindel-loader-test";
  std::filesystem::create_directories(folder);
  auto notALibrary = folder / "korvindel-not-a-library.dll";
  std::ofstream(notALibrary) << "plain text\n";
  struct Case {
    std::string path;
    std::string reason;
  };
  // The system's own words for a file that is no library differ between systems; ours come first.
  std::vector<Case> cases = {
      {"/nonexistent/Korvindel.so", "no such file"},
      {folder.string(), "it is a directory, not a plugin module"},
      {notALibrary.string(), "it is not a loadable library ("},
      {STANDIN_HOST_LIBRARY, "it is not a plugin module (it exports no 'exports')"},
  };
#if !defined(_WIN32)
  cases.push_back({"/dev/null", "it is not a regular file"});
  // The module cut short, as by a partial download, and one for another machine: refused before they are
  // mapped, where a part past the end would kill the process at its first use.
  std::ifstream original(KORVINDEL_MODULE, std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(original), std::istreambuf_iterator<char>()};
  for (std::size_t length : {2000, 20000}) {
    auto cut = folder / ("cut-" + std::to_string(length) + ".so");
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, length);
    cases.push_back({cut.string(), "it is cut short"});
  }
  auto foreign = folder / "foreign.so";
  bytes[18] = '\xb7';  // the ELF header's machine: AArch64
  std::ofstream(foreign, std::ios::binary) << bytes;
  cases.push_back({foreign.string(), "it is not a loadable library (built for another machine)"});
#endif
  // A bare name is a file in the current folder, never one the system's library search would find.
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
#if defined(_WIN32)
  cases.push_back({"kernel32.dll", "no such file"});
#else
  cases.push_back({"libc.so.6", "no such file"});
#endif
  for (const Case& c : cases) {
    try {
      standin::LoadedPlugin plugin(host, c.path);
      ADD_FAILURE() << c.path << " loaded";
    } catch (const standin::LoadError& error) {
      EXPECT_NE(std::string(error.what()).find(c.path), std::string::npos) << error.what();
      EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
    }
  }
  std::filesystem::path module = KORVINDEL_MODULE;
  std::filesystem::current_path(module.parent_path());
  EXPECT_NO_THROW(standin::LoadedPlugin(host, module.filename()));
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(folder);
}

}  // namespace
