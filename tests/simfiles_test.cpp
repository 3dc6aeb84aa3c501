// korvindel-sim's files and exit statuses: nothing a user had is lost, nothing is left half-written, and
// every way a run can end has its own status.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <span>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "common/System.h"
#include "sim/AtomicFile.h"
#include "sim/FileFaults.h"
#include "sim/Session.h"
#include "sim/Temporaries.h"
#include "tests/support/Platform.h"
#include "tests/support/SimSupport.h"
#include "tests/support/TestPlugins.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#endif

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Files = std::map<std::string, std::string>;

// What each entry of the folder holds; entries that are no regular file only by their kind, unopened.
Files contents(const TempFolder& folder) {
  Files result;
  for (const std::string& name : folder.names()) {
    std::filesystem::path path = folder / name;
    auto status = std::filesystem::symlink_status(path);
    if (std::filesystem::is_symlink(status)) {
      result[name] = "link to " + std::filesystem::read_symlink(path).string();
    } else if (std::filesystem::is_regular_file(status)) {
      result[name] = readFile(path);
    } else {
      result[name] = "kind " + std::to_string(static_cast<int>(status.type()));
    }
  }
  return result;
}

void lay(const TempFolder& folder, const Files& files) {
  for (const std::string& name : folder.names()) std::filesystem::remove_all(folder / name);
  for (const auto& [name, text] : files) std::ofstream(folder / name, std::ios::binary) << text;
}

// How a run is cut short at one file operation: by a full disk, or by a signal that ends the process; or not
// at all, by a signal that was ignored when the run started, as under nohup. SIGSTOP holds the run there
// while the folder is looked at, then two ending signals at once end it.
// How the simulator writes its files: without a name where the system can (the usual), under a temporary name
// as where the file system cannot, or without a name on a system that then refuses to name them (as some
// sandboxes refuse linkat), so that each is copied to a temporary name.
enum class Writing { Unnamed, Named, NamingRefused };

void writeFiles(Writing writing) {
  sim::faults::writeUnnamed(writing != Writing::Named);
  sim::faults::refuseNaming(writing == Writing::NamingRefused);
}

struct Interruption {
  std::string name;
  int signal;
  bool ignored = false;
  Writing writing = Writing::Unnamed;
};

// Runs the script with the nth file operation from now interrupted; for a signal, in a child process of its
// own, with the simulator's signal handling, which the signal must end unless it was ignored. The run's
// error, for a full disk.
std::optional<sim::SessionError> interrupted(const Interruption& how, std::uint64_t n,
                                             const std::string& script,
                                             [[maybe_unused]] const TempFolder& folder,
                                             [[maybe_unused]] const Files& complete) {
  std::ostringstream out;
  writeFiles(how.writing);
  if (how.signal == 0) {
    sim::faults::failAt(n);
    std::optional<sim::SessionError> error = play(script, out);
    sim::faults::failAt(0);
    writeFiles(Writing::Unnamed);
    return error;
  }
#if !defined(_WIN32)
  pid_t child = fork();
  if (child == 0) {
    // SIGQUIT and SIGXCPU dump core by default; a test leaves no core behind.
    rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    // The usual umask, which makes new files readable by everyone once complete.
    umask(022);
    if (how.ignored) std::signal(how.signal, SIG_IGN);
    sim::endCleanlyOnSignals();
    sim::faults::signalAt(n, how.signal);
    _exit(play(script, out) ? 1 : 0);
  }
  writeFiles(Writing::Unnamed);
  int status = 0;
  if (how.signal == SIGSTOP) {
    waitpid(child, &status, WUNTRACED);
    EXPECT_TRUE(WIFSTOPPED(status)) << "ended with status " << status;
    for (const std::string& name : folder.names()) {
      using std::filesystem::perms;
      perms others =
          std::filesystem::status(folder / name).permissions() & (perms::group_all | perms::others_all);
      bool finished = std::any_of(complete.begin(), complete.end(),
                                  [&](const auto& file) { return file.second == readFile(folder / name); });
      if (name.starts_with(".") && !finished) {
        EXPECT_EQ(others, perms::none) << name << ": an unfinished file is its owner's alone";
      }
    }
    kill(child, SIGTERM);
    kill(child, SIGHUP);
    kill(child, SIGCONT);
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && (WTERMSIG(status) == SIGTERM || WTERMSIG(status) == SIGHUP))
        << "ended with status " << status;
    return std::nullopt;
  }
  waitpid(child, &status, 0);
  if (how.ignored) {
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "ended with status " << status;
  } else {
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == how.signal) << "ended with status " << status;
  }
#endif
  return std::nullopt;
}

