#include "folder_scan.h"

#include <algorithm>

#include "platform/platform.h"
#include "quillbox/text.h"

namespace quillbox {

namespace {

bool HasExtension(std::string_view path, std::string_view extension) {
    if (extension == "*") {
        return true;
    }
    return path.size() > extension.size() && path.ends_with(extension) &&
           path[path.size() - extension.size() - 1] == '.';
}

bool Collect(const std::string& folder, std::vector<std::string>& files,
             const std::string& extension, bool recurse, std::vector<platform::FolderId>& descent) {
    const auto wideFolder = WidenText(folder);
    if (!wideFolder) {
        return false;
    }
    // A folder given with a trailing separator ("dir/", a drive root X:\) is the folder it names.
    const std::u16string_view base = platform::TrimTrailingSeparators(*wideFolder);
    if (base.empty() || !platform::PathExists(base)) {
        return false;
    }

    // Through a link back to a parent the tree never ends: a folder already on this descent
    // is not entered again.
    const auto id = platform::IdentifyFolder(base);
    if (id && std::find(descent.begin(), descent.end(), *id) != descent.end()) {
        return true;
    }
    if (id) {
        descent.push_back(*id);
    }

    std::u16string prefix(base);
    if (!platform::EndsWithSeparator(prefix)) {
        prefix += platform::kPathSeparator;
    }
    std::u16string entryPath;
    platform::ListFolder(base, [&](std::u16string_view name, bool isDirectory) {
        entryPath.assign(prefix).append(name);
        if (!platform::FitsPathLimit(entryPath)) {
            return;
        }
        auto narrowPath = NarrowText(entryPath);
        if (!narrowPath) {
            return;
        }
        if (isDirectory) {
            if (recurse) {
                Collect(*narrowPath, files, extension, recurse, descent);
            }
        } else if (HasExtension(*narrowPath, extension)) {
            files.push_back(std::move(*narrowPath));
        }
    });

    if (id) {
        descent.pop_back();
    }
    return true;
}

}  // namespace

bool CollectFiles(std::string folder, std::vector<std::string>& files, std::string extension,
                  bool recurse) {
    std::vector<platform::FolderId> descent;
    return Collect(folder, files, extension, recurse, descent);
}

}  // namespace quillbox
