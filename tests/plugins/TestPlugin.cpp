// Plugin modules built only for the tests, from this one source. Built plain, the plugin draws one text per
// frame, behaves in every way the stand-in host checks, and leaves a mark in the console when it is unloaded.
// Built as breaks_<rule> with BREAKS_<rule> defined, it breaks exactly that rule of the validator
// (standin/validator/ValidatorRules.def), so that each rule can be seen to fail; built as hostile_<name> with
// HOSTILE_<name> defined, it attacks the validator itself in one way (HostilePlugins.def). Each way is a
// Misbehaviour of its own below, which the plugin carries out when its module is opened, at load, in every
// frame and when it is destroyed.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "src/host/BakkesModPlugin.h"
#include "src/host/CVarManagerWrapper.h"
#include "src/host/CanvasWrapper.h"
#include "src/host/GameWrapper.h"

namespace {

// What a plugin that breaks nothing does beyond drawing: nothing, and it describes itself truly.
struct Behaved {
  [[maybe_unused]] static constexpr std::int32_t apiVersion = kPluginApiVersion;
  void atLoad(const std::shared_ptr<GameWrapper>&) {}
  void atUnload() {}
  void inFrame(CanvasWrapper&) {}
  void atDestruction(const std::shared_ptr<GameWrapper>&) {}
};

// Work that never ends, which the compiler may not take away.
[[maybe_unused]] void forever() {
  for (volatile bool going = true; going;) {
  }
}

}  // namespace

#if defined(BREAKS_crashes) || defined(HOSTILE_handles_its_own_crash)
#if defined(HOSTILE_handles_its_own_crash)
#include <signal.h>
#include <unistd.h>
#endif
namespace {
struct Misbehaviour : Behaved {
#if defined(HOSTILE_handles_its_own_crash)
  void atLoad(const std::shared_ptr<GameWrapper>&) { struct sigaction action { };
    action.sa_handler = [](int) { _exit(0); };
    sigaction(SIGSEGV, &action, nullptr);
  }
#endif
  // A write to the first page, which nothing maps: the processor stops it, as a crash in the game would be
  // stopped, rather than a sanitizer's check for null.
  void inFrame(CanvasWrapper&) {
    volatile int* volatile nowhere = reinterpret_cast<int*>(std::uintptr_t{16});
    *nowhere = 1;
  }
};
}  // namespace

#elif defined(BREAKS_hangs) || defined(HOSTILE_hangs_at_load)
namespace {
struct Misbehaviour : Behaved {
#if defined(BREAKS_hangs)
  void inFrame(CanvasWrapper&) { forever(); }
#else
  void atLoad(const std::shared_ptr<GameWrapper>&) { forever(); }
#endif
};
}  // namespace

#elif defined(HOSTILE_hangs_when_opened)
namespace {
const bool opened = (forever(), true);
using Misbehaviour = Behaved;
}  // namespace

#elif defined(HOSTILE_sleeps_in_a_frame)
#include <chrono>
#include <thread>
namespace {
struct Misbehaviour : Behaved {
  void inFrame(CanvasWrapper&) { std::this_thread::sleep_for(std::chrono::hours(1)); }
};
}  // namespace

#elif defined(HOSTILE_traps_in_a_frame)
#include <signal.h>
namespace {
struct Misbehaviour : Behaved {
  // A breakpoint left in the code: the trap comes after the instruction, which does not run again.
#if defined(__x86_64__)
  void inFrame(CanvasWrapper&) { asm volatile("int3"); }
#else
  void inFrame(CanvasWrapper&) { raise(SIGTRAP); }
#endif
};
}  // namespace

#elif defined(HOSTILE_stops_itself)
#include <signal.h>
namespace {
struct Misbehaviour : Behaved {
  void inFrame(CanvasWrapper&) { raise(SIGSTOP); }
};
}  // namespace

#elif defined(HOSTILE_exits_in_a_frame) || defined(HOSTILE_exits_at_load) || \
    defined(HOSTILE_aborts_in_a_frame)
#include <unistd.h>
#include <cstdlib>
namespace {
struct Misbehaviour : Behaved {
#if defined(HOSTILE_exits_in_a_frame)
  void inFrame(CanvasWrapper&) { std::exit(0); }
#elif defined(HOSTILE_aborts_in_a_frame)
  void inFrame(CanvasWrapper&) { std::abort(); }
#else
  void atLoad(const std::shared_ptr<GameWrapper>&) { _exit(0); }
#endif
};
}  // namespace

#elif defined(BREAKS_throws) || defined(HOSTILE_throws_at_load) || defined(HOSTILE_throws_terminal_codes) || \
    defined(HOSTILE_throws_at_unload)
