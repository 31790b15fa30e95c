// A download target file for the native tools.
#pragma once

#include <memory>
#include <string>

#include "engine/ports.h"

namespace pravonell::posix {

// Creates or empties the file; raises Error when it cannot.
std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path);

}  // namespace pravonell::posix
