#include "Isolation.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
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
std::string describeSignal(int signal) {
  const char* name = strsignal(signal);
  return "ended by signal " + std::to_string(signal) +
         (name != nullptr ? " (" + std::string(name) + ")" : "");
}

std::string describeEnd(int status) {
  if (WIFSIGNALED(status)) return describeSignal(WTERMSIG(status));
  return "ended with status " + std::to_string(WEXITSTATUS(status)) + " before its work was done";
}

std::string seconds(std::chrono::milliseconds limit) {
  std::ostringstream text;
  text << static_cast<double>(limit.count()) / 1000 << " s";
  return text.str();
}

// The file that a path names, as the kernel tells files apart.
struct FileIdentity {
  unsigned major;
  unsigned minor;
  std::uint64_t inode;
};

std::optional<FileIdentity> identityOf(const std::filesystem::path& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  return FileIdentity{major(status.st_dev), minor(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

// Whether the process maps the file: then code of the module may still run there.
bool maps(pid_t process, const FileIdentity& file) {
  std::ifstream maps("/proc/" + std::to_string(process) + "/maps");
  // Unreadable, the process cannot be shown free of the module.
  if (!maps) return true;
  for (std::string line; std::getline(maps, line);) {
    std::istringstream fields(line);
    std::string range, permissions, offset, device;
    std::uint64_t inode = 0;
    if (!(fields >> range >> permissions >> offset >> device >> inode) || inode != file.inode) continue;
    unsigned major = 0;
    unsigned minor = 0;
    if (std::sscanf(device.c_str(), "%x:%x", &major, &minor) == 2 && major == file.major &&
        minor == file.minor) {
      return true;
    }
  }
  return false;
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

// Ends the run's process group, then every process the run left behind, and reaps them all.
void endEverything(pid_t run, bool reaped) {
  kill(-run, SIGKILL);
  if (!reaped) {
    kill(run, SIGKILL);
    while (waitpid(run, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  // A killed process's own children come here in turn; each round ends one generation.
  for (int round = 0; round < 64; ++round) {
    std::vector<pid_t> left = children();
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
  ssize_t got = recvmsg(channel, &header, MSG_DONTWAIT);
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

// Judges a message from the run: what it says, when it can be believed.
RunOutcome judgeMessage(const Received& received, pid_t run, const std::optional<FileIdentity>& module) {
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
  if (result->kind == RunResult::Kind::Report && module && maps(run, *module)) {
    return {RunOutcome::End::Forged, "", "a report came while the module was still loaded in the run", ""};
  }
  return outcomeOf(*result);
}
#endif

}  // namespace

#if defined(__linux__)
bool runsIsolated() { return true; }

RunOutcome runIsolated(const std::filesystem::path& module, std::chrono::milliseconds limit,
                       const std::function<RunResult()>& work) {
  // Whatever the run starts comes back to this process when its parent ends, to be ended too.
  static const bool reaps = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
  static_cast<void>(reaps);
  const std::optional<FileIdentity> moduleFile = identityOf(module);
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
  pid_t run = fork();
  if (run < 0) throw std::runtime_error("the validator cannot start a child process: " + systemReason(errno));
  if (run == 0) runChild(runsEnd.get(), outputsEnd.get(), work);
  setpgid(run, run);
  runsEnd.reset();
  outputsEnd.reset();
  fcntl(output.get(), F_SETFL, O_NONBLOCK);

  std::optional<RunOutcome> outcome;
  std::string captured;
  bool ended = false;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  // The run's end is looked for between waits, since a process it started may hold its channel open.
  constexpr std::chrono::milliseconds kLook{10};
  while (!ended) {
    if (waitpid(run, &status, WNOHANG) == run) {
      ended = true;
    }
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (!ended && left.count() <= 0) {
      if (!outcome)
        outcome = RunOutcome{RunOutcome::End::Hung, "", "the run did not end within " + seconds(limit), ""};
      break;
    }
    pollfd watched[] = {{channel.get(), POLLIN, 0}, {output.get(), POLLIN, 0}};
    int waitFor = ended ? 0 : static_cast<int>(std::min(left, kLook).count());
    if (poll(watched, 2, waitFor) < 0 && errno != EINTR) break;
    for (char buffer[4096];;) {
      ssize_t got = read(output.get(), buffer, sizeof buffer);
      if (got <= 0) break;
      captured.append(buffer, std::min(static_cast<std::size_t>(got), kKeptOutput - captured.size()));
    }
    if (outcome) continue;
    std::optional<Received> received = receive(channel.get());
    if (!received) continue;
    outcome = judgeMessage(*received, run, moduleFile);
    if (outcome->end == RunOutcome::End::Forged) break;
    char word = 1;
    send(channel.get(), &word, 1, MSG_NOSIGNAL);
  }
  endEverything(run, ended);
  if (!outcome) {
    outcome = RunOutcome{RunOutcome::End::Crashed, "", describeEnd(status), ""};
  } else if (outcome->end == RunOutcome::End::Reported && ended &&
             !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
    outcome = RunOutcome{RunOutcome::End::Crashed, "", describeEnd(status) + ", after its report", ""};
  } else if (outcome->end == RunOutcome::End::Reported && !ended) {
    outcome = RunOutcome{RunOutcome::End::Hung, "",
                         "the run did not end within " + seconds(limit) + " after its report", ""};
  }
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