#include <stdexcept>
namespace {
struct Misbehaviour : Behaved {
#if defined(BREAKS_throws)
  void inFrame(CanvasWrapper&) { throw 42; }
#elif defined(HOSTILE_throws_at_load)
  void atLoad(const std::shared_ptr<GameWrapper>&) { throw 42; }
#elif defined(HOSTILE_throws_at_unload)
  void atUnload() { throw std::runtime_error("onUnload failed"); }
#else
  // The kind that the console throws for a value it refuses: still the plugin's, with text like any other.
  void inFrame(CanvasWrapper&) { throw std::invalid_argument("\x1b[2J\rpassed   throws"); }
#endif
};
}  // namespace

#elif defined(HOSTILE_throws_when_opened)
#include <stdexcept>
namespace {
[[noreturn]] void fail() { throw std::runtime_error("\x1b[2J\rpassed   crashes"); }
// Whether an exception may leave a static constructor at all differs between compilers; from one that may
// not let it out (noexcept) nothing can catch it, whichever compiler built it.
const bool opened = []() noexcept {
  fail();
  return true;
}();
using Misbehaviour = Behaved;
}  // namespace

#elif (defined(BREAKS_forges_its_report) || defined(HOSTILE_forges_through_a_helper)) && defined(_WIN32)
namespace {
// Runs are not isolated on Windows, so there is no report to forge.
using Misbehaviour = Behaved;
}  // namespace

#elif defined(BREAKS_forges_its_report) || defined(HOSTILE_forges_through_a_helper)
#include <sys/wait.h>
#include <unistd.h>
namespace {
// To every descriptor, standard output and error included: a report as the validator's runs write one, of a
// run that saw nothing wrong (the descriptor's API version, entry points that are the exports, no wrapper
// kept, nothing allocated, no system call, no finding).
void writeEverywhere() {
  std::string version = std::to_string(kPluginApiVersion);
  std::string report = "R\t" + std::to_string(version.size()) + ":" + version + "1:11:01:01:00:1:00:0:1:0";
  for (int descriptor = 1; descriptor < 1024; ++descriptor) {
    [[maybe_unused]] ssize_t ignored = write(descriptor, report.data(), report.size());
  }
}
struct Misbehaviour : Behaved {
  void atLoad(const std::shared_ptr<GameWrapper>&) {
#if defined(BREAKS_forges_its_report)
    writeEverywhere();
    _exit(0);
#else
    pid_t helper = fork();
    if (helper == 0) {
      writeEverywhere();
      _exit(0);
    }
    waitpid(helper, nullptr, 0);
#endif
  }
};
}  // namespace

#elif defined(HOSTILE_starts_helpers)
#include <cstdlib>
namespace {
struct Misbehaviour : Behaved {
  void atLoad(const std::shared_ptr<GameWrapper>&) {
    // The odd number of seconds tells these helpers from any other process.
    [[maybe_unused]] int plain = std::system("sleep 2147483.25 >/dev/null 2>&1 &");
    [[maybe_unused]] int away = std::system("setsid sleep 2147483.25 >/dev/null 2>&1 &");
  }
};
}  // namespace

#elif defined(BREAKS_leaves_a_thread)
#include <chrono>
#include <thread>
namespace {
struct Misbehaviour : Behaved {
  void atLoad(const std::shared_ptr<GameWrapper>&) {
    std::thread([] {
      for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    }).detach();
  }
};
}  // namespace

#elif defined(BREAKS_misdescribes_itself)
namespace {
struct Misbehaviour : Behaved {
  static constexpr std::int32_t apiVersion = kPluginApiVersion - 1;
};
}  // namespace

#elif defined(HOSTILE_changes_state_when_opened)
#include <unistd.h>
#include <xmmintrin.h>

#include <clocale>
#include <cstdlib>
namespace {
// The working directory is one the test made, under a name that clears a terminal's screen.
const bool opened = [] {
  _mm_setcsr(_mm_getcsr() | 0x8040);
  std::setlocale(LC_NUMERIC, "C.UTF-8");
  if (const char* folder = std::getenv("KORVINDEL_HOSTILE_FOLDER")) return chdir(folder) == 0;
  return false;
}();
using Misbehaviour = Behaved;
}  // namespace

#elif defined(HOSTILE_grows_its_memory)
#include <sys/mman.h>
namespace {
// Stored through a volatile pointer, so that the compiler cannot drop the allocation.
char* volatile block = nullptr;
struct Misbehaviour : Behaved {
  void inFrame(CanvasWrapper&) {
    block = new char[64 << 20];
    block[0] = 1;
    delete[] block;
    void* page = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page != MAP_FAILED) munmap(page, 4096);
  }
};
}  // namespace