TEST(SimFiles, NeverLosesOrHalfWritesAFileWhereverARunIsCutShort) {
  TempFolder folder;
  const Files before = {{"kept.png", "the user's own picture"}, {"r.gif", "the user's own animation"}};
  const std::string script = "canvas 48 32\nstate freeplay\nkorvindel_show 1\nsnapshot " +
                             (folder / "new.png").string() + "\nrecord " + (folder / "r.gif").string() +
                             "\nframe 2\nvelocity 1000 0 0\nframe\nsnapshot " +
                             (folder / "kept.png").string() + "\nrecord stop\n";
  // The file operations of the whole run, for each way of writing files, and the files it leaves.
  auto operationsOf = [&](Writing writing) {
    lay(folder, before);
    writeFiles(writing);
    std::ostringstream out;
    std::uint64_t start = sim::faults::count();
    EXPECT_FALSE(play(script, out));
    writeFiles(Writing::Unnamed);
    return sim::faults::count() - start;
  };
  const std::uint64_t operations = operationsOf(Writing::Unnamed);
  const std::uint64_t named = operationsOf(Writing::Named);
  const std::uint64_t copied = operationsOf(Writing::NamingRefused);
  const Files after = contents(folder);
  ASSERT_THAT(after, ::testing::SizeIs(3));
  ASSERT_GT(operations, 10u);

  // Each operation cut short by a full disk, by SIGKILL, and by one of the signals that end a run, in turn;
  // and passed by another of them, ignored. Files written under a temporary name, as where the file system
  // cannot write them without one, and files copied to one, as where the system refuses to name a file made
  // without one, are cut short by a full disk and an ending signal.
  std::vector<std::pair<std::uint64_t, Interruption>> runs;
  for (std::uint64_t n = 1; n <= operations; ++n) runs.push_back({n, {"a full disk", 0}});
  for (std::uint64_t n = 1; n <= named; ++n)
    runs.push_back({n, {"a full disk, named", 0, false, Writing::Named}});
  for (std::uint64_t n = 1; n <= copied; ++n) {
    runs.push_back({n, {"a full disk, naming refused", 0, false, Writing::NamingRefused}});
  }
#if !defined(_WIN32)
  const std::span<const os::Signal> ending = os::endingSignals();
  for (std::uint64_t n = 1; n <= operations; ++n) {
    const os::Signal& signal = ending[n % ending.size()];
    const os::Signal& ignored = ending[(n + 1) % ending.size()];
    runs.push_back({n, {std::string(signal.name), signal.number}});
    runs.push_back({n, {"SIGKILL", SIGKILL}});
    runs.push_back({n, {std::string(ignored.name) + ", ignored", ignored.number, true}});
  }
  for (std::uint64_t n = 1; n <= named; ++n) {
    const os::Signal& signal = ending[n % ending.size()];
    runs.push_back({n, {std::string(signal.name) + ", named", signal.number, false, Writing::Named}});
    runs.push_back({n, {"SIGSTOP, named", SIGSTOP, false, Writing::Named}});
  }
  for (std::uint64_t n = 1; n <= copied; ++n) {
    const os::Signal& signal = ending[n % ending.size()];
    runs.push_back(
        {n, {std::string(signal.name) + ", naming refused", signal.number, false, Writing::NamingRefused}});
  }
#endif
  for (const auto& [n, how] : runs) {
    SCOPED_TRACE(how.name + " at file operation " + std::to_string(n) + " of " + std::to_string(operations));
    lay(folder, before);
    std::optional<sim::SessionError> error = interrupted(how, n, script, folder, after);
    if (how.signal == 0) {
      ASSERT_TRUE(error);
      EXPECT_EQ(error->status(), sim::Status::OutputFailed);
      EXPECT_THAT(error->what(),
                  ::testing::MatchesRegex("line [0-9]+: cannot write .*: No space left on device"));
    }
    for (const auto& [name, text] : contents(folder)) {
      SCOPED_TRACE(name);
      ASSERT_TRUE(after.contains(name)) << "a temporary is left behind";
      auto old = before.find(name);
      bool untouched = old != before.end() && text == old->second;
      EXPECT_TRUE(untouched || text == after.at(name)) << "a file is neither as it was nor complete";
    }
    for (const auto& [name, text] : before) EXPECT_TRUE(std::filesystem::exists(folder / name)) << name;
    if (how.ignored) {
      EXPECT_EQ(contents(folder), after) << "the run went on to its end";
    }
  }
}

// A script that another process's work interrupts: the first part is read, then the work is done, then the
// rest, as if someone changed the files between two lines of a running session.
class Interlude : public std::streambuf {
 public:
  Interlude(std::string first, std::function<void()> work, std::string rest)
      : parts_{std::move(first), std::move(rest)}, work_(std::move(work)) {
    setg(parts_[0].data(), parts_[0].data(), parts_[0].data() + parts_[0].size());
  }

