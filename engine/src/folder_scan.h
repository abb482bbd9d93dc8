#pragma once

#include <string>
#include <vector>

namespace quillbox {

// Appends the code page 936 path of every file below folder whose name ends in "." and the
// extension (byte for byte; "*" takes every file), depth-first in the platform's listing order.
// False when the folder cannot be named in UTF-16 or does not exist.
bool CollectFiles(std::string folder, std::vector<std::string>& files, std::string extension,
                  bool recurse);

}  // namespace quillbox
