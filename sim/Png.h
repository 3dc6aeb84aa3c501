// Writing a picture as a PNG file.
#pragma once

#include <filesystem>

#include "Image.h"

namespace sim {

/// Writes the picture as a PNG file, safely (see AtomicFile); throws OutputError when it cannot.
void writePng(const Image& image, const std::filesystem::path& path);

}  // namespace sim