 protected:
  int_type underflow() override {
    if (done_) return traits_type::eof();
    done_ = true;
    work_();
    setg(parts_[1].data(), parts_[1].data(), parts_[1].data() + parts_[1].size());
    return parts_[1].empty() ? traits_type::eof() : traits_type::to_int_type(parts_[1][0]);
  }

 private:
  std::string parts_[2];
  std::function<void()> work_;
  bool done_ = false;
};

std::optional<sim::SessionError> playWithInterlude(const std::string& first,
                                                   const std::function<void()>& work, const std::string& rest,
                                                   const sim::Options& options) {
  Interlude script(first, work, rest);
  std::istream in(&script);
  std::ostringstream out;
  return sim::play(in, out, options);
}

TEST(SimFiles, JudgesATargetAgainWhenTheFileIsPutInPlace) {
  TempFolder folder;
  using std::filesystem::perms;
  const std::filesystem::path target = folder / "r.gif";
  const std::filesystem::path module = folder / "module.so";
  sim::Options options = simOptions();
  options.plugin = module;
  struct Case {
    std::string what;
    std::function<void()> meanwhile;
    std::string message;
  };
  std::vector<Case> cases = {
      {"made read-only", [&] { std::filesystem::permissions(target, perms::owner_read); }, "it is read-only"},
      {"given another name", [&] { std::filesystem::create_hard_link(target, folder / "twin.gif"); },
       "it has other names"},
      {"replaced by the plugin module", [&] { std::filesystem::rename(module, target); },
       "it is the plugin module"},
  };
#if !defined(_WIN32)
  cases.push_back({"turned into a link to another file",
                   [&] {
                     std::filesystem::remove(target);
                     std::filesystem::create_symlink(folder / "elsewhere.gif", target);
                     std::ofstream(folder / "elsewhere.gif") << "another file";
                   },
                   "it names another file than when writing began"});
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::string& name : folder.names()) std::filesystem::remove_all(folder / name);
    std::filesystem::copy_file(KORVINDEL_MODULE, module);
    std::ofstream(target) << "the user's own animation";
    Files changed;
    std::optional<sim::SessionError> error = playWithInterlude(
        "record " + target.string() + "\nframe 2\n",
        [&] {
          c.meanwhile();
          changed = contents(folder);
        },
        "record stop\n", options);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->status(), sim::Status::OutputFailed);
    EXPECT_THAT(error->what(), HasSubstr(c.message));
    EXPECT_EQ(contents(folder), changed) << "every file as the change left it, and no temporary";
  }
  std::filesystem::permissions(target, perms::owner_all);

  // What stands at the target when the file replaces it passes on its owner and permission bits, even when it
  // was made after the recording began; by another user, where only root can show it.
  for (const std::string& name : folder.names()) std::filesystem::remove_all(folder / name);
  std::filesystem::copy_file(KORVINDEL_MODULE, module);
  auto madeMeanwhile = [&] {
    std::ofstream(target) << "made meanwhile";
    std::filesystem::permissions(target, perms::owner_read | perms::owner_write | perms::group_read);
#if !defined(_WIN32)
    if (geteuid() == 0) {
      ASSERT_EQ(chown(target.c_str(), 23456, 23457), 0);
    }
#endif
  };
  EXPECT_FALSE(playWithInterlude("record " + target.string() + "\nframe 2\n", madeMeanwhile, "record stop\n",
                                 options));
  EXPECT_EQ(readFile(target).substr(0, 3), "GIF");
  EXPECT_EQ(std::filesystem::status(target).permissions(),
            perms::owner_read | perms::owner_write | perms::group_read);
#if !defined(_WIN32)
  struct stat replaced {};
  ASSERT_EQ(stat(target.c_str(), &replaced), 0);
  if (geteuid() == 0) {
    EXPECT_EQ(replaced.st_uid, 23456u);
    EXPECT_EQ(replaced.st_gid, 23457u);
  }
#endif

  // The module loaded last is what no picture may replace, whatever stood at its path before.
  std::optional<sim::SessionError> error = playWithInterlude(
      "unload\n",
      [&] {
        std::filesystem::remove(module);
        std::filesystem::copy_file(KORVINDEL_MODULE, module);
      },
      "load\nframe\nsnapshot " + module.string() + "\n", options);
  ASSERT_TRUE(error);
  EXPECT_THAT(error->what(), HasSubstr("cannot write " + module.string() + ": it is the plugin module"));
  EXPECT_EQ(readFile(module), readFile(KORVINDEL_MODULE));

  // Nor the font that every picture's caption is painted with.
  options.font = folder / "font.ttf";
  std::filesystem::copy_file(simOptions().font, options.font);
  std::ostringstream out;
  error = play("frame\nsnapshot " + options.font.string() + "\n", out, options);
  ASSERT_TRUE(error);
  EXPECT_THAT(error->what(), HasSubstr("cannot write " + options.font.string() + ": it is the font"));
  EXPECT_EQ(readFile(options.font), readFile(simOptions().font));
}

