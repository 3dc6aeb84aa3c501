// Loads Korvindel.dll the way the host does, through LoadLibrary and GetProcAddress, and checks it end to
// end.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>

#include "Host.h"
#include "Loader.h"

namespace {

int passed = 0;
int failed = 0;

void check(bool condition, const std::string& what) {
  (condition ? passed : failed) += 1;
  std::cout << (condition ? "ok   " : "FAIL ") << what << '\n';
}

template <typename T>
T readAt(const void* record, std::size_t offset) {
  T value;
  std::memcpy(&value, static_cast<const unsigned char*>(record) + offset, sizeof value);
  return value;
}

void checkDescriptor() {
  HMODULE module = LoadLibraryA(KORVINDEL_MODULE_NAME);
  check(module != nullptr, "LoadLibrary finds " KORVINDEL_MODULE_NAME);
  if (module == nullptr) return;
  auto* descriptor = reinterpret_cast<const void*>(GetProcAddress(module, "exports"));
  auto getPlugin = reinterpret_cast<void*>(GetProcAddress(module, "getPlugin"));
  auto deleteMe = reinterpret_cast<void*>(GetProcAddress(module, "deleteMe"));
  check(descriptor != nullptr && getPlugin != nullptr && deleteMe != nullptr,
        "exports, getPlugin and deleteMe are exported under undecorated names");
  if (descriptor != nullptr) {
    check(readAt<std::int32_t>(descriptor, 0) == 95 && readAt<std::uint32_t>(descriptor, 4) == 0,
          "apiVersion 95 at offset 0, zero after it");
    check(readAt<std::int32_t>(descriptor, 40) == 19 && readAt<std::uint32_t>(descriptor, 44) == 0,
          "typeFlags 19 at offset 40, zero after it");
    check(std::strcmp(readAt<const char*>(descriptor, 16), "Korvindel") == 0 &&
              std::strcmp(readAt<const char*>(descriptor, 24), "Korvindel") == 0 &&
              readAt<const char*>(descriptor, 16) != readAt<const char*>(descriptor, 24),
          "className and displayName are two texts reading Korvindel");
    check(std::strcmp(readAt<const char*>(descriptor, 32), "1.0") == 0, "versionText 1.0");
    std::string source = readAt<const char*>(descriptor, 8);
    check(source.ends_with("Korvindel.cpp"), "sourceFile names Korvindel.cpp: " + source);
    check(readAt<void*>(descriptor, 48) == getPlugin && readAt<void*>(descriptor, 56) == deleteMe,
          "createEntry and deleteEntry are getPlugin and deleteMe");
  }
  FreeLibrary(module);
}

void checkSession() {
  standin::Host host;
  {
    standin::LoadedPlugin plugin(host, KORVINDEL_MODULE_NAME);
    check(host.console.registrations().size() == 9, "onLoad registers nine console variables");
    host.game.freeplay = true;
    host.game.eventBalls = {{{3000, 4000, 0}, 0}};
    host.drawFrame();
    check(host.canvas.texts().empty(), "nothing is drawn before korvindel_show 1");
    host.console.set("korvindel_show", "1");
    host.drawFrame();
    auto texts = host.canvas.texts();
    check(texts.size() == 1 && texts[0].text == "180.00 km/h", "a free-play frame reads 180.00 km/h");
    host.console.set("korvindel_mph", "1");
    host.drawFrame();
    texts = host.canvas.texts();
    check(texts.size() == 1 && texts[0].text == "111.84 mph", "in mph it reads 111.84 mph");
    plugin.unload();
    check(host.drawableCount() == 0 && host.console.hookCount() == 0,
          "unloading removes drawables and hooks");
  }
  check(host.liveWrappers() == 0, "no host wrapper is left alive");
  check(GetModuleHandleA(KORVINDEL_MODULE_NAME) == nullptr, "FreeLibrary unmapped the module");
}

}  // namespace

int main() {
  try {
    checkDescriptor();
    checkSession();
  } catch (const std::exception& error) {
    check(false, std::string("no exception: ") + error.what());
  }
  std::cout << passed << " passed, " << failed << " failed\n";
  return failed == 0 ? 0 : 1;
}
