// SPDX-License-Identifier: MIT
#pragma once

// What ArchiveFolder asks of each system, beneath platform.h: the POSIX and Win32 files of the
// platform layer implement it.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace quillbox::platform::folder_ops {

// What is at a path, no link followed: a link, a junction, a device are Other.
enum class Kind { Missing, Folder, File, Other };
Kind KindOf(NativeView path, int& error);

// Calls visit for every entry of the folder but "." and "..", with its kind (no link followed).
// False when the folder cannot be listed.
bool List(NativeView folder, const std::function<void(NativeView name, Kind kind)>& visit);

// Makes a folder where nothing is.
bool MakeFolder(NativeView path, int& error);
// Removes an empty folder.
bool RemoveFolder(NativeView path);
// Gives a folder another name, where nothing has that name.
bool RenameFolder(NativeView from, NativeView to, int& error);

// Swaps the names of two folders in one step, where the system can.
enum class Swap { Done, Unsupported, Failed };
Swap Exchange(NativeView a, NativeView b, int& error);

// Makes the folder and everything in it durable.
bool SyncTree(NativeView folder, int& error);
// Makes the entries of the folder that holds path durable (a rename in it).
void SyncFolderOf(NativeView path);

// A small file whole; false where it is missing, larger than limit or unreadable.
bool ReadSmallFile(NativeView path, std::string& bytes, std::size_t limit);

unsigned long ProcessId();

}  // namespace quillbox::platform::folder_ops