TEST(SimFiles, RefusesATargetThatIsNoRegularFileOrThatARecordingWillBecome) {
  TempFolder folder;
  auto at = [&](const char* name) { return (folder / name).string(); };
  std::ofstream(folder / "precious.gif") << "the user's own animation";
  std::ofstream(folder / "real.png") << "the user's own picture";
  std::filesystem::create_directory(folder / "folder.png");
  struct Case {
    std::string script;
    sim::Status status;
    std::string message;
  };
  std::vector<Case> cases = {
      {"snapshot " + at("folder.png"), sim::Status::OutputFailed, at("folder.png") + ": it is a directory"},
      {"record " + at("r.gif") + "\nframe\nsnapshot " + folder.path().string() + "/./r.gif",
       sim::Status::OutputFailed, "the recording started at line 1 will be written there"},
      {"record " + at("precious.gif") + "\nframe 3\nbogus line", sim::Status::BadInput,
       "line 3: unknown console variable 'bogus'"},
  };
  // Links, FIFOs and device nodes of the test's own making; Windows lets only administrators make links.
#if !defined(_WIN32)
  std::filesystem::create_symlink(folder / "missing" / "x.png", folder / "nowhere.png");
  std::filesystem::create_symlink(folder / "real.png", folder / "link.png");
  cases.push_back({"snapshot " + at("nowhere.png"), sim::Status::OutputFailed, "it is a link to nothing"});
  // A link another user planted in a sticky folder that anyone may write, as in /tmp; only root can plant one
  // in a test's name.
  if (geteuid() == 0) {
    std::filesystem::permissions(folder.path(),
                                 std::filesystem::perms::all | std::filesystem::perms::sticky_bit);
    std::filesystem::create_symlink(folder / "real.png", folder / "planted.png");
    ASSERT_EQ(lchown(at("planted.png").c_str(), 23456, 23456), 0);
    cases.push_back({"snapshot " + at("planted.png"), sim::Status::OutputFailed,
                     "it is a link in a sticky folder that anyone may write, made by neither"});
    // A link to another user's folder, planted on the way to the target.
    std::filesystem::create_directory(folder / "private");
    std::filesystem::create_directory_symlink(folder / "private", folder / "shots");
    ASSERT_EQ(lchown(at("shots").c_str(), 23456, 23456), 0);
    // Planted links met only by following links of this user's own, to the file or to a folder.
    std::filesystem::create_symlink(folder / "planted.png", folder / "via.png");
    std::filesystem::create_directory_symlink("shots", folder / "mine");
    for (const std::string& script :
         {"snapshot " + at("shots") + "/new.png", "snapshot " + at("mine") + "/new.png"}) {
      cases.push_back(
          {script, sim::Status::OutputFailed,
           "it leads through " + at("shots") + ", a link in a sticky folder that anyone may write"});
    }
    cases.push_back({"snapshot " + at("via.png"), sim::Status::OutputFailed,
                     "it leads through " + at("planted.png") + ", a link in a sticky folder"});
  }
  ASSERT_EQ(mkfifo(at("fifo.gif").c_str(), 0600), 0);
  cases.push_back({"record " + at("fifo.gif"), sim::Status::OutputFailed, "it is not a regular file"});
  // Never a real device node: a failure here must not cost the system one.
  if (mknod(at("full").c_str(), S_IFCHR | 0600, makedev(1, 7)) == 0) {
    cases.push_back({"record " + at("full") + "\nframe\nrecord stop", sim::Status::OutputFailed,
                     "it is not a regular file"});
  }
#endif
  const Files before = contents(folder);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    std::ostringstream out;
    std::optional<sim::SessionError> error = play(c.script + "\n", out);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->status(), c.status);
    EXPECT_THAT(error->what(), HasSubstr(c.message));
    EXPECT_EQ(contents(folder), before) << "every file as it was, and nothing added";
  }
#if !defined(_WIN32)
  struct stat node {};
  if (lstat(at("full").c_str(), &node) == 0) {
    EXPECT_TRUE(S_ISCHR(node.st_mode));
  }
  // Through a link the file it names is written; the link stays.
  std::ostringstream out;
  EXPECT_FALSE(play("frame\nsnapshot " + at("link.png") + "\n", out));
  EXPECT_TRUE(std::filesystem::is_symlink(folder / "link.png"));
  EXPECT_EQ(readFile(folder / "real.png").substr(1, 3), "PNG");
