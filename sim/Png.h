// Writing a picture as a PNG file.
#pragma once

#include <filesystem>

#include "sim/AtomicFile.h"
#include "sim/Image.h"

namespace sim {

/// Writes the picture as a PNG file, safely (see AtomicFile), refusing what `refuse` refuses; throws
/// OutputError when it cannot.
void writePng(const Image& image, const std::filesystem::path& path, Refusal refuse);

}  // namespace sim