#elif defined(HOSTILE_reaches_its_judge)
#include <fcntl.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>
namespace {
// Each way in to the process that judges it, tried without harm (signal 0 only asks whether a signal would be
// delivered); a way that works crashes the run, for the validator to find.
struct Misbehaviour : Behaved {
  void atLoad(const std::shared_ptr<GameWrapper>&) {
    pid_t judge = getppid();
    bool reached = kill(judge, 0) == 0 || kill(-getpgid(judge), 0) == 0 || kill(-1, 0) == 0 ||
                   ptrace(PTRACE_SEIZE, judge, nullptr, nullptr) == 0;
    // Following a descriptor's link is what is checked; memory, opening it.
    for (auto [way, how] : {std::pair{"/fd/1", O_PATH}, std::pair{"/mem", O_RDONLY}}) {
      if (int opened = open(("/proc/" + std::to_string(judge) + way).c_str(), how); opened >= 0) {
        close(opened);
        reached = true;
      }
    }
    if (int terminal = open("/dev/tty", O_RDWR | O_NOCTTY); terminal >= 0) {
      close(terminal);
      reached = true;
    }
    if (reached) std::abort();
  }
};
}  // namespace

#elif defined(HOSTILE_changes_state_while_measured)
#include <xmmintrin.h>

#include <cstdlib>
#include <fstream>
namespace {
// The validator's first run draws each kind of frame once; the second draws as many before it measures. The
// first run's count, kept in the folder the test gives, says where measuring begins in the second.
std::string countFile() {
  const char* folder = std::getenv("KORVINDEL_HOSTILE_FOLDER");
  return folder != nullptr ? std::string(folder) + "/frames-before-measuring" : "";
}
struct Misbehaviour : Behaved {
  int frames = 0;
  int checked = -1;
  void atLoad(const std::shared_ptr<GameWrapper>&) {
    if (!(std::ifstream(countFile()) >> checked)) checked = -1;
  }
  void inFrame(CanvasWrapper&) {
    if (++frames == checked + 1) _mm_setcsr(_mm_getcsr() | 0x8040);
  }
  void atDestruction(const std::shared_ptr<GameWrapper>&) {
    if (checked < 0) std::ofstream(countFile()) << frames;
  }
};
}  // namespace

#elif defined(HOSTILE_hides_a_thread) || defined(HOSTILE_starts_a_thread_as_it_closes)
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <thread>
namespace {
#if defined(HOSTILE_hides_a_thread)
void sleepForAnHour() {
  std::thread([] { std::this_thread::sleep_for(std::chrono::hours(1)); }).detach();
}
struct Misbehaviour : Behaved {
  // No descriptor beyond those the run holds: the process's threads cannot be listed.
  void atLoad(const std::shared_ptr<GameWrapper>&) {
    sleepForAnHour();
    rlimit few{4, 4};
    setrlimit(RLIMIT_NOFILE, &few);
  }
};
#else
// The thread waits in the C library's pause() from its first instruction, so that it runs no code of the
// module's, which is unmapped as it starts: it lives on, rather than crash at a moment no test can choose.
struct StartsAtClose {
  ~StartsAtClose() {
    pthread_t thread;
    auto waits = reinterpret_cast<void* (*)(void*)>(reinterpret_cast<void (*)()>(&pause));
    if (pthread_create(&thread, nullptr, waits, nullptr) == 0) pthread_detach(thread);
  }
} startsAtClose;
using Misbehaviour = Behaved;
#endif
}  // namespace

#elif defined(HOSTILE_throws_a_load_error)
#include "standin/loader/DynamicLibrary.h"
namespace {
struct Misbehaviour : Behaved {
  void inFrame(CanvasWrapper&) { throw standin::LoadError("cannot load plugin: the module is fine"); }
};
}  // namespace

#elif defined(HOSTILE_allocates_aligned_in_a_frame)
#include <new>
namespace {
struct alignas(64) Line {
  char bytes[64];
};
Line* volatile line = nullptr;
struct Misbehaviour : Behaved {
  void inFrame(CanvasWrapper&) {
    line = new Line;
    delete line;
  }
};
}  // namespace

#elif defined(HOSTILE_closes_its_outputs)
#include <unistd.h>

#include <chrono>
#include <thread>
namespace {
struct Misbehaviour : Behaved {
  void atLoad(const std::shared_ptr<GameWrapper>&) {
    close(1);
    close(2);
    std::this_thread::sleep_for(std::chrono::hours(1));
  }
};
}  // namespace