#endif
}

// korvindel-sim run as a user runs it, from a shell in a folder of the test's own.
ProgramRun runSim(const std::filesystem::path& folder, const std::string& arguments,
                  const std::string& before = "") {
  return runProgram(KORVINDEL_SIM, folder, arguments, before);
}

KORVINDEL_POSIX_TEST(SimCommand, EndsWithTheStatusOfWhatHappened, "runs the program through a POSIX shell") {
  TempFolder folder;
  std::ofstream(folder / "good.txt") << "state freeplay\nkorvindel_show 1\nframe\n";
  std::ofstream(folder / "bad.txt") << "frame\nfly\n";
  std::ofstream(folder / "frame.txt") << "state freeplay\nframe\n";
  std::ofstream(folder / "folder.txt") << "frame\nsnapshot " << folder.path().string() << "\n";
  std::ofstream(folder / "cut.so") << readFile(KORVINDEL_MODULE).substr(0, 20000);
  std::filesystem::path moduleFolder = std::filesystem::path(KORVINDEL_MODULE).parent_path();
  std::string good = (folder / "good.txt").string();
  std::ofstream(folder / "huge.txt") << "canvas 8192 8192\nframe\nsnapshot huge.png\n";
  {
    // A frame costs no more for a thousand drawables that draw the same large text, nor for a long comment on
    // the line that changed the game last, which the caption shows.
    std::ofstream many(folder / "many.txt");
    many << "state freeplay\nvelocity 1000 0 0\n";
    for (int i = 0; i < 1000; ++i) many << "korvindel_show 1\n";
    many << "korvindel_textsize 20\nrecord many.gif\nframe 4\nrecord stop\n";
    std::ofstream(folder / "comment.txt") << "canvas 64 32\nrecord comment.gif\nstate freeplay # "
                                          << std::string(1'000'000, 'x') << "\nframe 500\nrecord stop\n";
  }
  struct Case {
    std::filesystem::path folder;
    std::string arguments;
    int status;
    std::string message;
    std::string before = "";
  };
  // Bounded in processor time, which no other process's load changes (a run that takes more ends by
  // SIGXCPU), at five times what the longer of these runs takes: 0.2 s, and 3 s in the sanitizers' debug
  // build. Painting each of a thousand drawables on its own took 13 s (200 s under the sanitizers), and a
  // whole long comment in every caption 2 s (40 s).
#if defined(__SANITIZE_ADDRESS__)
  const std::string processorBound = "ulimit -t 15 && ";
#else
  const std::string processorBound = "ulimit -t 1 && ";
#endif
  std::vector<Case> cases = {
      {folder.path(), "--help", 0, ""},
      {folder.path(), "good.txt", 0, ""},
      {moduleFolder, "--plugin Korvindel.so " + good, 0, ""},
      {folder.path(), "--plugin /nonexistent/Korvindel.so good.txt", 1, "no such file"},
      {folder.path(), "--plugin libc.so.6 good.txt", 1, "cannot load plugin libc.so.6: no such file"},
      {folder.path(), "--plugin . good.txt", 1, "it is a directory, not a plugin module"},
      {folder.path(), "--plugin cut.so good.txt", 1, "cannot load plugin cut.so: it is cut short"},
      {folder.path(), "--plugin \"$(printf '\\033[2J')\" good.txt", 1,
       "cannot load plugin \\x1b[2J: no such"},
      {folder.path(), "--plugin", 2, "--plugin needs a path"},
      {folder.path(), "--calls good.txt", 2, "--calls goes with --json"},
      {folder.path(), "--frames good.txt", 2, "unexpected argument '--frames'"},
      {folder.path(), ".", 2, "cannot read the script .: it is a directory"},
      {folder.path(), "missing.txt", 2, "cannot read the script missing.txt: No such file or directory"},
      {folder.path(), "/dev/zero", 2, "line 1: the line is longer than the 1048576 bytes"},
      {folder.path(), "- <&-", 2, "line 1: cannot read the script: Bad file descriptor"},
      {folder.path(), "- </", 2, "line 1: cannot read the script: Is a directory"},
      {folder.path(), "bad.txt", 2, "line 2: expected 'fly VALUE' or a command"},
      {folder.path(), "--plugin '" + testPlugin("breaks_throws").string() + "' frame.txt", 1,
       "line 2: the plugin failed: an exception that is not a std::exception"},
      // Whatever the plugin throws or however it ends the program, its text escaped.
      {folder.path(), "--plugin '" + testPlugin("hostile_throws_terminal_codes").string() + "' frame.txt", 1,
       "line 2: the plugin failed: \\x1b[2J\\x0dpassed"},
      {folder.path(), "--plugin '" + testPlugin("hostile_throws_at_unload").string() + "' frame.txt", 1,
       "line 3: the plugin failed: onUnload failed"},
      {folder.path(), "--plugin '" + testPlugin("hostile_exits_in_a_frame").string() + "' frame.txt", 1,
       "the plugin ended the program before the script's end"},
      {folder.path(), "--plugin '" + testPlugin("hostile_throws_when_opened").string() + "' frame.txt", 134,
       "an exception that nothing could catch: \\x1b[2J\\x0dpassed"},
      {folder.path(), "folder.txt", 3, "it is a directory"},
      {folder.path(), "many.txt >/dev/null", 0, "", processorBound},
      {folder.path(), "comment.txt >/dev/null", 0, "", processorBound},
      {folder.path(), "many.txt >&3", 3,
       "cannot write the log to its output: Resource temporarily unavailable",
       "exec 3> >(sleep 2; cat >/dev/null) && perl -MFcntl -e 'fcntl(STDOUT, F_SETFL, O_NONBLOCK) or die' "
       ">&3 && "},
      {folder.path(), "good.txt >/dev/full", 3,
       "cannot write the log to its output: No space left on device"},
      {folder.path(), "--help >/dev/full", 3, "cannot write the log to its output: No space left on device"},
  };
  // The address sanitizer takes more address space and descriptors than these limits leave, and reports
  // running out itself.
#if !defined(__SANITIZE_ADDRESS__)
  cases.push_back({folder.path(), "huge.txt", 3, "line 3: out of memory", "ulimit -v 300000 && "});
  // The script holds the one descriptor the limit leaves once those a test runner passes on are closed.
  cases.push_back({folder.path(), "good.txt", 1, "Korvindel.so: cannot open it: Too many open files",
                   "for f in /proc/$$/fd/*; do n=${f##*/}; [ $n -gt 2 ] && eval \"exec $n>&-\"; done; "
                   "ulimit -n 4 && "});
#endif
  // Without /proc the program cannot tell where it is; a module planted in the current folder is never the
  // default. Hiding /proc takes a mount namespace of the test's own, which only root can have.
  if (std::system("unshare --mount --propagation private true 2>/dev/null") == 0) {
    std::filesystem::copy_file(KORVINDEL_MODULE, folder / "Korvindel.so");
    cases.push_back({folder.path(), "good.txt", 1, "cannot find the folder of this program",
                     "unshare --mount --propagation private -- bash -c "
                     "'mount -t tmpfs none /proc && exec \"$0\" \"$@\"' "});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before + c.arguments);
    ProgramRun run = runSim(c.folder, c.arguments, c.before);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.message));
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << run.err;
    if (c.status == 0) {
      EXPECT_EQ(run.err, "");
    }
  }
}

