// The rules for what a file the simulator writes may replace: the file a target names, as the kernel resolves
// it, and every target refused before anything is written.
#pragma once

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace sim {

/// A target name that the system cannot take as written (a NUL byte, or longer than the system allows). The
/// message names it and the reason.
class UnusableName : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

/// The longest file name and path the system takes; a temporary's name beside a target needs some room more.
inline constexpr std::size_t kNameMax = 255;
inline constexpr std::size_t kPathMax = 4096;
inline constexpr std::size_t kSuffixRoom = 32;

/// The file that writing to a target would replace or create, as the kernel resolves it: the path as written,
/// or for a link the file it names. Throws UnusableName for a name the system cannot take, and OutputError
/// for a target that is refused: a directory, a device, a FIFO, a link to nothing, a link anywhere on its
/// path planted in a sticky folder that anyone may write by neither the folder's owner nor this user, a file
/// with other names (hard links, which a replacement would leave holding the old content) or a read-only
/// file.
std::filesystem::path destinationOf(const std::filesystem::path& target);

/// Whether two destinations are one file, however each is spelled: the same name in the same folder.
bool sameDestination(const std::filesystem::path& a, const std::filesystem::path& b);

/// The folder a file's path names, "." for a bare name.
std::filesystem::path folderOf(const std::filesystem::path& path);

/// "cannot write TARGET: WHY", the target escaped.
std::string cannotWrite(const std::filesystem::path& target, const std::string& why);

}  // namespace sim
