#include "sim/Targets.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "common/Quote.h"
#include "common/System.h"
#include "sim/OutputError.h"

namespace sim {
namespace {

constexpr int kLinksFollowed = 40;

// In a sticky folder that anyone may write (such as /tmp) the kernel follows a link only for the folder's
// owner or the link's, where it is told to (protected_symlinks), and a rename gets no such protection: the
// simulator holds every link that resolving the target meets to that rule itself, a folder's as the file's,
// and those that a link's own text leads through, so that a link planted in /tmp cannot lead a write into
// another user's folder, directly or by way of a link of this user's.
void refusePlantedLinks(const std::filesystem::path& target) {
  // The parts still to walk, the next one last.
  std::vector<std::filesystem::path> parts(target.begin(), target.end());
  std::reverse(parts.begin(), parts.end());
  std::filesystem::path walked;
  // As many links as the kernel follows before it gives up on a path (ELOOP), which writing then reports.
  for (int links = 0; !parts.empty() && links <= kLinksFollowed;) {
    walked /= parts.back();
    parts.pop_back();
    std::error_code error;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(walked, error))) continue;
    if (os::plantedLink(walked)) {
      std::string which =
          walked == target ? "it is" : "it leads through " + common::escape(walked.string()) + ",";
      throw OutputError(cannotWrite(target, which +
                                                " a link in a sticky folder that anyone may write, made by "
                                                "neither the folder's owner nor this user"));
    }
    std::filesystem::path text = std::filesystem::read_symlink(walked, error);
    if (error) return;
    ++links;
    walked = text.is_absolute() ? std::filesystem::path() : walked.parent_path();
    parts.insert(parts.end(), std::make_reverse_iterator(text.end()),
                 std::make_reverse_iterator(text.begin()));
  }
}

}  // namespace

std::string cannotWrite(const std::filesystem::path& target, const std::string& why) {
  return "cannot write " + common::escape(target.string()) + ": " + why;
}

std::filesystem::path folderOf(const std::filesystem::path& path) {
  return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

std::filesystem::path destinationOf(const std::filesystem::path& target) {
  const auto& text = target.native();
  if (text.find(os::NativeChar{0}) != text.npos) {
    throw UnusableName(cannotWrite(target, "a file name cannot hold a NUL byte"));
  }
  if (target.filename().empty()) throw OutputError(cannotWrite(target, "it names a folder, not a file"));
  if (target.filename().native().size() > kNameMax) {
    throw UnusableName(cannotWrite(
        target, "its name is longer than the " + std::to_string(kNameMax) + " bytes a file name can have"));
  }
  if (text.size() + kSuffixRoom > kPathMax) {
    throw UnusableName(cannotWrite(target, "its path is longer than the " +
                                               std::to_string(kPathMax - kSuffixRoom) + " bytes taken here"));
  }
  refusePlantedLinks(target);
  std::error_code error;
  std::filesystem::file_status link = std::filesystem::symlink_status(target, error);
  if (link.type() == std::filesystem::file_type::not_found) return target;
  if (error) throw OutputError(cannotWrite(target, common::escape(error.message())));
  std::filesystem::path destination = target;
  if (std::filesystem::is_symlink(link)) {
    destination = std::filesystem::canonical(target, error);
    if (error == std::errc::no_such_file_or_directory) {
      throw OutputError(cannotWrite(target, "it is a link to nothing"));
    }
    if (error) throw OutputError(cannotWrite(target, common::escape(error.message())));
  }
  std::filesystem::file_status status = std::filesystem::status(destination, error);
  if (std::filesystem::is_directory(status)) throw OutputError(cannotWrite(target, "it is a directory"));
  if (!std::filesystem::is_regular_file(status)) {
    throw OutputError(cannotWrite(target, "it is not a regular file"));
  }
  if (std::filesystem::hard_link_count(destination, error) > 1) {
    throw OutputError(
        cannotWrite(target, "it has other names (hard links), which would keep the old content"));
  }
  using std::filesystem::perms;
  bool writable =
      (status.permissions() & (perms::owner_write | perms::group_write | perms::others_write)) != perms::none;
  if (!writable || !os::writable(destination)) throw OutputError(cannotWrite(target, "it is read-only"));
  return destination;
}

bool sameDestination(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code error;
  return a.filename() == b.filename() && std::filesystem::equivalent(folderOf(a), folderOf(b), error);
}

}  // namespace sim