// Files as the test made them, and their permission bits.
std::map<std::string, std::string> withModes(const TempFolder& folder) {
  Files files = contents(folder);
  for (auto& [name, text] : files) {
    text += " mode " + std::to_string(static_cast<int>(std::filesystem::status(folder / name).permissions()));
  }
  return files;
}

KORVINDEL_POSIX_TEST(SimCommand, LeavesEveryFileAsItWasWhenItsOutputOrItsNameIsRefused,
                     "runs the program through a POSIX shell") {
  TempFolder folder;
  auto script = [&](const std::string& name, const std::string& text) {
    std::ofstream(folder / name) << text;
  };
  script("record.txt",
         "record r.gif\nstate freeplay\nkorvindel_show 1\ncanvas 64 32\nframe 5\nrecord stop\n");
  script("long.txt",
         "record r.gif\ncanvas 640 480\nstate freeplay\nkorvindel_show 1\nframe 40\nrecord stop\n");
  script("nul.txt", std::string("frame\nsnapshot a\0b.png\nrecord r\0.gif\n", 37));
  script("folded.txt", "frame\nsnapshot missing/../r.gif\n");
  script("long-name.txt", "frame\nsnapshot " + std::string(256, 'x') + "\n");
  script("refused.txt", "frame\nsnapshot ro.png\n");
  script("linked.txt", "frame\nrecord twin.gif\n");
  std::ofstream(folder / "r.gif") << "the user's own animation";
  std::ofstream(folder / "a") << "the user's own file";
  std::ofstream(folder / "ro.png") << "the user's read-only picture";
  std::filesystem::permissions(folder / "ro.png", std::filesystem::perms::owner_read);
  std::ofstream(folder / "twin.gif") << "one file under two names";
  std::filesystem::create_hard_link(folder / "twin.gif", folder / "other-name.gif");
  script("large.txt", "canvas 2000 2000\nframe\nsnapshot large.png\n");
  script("own-log.txt", "# a note\n");
  script("onto-log.txt", "frame\nsnapshot /dev/stdout\n");
  // The file that the runner takes standard error into.
  script("onto-errors.txt", "frame\nsnapshot err.txt\n");
  script("onto-script.txt", "frame\nsnapshot onto-script.txt\n");
  script("record-script.txt", "record record-script.txt\nframe\nrecord stop\n");
  script("onto-module.txt", "frame\nsnapshot plugin/module.so\n");
  std::filesystem::create_directory(folder / "plugin");
  std::filesystem::copy_file(KORVINDEL_MODULE, folder / "plugin" / "module.so");
  struct Case {
    std::string arguments;
    int status;
    std::string message;
    std::string before = "";
  };
  const Case cases[] = {
      {"large.txt", 3, "cannot write large.png: File too large", "ulimit -f 4 && "},
      {"record.txt >&-", 3, "cannot write the log to its output: Bad file descriptor"},
      {"long.txt | head -c 10 >/dev/null", 3, "cannot write the log to its output: Broken pipe"},
      // Nothing written lands on what the run reads. A log that fed its own script would grow until the
      // file-size limit stopped it, with another status.
      {"own-log.txt >>own-log.txt", 2, "cannot read the script own-log.txt: it is also the log's output",
       "ulimit -f 64 && "},
      {"- <own-log.txt >>own-log.txt", 2, "it is also the log's output", "ulimit -f 64 && "},
      {"onto-log.txt", 3, "line 2: cannot write /dev/stdout: it is the log's output"},
      {"onto-errors.txt", 3, "line 2: cannot write err.txt: it is the error output"},
      {"onto-script.txt", 3, "line 2: cannot write onto-script.txt: it is the script"},
      {"- <record-script.txt", 3, "line 1: cannot write record-script.txt: it is the script"},
      {"--plugin plugin/module.so onto-module.txt", 3,
       "line 2: cannot write plugin/module.so: it is the plugin module"},
      {"nul.txt", 2, "line 2: cannot write a\\x00b.png: a file name cannot hold a NUL byte"},
      {"folded.txt", 3,
       "cannot write missing/../r.gif: cannot create a file in its folder missing/..: No such file or "
       "directory"},
      {"long-name.txt", 2, "its name is longer than the 255 bytes a file name can have"},
      {"refused.txt", 3, "cannot write ro.png: it is read-only"},
      {"linked.txt", 3, "cannot write twin.gif: it has other names (hard links)"},
  };
  const Files before = withModes(folder);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    ProgramRun run = runSim(folder.path(), c.arguments, c.before);
    EXPECT_EQ(run.status, c.status);
    EXPECT_THAT(run.err, HasSubstr(c.message));
    EXPECT_EQ(withModes(folder), before) << "every file as it was, nothing added, no temporary left";
  }

  // What may be written is written whole: a name as long as the system takes, whose temporary's name is cut
  // to fit; a replaced file that keeps its permission bits; a run whose error output is closed.
  const std::string longest(255, 'y');
  std::ofstream(folder / longest) << "the user's own picture";
  std::filesystem::permissions(folder / longest,
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  script("longest.txt", "frame\nsnapshot " + longest + "\n");
  EXPECT_EQ(runSim(folder.path(), "longest.txt 2>&-").status, 0);
  EXPECT_EQ(readFile(folder / longest).substr(1, 3), "PNG");
  EXPECT_EQ(std::filesystem::status(folder / longest).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

#if !defined(_WIN32)
  // A replaced file keeps its owner and group, also when root replaces it, but a picture is no program: the
  // set-user-ID and set-group-ID bits are not carried over.
  using std::filesystem::perms;
  std::ofstream(folder / "setid.png") << "another user's picture";
  std::filesystem::permissions(folder / "setid.png",
                               perms::set_uid | perms::set_gid | perms::owner_all | perms::group_read);
  bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown((folder / "setid.png").c_str(), 23456, 23457), 0);
  }
  script("setid.txt", "frame\nsnapshot setid.png\n");
  EXPECT_EQ(runSim(folder.path(), "setid.txt").status, 0);
  EXPECT_EQ(readFile(folder / "setid.png").substr(1, 3), "PNG");
  EXPECT_EQ(std::filesystem::status(folder / "setid.png").permissions(),
            perms::owner_all | perms::group_read);
  struct stat replaced {};
  ASSERT_EQ(stat((folder / "setid.png").c_str(), &replaced), 0);
  if (root) {
    EXPECT_EQ(replaced.st_uid, 23456u);
    EXPECT_EQ(replaced.st_gid, 23457u);
  }
