#include "Isolation.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "Quote.h"

#if defined(__linux__)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace standin {
namespace {

RunOutcome outcomeOf(const RunResult& result) {
  switch (result.kind) {
    case RunResult::Kind::Report:
      return {RunOutcome::End::Reported, "", result.text, ""};
    case RunResult::Kind::Failure:
      return {RunOutcome::End::Failed, result.rule, result.text, ""};
    case RunResult::Kind::CannotJudge:
      break;
  }
  return {RunOutcome::End::CannotJudge, "", result.text, ""};
}

RunResult lastResort(const std::function<RunResult()>& work) noexcept {
  try {
    return work();
  } catch (const std::exception& error) {
    return {RunResult::Kind::CannotJudge, "", std::string("the validator failed: ") + error.what()};
  } catch (...) {
    return {RunResult::Kind::CannotJudge, "", "the validator failed"};
  }
}

#if defined(__linux__)
// One message: its kind, the rule, a tab, the text.
constexpr char kKinds[] = {'R', 'F', 'E'};
// What one message holds at the most; a longer text is cut.
constexpr std::size_t kMessageSize = 64 * 1024;

std::string encoded(const RunResult& result) {
  std::string message(1, kKinds[static_cast<int>(result.kind)]);
  message += result.rule + '\t' + result.text;
  if (message.size() > kMessageSize) message.resize(kMessageSize);
  return message;
}

std::string describeSignal(int signal) {
  const char* name = strsignal(signal);
  return "ended by signal " + std::to_string(signal) +
         (name != nullptr ? " (" + std::string(name) + ")" : "");
}

std::string describeEnd(const siginfo_t& end) {
  if (end.si_code == CLD_EXITED) {
    return "ended with status " + std::to_string(end.si_status) + " before its work was done";
  }
  return describeSignal(end.si_status);
}

std::string seconds(std::chrono::milliseconds limit) {
  std::ostringstream text;
  text << static_cast<double>(limit.count()) / 1000 << " s";
  return text.str();
}

// A file as the kernel tells files apart, in the form /proc/<pid>/maps shows it.
struct FileIdentity {
  unsigned major;
  unsigned minor;
  std::uint64_t inode;
  bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> identityOf(const std::filesystem::path& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  return FileIdentity{major(status.st_dev), minor(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

std::string processFile(pid_t process, const char* name) {
  return "/proc/" + std::to_string(process) + "/" + name;
}

// One line of /proc/<pid>/maps: what is mapped, whether it can run, and which file it comes from (none for
// anonymous memory, which then goes by its name, such as [vdso]).
struct Mapping {
  bool executable = false;
  std::optional<FileIdentity> file;
  std::string name;
};

std::optional<Mapping> mappingOf(const std::string& line) {
  std::istringstream fields(line);
  std::string range, permissions, offset, device;
  std::uint64_t inode = 0;
  if (!(fields >> range >> permissions >> offset >> device >> inode)) return std::nullopt;
  Mapping mapping;
  mapping.executable = permissions.find('x') != std::string::npos;
  unsigned major = 0;
  unsigned minor = 0;
  if (inode != 0 && std::sscanf(device.c_str(), "%x:%x", &major, &minor) == 2) {
    mapping.file = FileIdentity{major, minor, inode};
  } else {
    std::getline(fields >> std::ws, mapping.name);
  }
  return mapping;
}

std::vector<Mapping> mappingsOf(pid_t process) {
  std::vector<Mapping> mappings;
  std::ifstream maps(processFile(process, "maps"));
  for (std::string line; std::getline(maps, line);) {
    if (std::optional<Mapping> mapping = mappingOf(line)) mappings.push_back(*mapping);
  }
  return mappings;
}

// What of a process can run code: the executable mappings, each counted by where it comes from.
using Code = std::map<std::string, int>;

Code codeOf(const std::vector<Mapping>& mappings) {
  Code code;
  for (const Mapping& mapping : mappings) {
    if (!mapping.executable) continue;
    const std::optional<FileIdentity>& file = mapping.file;
    ++code[file ? std::to_string(file->major) + ":" + std::to_string(file->minor) + ":" +
                      std::to_string(file->inode)
                : mapping.name];
  }
  return code;
}

std::optional<FileIdentity> programOf(pid_t process) { return identityOf(processFile(process, "exe")); }

// Why the run's process cannot be shown to hold no code of the module's, or empty when it can: its program is
// this validator's, it has not ended, the module is not mapped there, and no code runs there but what ran in
// the validator when the run began. What plugin code did to the validator's own memory is beyond what can be
// seen from here.
std::string untrusted(pid_t run, const std::optional<FileIdentity>& module, const Code& codeAtStart) {
  std::vector<Mapping> mappings = mappingsOf(run);
  if (mappings.empty()) return "the run's process had ended";
  const std::optional<FileIdentity> program = programOf(getpid());
  if (!program || programOf(run) != program) return "the run's process no longer runs the validator";
  for (const Mapping& mapping : mappings) {
    if (module && mapping.file == module) return "the module was still loaded in the run";
  }
  for (const auto& [where, count] : codeOf(mappings)) {
    auto before = codeAtStart.find(where);
    if (before == codeAtStart.end() || before->second < count) {
      return "code that was not there when the run began was still mapped in it";
    }
  }
  if (programOf(run) != program) return "the run's process no longer runs the validator";
  return "";
}

// The processes whose parent is this one: with this process a subreaper, every process a run started ends up
// here once its own parent is gone, whatever group or session it moved to.
std::vector<pid_t> children() {
  std::vector<pid_t> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      continue;
    }
    std::ifstream stat(entry.path() / "stat");
    std::string text;
    std::getline(stat, text);
    // The command's name, in parentheses, may hold anything; the fields after it do not.
    std::size_t end = text.rfind(')');
    if (end == std::string::npos) continue;
    std::istringstream fields(text.substr(end + 1));
    std::string state;
    long parent = 0;
    if (fields >> state >> parent && parent == getpid()) found.push_back(std::stoi(name));
  }
  return found;
}

// Ends the run's process group while the run, ended or not, still holds its number, then reaps the run, then
// ends every process the run left behind, generation after generation, for as long as any comes back:
// children the caller had before the run are its own and are left alone.
void endEverything(pid_t run, const std::vector<pid_t>& callersOwn) {
  kill(-run, SIGKILL);
  kill(run, SIGKILL);
  while (waitpid(run, nullptr, 0) < 0 && errno == EINTR) {
  }
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < giveUp) {
    std::vector<pid_t> left = children();
    std::erase_if(left, [&](pid_t process) {
      return std::find(callersOwn.begin(), callersOwn.end(), process) != callersOwn.end();
    });
    if (left.empty()) return;
    for (pid_t process : left) {
      kill(-process, SIGKILL);
      kill(process, SIGKILL);
    }
    for (pid_t process : left) {
      while (waitpid(process, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }
}

class Descriptor {
 public:
  explicit Descriptor(int number = -1) : number_(number) {}
  ~Descriptor() { reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return number_; }
  void reset(int number = -1) {
    if (number_ >= 0) close(number_);
    number_ = number;
  }

 private:
  int number_;
};

[[noreturn]] void runChild(int channel, int output, const std::function<RunResult()>& work) {
  setpgid(0, 0);
  int nothing = open("/dev/null", O_RDONLY);
  if (nothing < 0 || dup2(nothing, 0) < 0 || dup2(output, 1) < 0 || dup2(output, 2) < 0) _exit(125);
  close(nothing);
  close(output);
  std::string message = encoded(lastResort(work));
  // What the module wrote and left in the C library's buffers belongs to its output too.
  std::fflush(nullptr);
  if (send(channel, message.data(), message.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(message.size())) {
    _exit(125);
  }
  // The parent's word that it has the message; until then the run must stay, so that it can be looked at.
  char word = 0;
  while (recv(channel, &word, 1, 0) < 0 && errno == EINTR) {
  }
  _exit(0);
}

// The message on the channel, and the process that sent it as the kernel vouches for it; none when the
// channel has nothing whole to give.
struct Received {
  std::string message;
  pid_t sender = 0;
};

std::optional<Received> receive(int channel) {
  Received received;
  received.message.resize(kMessageSize);
  iovec part{received.message.data(), received.message.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
  msghdr header{};
  header.msg_iov = &part;
  header.msg_iovlen = 1;
  header.msg_control = control;
  header.msg_controllen = sizeof control;
  // A peer that ended with messages of its own unread reports that once, before what waits here.
  ssize_t got = recvmsg(channel, &header, MSG_DONTWAIT);
  if (got < 0 && errno == ECONNRESET) got = recvmsg(channel, &header, MSG_DONTWAIT);
  if (got <= 0) return std::nullopt;
  received.message.resize(static_cast<std::size_t>(got));
  for (cmsghdr* item = CMSG_FIRSTHDR(&header); item != nullptr; item = CMSG_NXTHDR(&header, item)) {
    if (item->cmsg_level == SOL_SOCKET && item->cmsg_type == SCM_CREDENTIALS) {
      ucred credentials{};
      std::memcpy(&credentials, CMSG_DATA(item), sizeof credentials);
      received.sender = credentials.pid;
    }
  }
  return received;
}

std::optional<RunResult> decoded(std::string_view message) {
  std::size_t tab = message.find('\t');
  if (message.empty() || tab == std::string_view::npos) return std::nullopt;
  const char* kind = std::find(std::begin(kKinds), std::end(kKinds), message[0]);
  if (kind == std::end(kKinds)) return std::nullopt;
  return RunResult{static_cast<RunResult::Kind>(kind - std::begin(kKinds)),
                   std::string(message.substr(1, tab - 1)), std::string(message.substr(tab + 1))};
}

// Judges a message from the run: what it says, when it can be believed. A report, or a word that the module
// cannot be judged, counts only from the run itself once no code of the module's can be there.
RunOutcome judgeMessage(const Received& received, pid_t run, const std::optional<FileIdentity>& module,
                        const Code& codeAtStart) {
  if (received.sender != run) {
    return {RunOutcome::End::Forged, "",
            "a message came from another process than the run's (" + std::to_string(received.sender) +
                "), one the module started",
            ""};
  }
  std::optional<RunResult> result = decoded(received.message);
  if (!result) {
    return {RunOutcome::End::Forged, "", "a message the validator never writes came from the run", ""};
  }
  if (result->kind != RunResult::Kind::Failure) {
    // A module whose file cannot be told apart can still be said not to load, but cannot be shown gone.
    std::string why = result->kind == RunResult::Kind::Report && !module
                          ? "the module's file cannot be told apart"
                          : untrusted(run, module, codeAtStart);
    if (!why.empty()) return {RunOutcome::End::Forged, "", "a report came, but " + why, ""};
  }
  return outcomeOf(*result);
}

// Reads what the run wrote, a bounded amount at a time, so that a flood of output cannot hold the validator
// past the run's limit; beyond kKeptOutput bytes it is read and dropped.
void drain(int output, std::string& captured) {
  char buffer[4096];
  for (int chunk = 0; chunk < 16; ++chunk) {
    ssize_t got = read(output, buffer, sizeof buffer);
    if (got <= 0) return;
    captured.append(buffer, std::min(static_cast<std::size_t>(got), kKeptOutput - captured.size()));
  }
}
#endif

}  // namespace

#if defined(__linux__)
bool runsIsolated() { return true; }

RunOutcome runIsolated(const std::filesystem::path& module, std::chrono::milliseconds limit,
                       const std::function<RunResult()>& work) {
  // Whatever the run starts comes back to this process when its parent ends, to be ended too.
  static const bool reaps = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
  if (!reaps)
    throw std::runtime_error("the validator cannot take in what a run leaves: " + systemReason(errno));
  const std::optional<FileIdentity> moduleFile = identityOf(module);
  const std::vector<pid_t> callersOwn = children();
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
    throw std::runtime_error("the validator cannot make a channel: " + systemReason(errno));
  }
  Descriptor channel(pair[0]);
  Descriptor runsEnd(pair[1]);
  int one = 1;
  int pipeEnds[2];
  if (setsockopt(channel.get(), SOL_SOCKET, SO_PASSCRED, &one, sizeof one) != 0 ||
      pipe2(pipeEnds, O_CLOEXEC) != 0) {
    throw std::runtime_error("the validator cannot make a channel: " + systemReason(errno));
  }
  Descriptor output(pipeEnds[0]);
  Descriptor outputsEnd(pipeEnds[1]);
  // The run begins as a copy of this process: the code that may run in it then.
  const Code codeAtStart = codeOf(mappingsOf(getpid()));
  pid_t run = fork();
  if (run < 0) throw std::runtime_error("the validator cannot start a child process: " + systemReason(errno));
  if (run == 0) {
    // The run holds its own ends alone: none of the validator's.
    close(channel.get());
    close(output.get());
    runChild(runsEnd.get(), outputsEnd.get(), work);
  }
  setpgid(run, run);
  runsEnd.reset();
  outputsEnd.reset();
  fcntl(output.get(), F_SETFL, O_NONBLOCK);

  std::optional<RunOutcome> outcome;
  std::string captured;
  // How the run ended, seen without reaping it: its number stays its own, and its group's, until it is
  // reaped.
  siginfo_t end{};
  const auto deadline = std::chrono::steady_clock::now() + limit;
  // The run's end is looked for between waits, since a process it started may hold its channel open.
  constexpr std::chrono::milliseconds kLook{10};
  for (;;) {
    end.si_pid = 0;
    bool ended =
        waitid(P_PID, static_cast<id_t>(run), &end, WEXITED | WNOHANG | WNOWAIT) == 0 && end.si_pid == run;
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (!ended && left.count() <= 0) {
      std::string after = outcome ? " after its report" : "";
      outcome =
          RunOutcome{RunOutcome::End::Hung, "", "the run did not end within " + seconds(limit) + after, ""};
      break;
    }
    pollfd watched[] = {{channel.get(), POLLIN, 0}, {output.get(), POLLIN, 0}};
    if (poll(watched, 2, ended ? 0 : static_cast<int>(std::min(left, kLook).count())) < 0 && errno != EINTR) {
      outcome = RunOutcome{RunOutcome::End::CannotJudge, "",
                           "the validator cannot watch the run: " + systemReason(errno), ""};
      break;
    }
    drain(output.get(), captured);
    if (!outcome) {
      if (std::optional<Received> received = receive(channel.get())) {
        outcome = judgeMessage(*received, run, moduleFile, codeAtStart);
        if (outcome->end == RunOutcome::End::Forged) break;
        char word = 1;
        send(channel.get(), &word, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
      }
    }
    if (!ended) continue;
    if (!outcome) {
      outcome = RunOutcome{RunOutcome::End::Crashed, "", describeEnd(end), ""};
    } else if (outcome->end == RunOutcome::End::Reported &&
               !(end.si_code == CLD_EXITED && end.si_status == 0)) {
      outcome = RunOutcome{RunOutcome::End::Crashed, "", describeEnd(end) + ", after its report", ""};
    }
    break;
  }
  endEverything(run, callersOwn);
  outcome->output = std::move(captured);
  return *outcome;
}
#else
bool runsIsolated() { return false; }

RunOutcome runIsolated(const std::filesystem::path&, std::chrono::milliseconds,
                       const std::function<RunResult()>& work) {
  return outcomeOf(lastResort(work));
}
#endif

}  // namespace standin