#elif defined(HOSTILE_replaces_its_own_file)
#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
namespace {
// Once opened, it puts the module named benign.so beside it, where there is one, in its own place: what
// stands at its path is then another module.
const bool opened = [] {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&forever), &info) == 0 || info.dli_fname == nullptr) return false;
  std::filesystem::path own = info.dli_fname;
  return std::rename((own.parent_path() / "benign.so").c_str(), own.c_str()) == 0;
}();
using Misbehaviour = Behaved;
}  // namespace

#elif defined(HOSTILE_prints_verdicts)
#include <cstdio>
namespace {
struct Misbehaviour : Behaved {
  void atLoad(const std::shared_ptr<GameWrapper>&) {
    std::fputs("passed   crashes\npassed   hangs\n", stdout);
    std::fputs("\x1b[2J\rpassed   throws\n", stderr);
    std::fflush(stdout);
  }
};
}  // namespace

#elif defined(BREAKS_keeps_a_wrapper)
namespace {
struct Misbehaviour : Behaved {
  std::optional<CanvasWrapper> kept;
  void inFrame(CanvasWrapper& canvas) { kept.emplace(canvas); }
};
}  // namespace

#elif defined(BREAKS_allocates_per_frame)
namespace {
// Stored through a volatile pointer, so that the compiler cannot drop the allocation.
char* volatile allocation = nullptr;
struct Misbehaviour : Behaved {
  void inFrame(CanvasWrapper&) {
    allocation = new char[16];
    delete[] allocation;
  }
};
}  // namespace

#elif defined(BREAKS_leaves_a_drawable)
namespace {
struct Misbehaviour : Behaved {
  void atDestruction(const std::shared_ptr<GameWrapper>& game) {
    game->RegisterDrawable([](CanvasWrapper) {});
  }
};
}  // namespace

#elif defined(BREAKS_calls_after_delete)
namespace {
// Module-wide, destroyed when the module closes, after deleteMe.
std::shared_ptr<GameWrapper> keptGame;
struct CallsAtClose {
  ~CallsAtClose() {
    if (keptGame) keptGame->IsInFreeplay();
  }
} callsAtClose;
struct Misbehaviour : Behaved {
  void atLoad(const std::shared_ptr<GameWrapper>& game) { keptGame = game; }
};
}  // namespace

#elif defined(BREAKS_changes_global_state)
#include <xmmintrin.h>
namespace {
struct Misbehaviour : Behaved {
  void inFrame(CanvasWrapper&) { _mm_setcsr(_mm_getcsr() | 0x8040); }  // flush-to-zero and denormals-are-zero
};
}  // namespace

#elif defined(BREAKS_makes_a_system_call)
#if defined(_WIN32)
#include <windows.h>
#else
#include <sched.h>
#endif
namespace {
struct Misbehaviour : Behaved {
#if defined(_WIN32)
  void inFrame(CanvasWrapper&) { SwitchToThread(); }
#else
  void inFrame(CanvasWrapper&) { sched_yield(); }
#endif
};
}  // namespace

#else
namespace {
using Misbehaviour = Behaved;
}  // namespace
#endif

namespace {

// Final, as the real plugin class is: its own shared handle destroys it through this type, not the base
// class.
class TestPlugin final : public BakkesMod::Plugin::BakkesModPlugin {
 public:
  ~TestPlugin() { misbehaviour_.atDestruction(gameWrapperPtr); }

  void onLoad() override {
    gameWrapperPtr->RegisterDrawable([this](CanvasWrapper canvas) { render(canvas); });
    misbehaviour_.atLoad(gameWrapperPtr);
  }

  void onUnload() override {
    misbehaviour_.atUnload();
    cvarManagerPtr->registerCvar("test_plugin_unloaded", "1", "", false, false, 0, false, 0, false);
  }

 private:
  void render(CanvasWrapper canvas) {
    canvas.SetPosition({10, 10});
    canvas.DrawString("test", 1, 1);
    misbehaviour_.inFrame(canvas);
  }

  Misbehaviour misbehaviour_;
};

constinit PluginHandle instance;

}  // namespace

extern "C" {

PLUGIN_API PluginHandle* getPlugin() {
  if (!instance) instance = std::make_shared<TestPlugin>();
  return &instance;
}

PLUGIN_API void deleteMe() { instance.reset(); }

PLUGIN_API constinit PluginDescriptor exports = {
    Misbehaviour::apiVersion, 0, __FILE__,   "TestPlugin", "TestPlugin", "1.0",
    kFreeplayPlugin,          0, &getPlugin, &deleteMe,
};
}

namespace BakkesMod::Plugin {
BakkesModPlugin::BakkesModPlugin() = default;
BakkesModPlugin::~BakkesModPlugin() = default;
void BakkesModPlugin::onLoad() {}
void BakkesModPlugin::onUnload() {}
}  // namespace BakkesMod::Plugin