#endif
  EXPECT_EQ(contents(folder).size(), before.size() + 4) << "no temporary left";
}

KORVINDEL_POSIX_TEST(SimFiles, SaysWhereAFileItCannotRemoveIsLeft, "file attributes are Linux's") {
  TempFolder folder;
  const std::filesystem::path target = folder / "r.png";
  std::ofstream(target) << "the user's own picture";
  // A folder that takes new names and gives none up, where the file system has such folders.
  auto appendOnly = [&](bool on) {
    int descriptor = open(folder.path().c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    bool set = descriptor >= 0 && ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0 &&
               (flags = on ? flags | FS_APPEND_FL : flags & ~FS_APPEND_FL,
                ioctl(descriptor, FS_IOC_SETFLAGS, &flags) == 0);
    if (descriptor >= 0) close(descriptor);
    return set;
  };
  if (!appendOnly(true))
    GTEST_SKIP() << "this file system has no append-only folders, or only root may make one";
  std::ostringstream out;
  std::optional<sim::SessionError> error = play("frame\nsnapshot " + target.string() + "\n", out);
  appendOnly(false);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->status(), sim::Status::OutputFailed);
  EXPECT_EQ(readFile(target), "the user's own picture");
  std::vector<std::string> names = folder.names();
  ASSERT_EQ(names.size(), 2u);
  EXPECT_THAT(error->what(), HasSubstr("what was written is left as " + (folder / names.front()).string() +
                                       ", which cannot be removed"));
}

KORVINDEL_POSIX_TEST(SimFiles, KeepsTheGroupOfAFileWhoseOwnerItCannotKeep, "users and groups are POSIX's") {
  if (geteuid() != 0) GTEST_SKIP() << "only root can act as another user and group";
  using std::filesystem::perms;
  TempFolder folder;
  std::filesystem::permissions(folder.path(), std::filesystem::perms::all);
  const std::filesystem::path shared = folder / "shared.png";
  std::ofstream(shared) << "shared through the group";
  ASSERT_EQ(chown(shared.c_str(), 23458, 23457), 0);
  std::filesystem::permissions(
      shared, perms::owner_read | perms::owner_write | perms::group_read | perms::group_write);
  pid_t child = fork();
  if (child == 0) {
    // A member of the file's group, who is not its owner.
    gid_t group = 23457;
    if (setgroups(1, &group) != 0 || setgid(23456) != 0 || setuid(23456) != 0) _exit(2);
    std::ostringstream out;
    _exit(play("frame\nsnapshot " + shared.string() + "\n", out) ? 1 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  struct stat replaced {};
  ASSERT_EQ(stat(shared.c_str(), &replaced), 0);
  EXPECT_EQ(replaced.st_uid, 23456u);
  EXPECT_EQ(replaced.st_gid, 23457u);
  EXPECT_EQ(replaced.st_mode & 0777, 0660u);
}

KORVINDEL_POSIX_TEST(SimFiles, LeaveNoTemporaryWhenThePluginCrashesOrAborts,
                     "ends a process of its own by the plugin's signal") {
  TempFolder folder;
  const std::string modules[] = {"breaks_crashes", "hostile_aborts_in_a_frame", "hostile_traps_in_a_frame"};
  for (const std::string& module : modules) {
    SCOPED_TRACE(module);
    pid_t child = fork();
    if (child == 0) {
      rlimit noCore{0, 0};
      setrlimit(RLIMIT_CORE, &noCore);
      sim::endCleanlyOnSignals();
      // Where files cannot be written without a name, the recording's temporary has one.
      writeFiles(Writing::Named);
      sim::Options options = simOptions();
      options.plugin = testPlugin(module);
      std::ostringstream out;
      play("record " + (folder / "r.gif").string() + "\nframe\n", out, options);
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << "ended with status " << status;
    EXPECT_THAT(folder.names(), ::testing::IsEmpty()) << "the recording's temporary is left";
  }
}

KORVINDEL_POSIX_TEST(SimCommand, HelpAndReadmeAgreeOnLinesLimitsAndStatuses,
                     "runs the program through a POSIX shell") {
  TempFolder folder;
  ProgramRun help = runSim(folder.path(), "--help");
  ASSERT_EQ(help.status, 0);
  for (const sim::StatusMeaning& status : sim::kStatuses) {
    EXPECT_THAT(help.out, HasSubstr(std::to_string(static_cast<int>(status.status)) + "  " +
                                    std::string(status.meaning)));
  }
  EXPECT_NE(readFile(KORVINDEL_README).find("```text\n" + help.out + "```\n"), std::string::npos)
      << "the README shows the program's --help as it stands:\n"
      << help.out;
}

}  // namespace
