// SPDX-License-Identifier: MIT
#include "scan/folder_scan.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <tuple>

#include "run/file_id_set.h"
#include "test_files.h"

namespace quillbox {
namespace {

// The scan of two extensions, byte for byte, as the classic run asks for them.
void Collect(platform::NativeView folder, FileList& list, std::string_view first,
             std::string_view second, bool recurse) {
    CollectFiles(
        folder, list,
        {{first, InputKind::ClassicMessage}, {second, InputKind::ClassicMessage}, {}, recurse});
}

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteBytes;

// One extension only: no file of the tests ends in it.
constexpr std::string_view kNone = "none";

// A path as UTF-8 with "/" between its parts on every platform, for comparing.
std::string Generic(const platform::NativeString& native) {
    const std::u8string utf8 = fs::path(native).u8string();
    std::string path(utf8.begin(), utf8.end());
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::vector<std::string> PathsOf(const FileList& list) {
    std::vector<std::string> paths;
    platform::NativeString path;
    for (std::size_t i = 0; i < list.Size(); ++i) {
        list.PathAt(i, path);
        paths.push_back(Generic(path));
    }
    return paths;
}

class FolderScanTest : public ::testing::Test {
protected:
    void Touch(std::string_view relative) { WriteBytes(dir_ / relative, "x"); }

    // The paths listed, relative to the test's folder, in the list's order.
    std::vector<std::string> Listed(const fs::path& folder, std::string_view first,
                                    std::string_view second, bool recurse) {
        FileList list;
        Collect(folder.native(), list, first, second, recurse);
        std::vector<std::string> paths = PathsOf(list);
        const std::string root = Generic(dir_.Path().native()) + "/";
        for (auto& f : paths) {
            if (f.starts_with(root)) {
                f.erase(0, root.size());
            }
        }
        return paths;
    }

    // The same, sorted: the listing order is the platform's.
    std::vector<std::string> Scan(const fs::path& folder, std::string_view first,
                                  std::string_view second, bool recurse) {
        std::vector<std::string> paths = Listed(folder, first, second, recurse);
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    const fs::path& Folder() const { return dir_.Path(); }
    // The folder with text after it, as a user may type it.
    fs::path Folder(std::string_view suffix) const {
        return fs::path(Folder().native() + platform::NativeString(suffix.begin(), suffix.end()));
    }

    TempDir dir_;
};

using Names = std::vector<std::string>;

TEST_F(FolderScanTest, MatchesADotAndTheExtensionByteForByte) {
    // Distinct stems: some file systems do not tell a.vcf from a.VCF.
    for (const char* name :
         {"a.vcf", "b.c.vcf", "c.VCF", "d.Vcf", "e.vcf.bak", "vcf", "avcf", ".vcf"}) {
        Touch(name);
    }
    EXPECT_EQ(Scan(Folder(), "vcf", kNone, false), (Names{".vcf", "a.vcf", "b.c.vcf"}));
    EXPECT_EQ(Scan(Folder(), kNone, "VCF", false), (Names{"c.VCF"}));
    // All files of the first extension, then those of the second.
    Names both = Listed(Folder(), "VCF", "vcf", false);
    ASSERT_EQ(both.size(), 4u);
    EXPECT_EQ(both.front(), "c.VCF");
    std::sort(both.begin() + 1, both.end());
    EXPECT_EQ(both, (Names{"c.VCF", ".vcf", "a.vcf", "b.c.vcf"}));
}

TEST_F(FolderScanTest, SubFoldersAreScannedOnlyWhenAskedAndNeverListed) {
    Touch("top.vmg");
    Touch("cards.vmg/inner.vmg");
    Touch("a/b/c/deep.vmg");
    EXPECT_EQ(Scan(Folder(), "vmg", "VMG", false), (Names{"top.vmg"}));
    EXPECT_EQ(Scan(Folder(), "vmg", "VMG", true),
              (Names{"a/b/c/deep.vmg", "cards.vmg/inner.vmg", "top.vmg"}));
}

TEST_F(FolderScanTest, ASubFoldersFilesComeWhereTheSubFolderStands) {
    Touch("a.vcf");
    Touch("sub/s1.vcf");
    Touch("sub/s2.vcf");
    Touch("z.vcf");
    const Names files = Listed(Folder(), "vcf", "VCF", true);
    ASSERT_EQ(files.size(), 4u);
    // Depth-first: the two files of sub stand next to each other, whatever the listing order.
    const auto s1 = std::find(files.begin(), files.end(), "sub/s1.vcf");
    const auto s2 = std::find(files.begin(), files.end(), "sub/s2.vcf");
    ASSERT_NE(s1, files.end());
    ASSERT_NE(s2, files.end());
    EXPECT_EQ(std::abs(s1 - s2), 1);
}

TEST_F(FolderScanTest, MissingEmptyAndTrailingSeparatorFolders) {
    Touch("sub/x.vmg");
    // The run checks its folders before a scan; a missing one lists nothing all the same.
    EXPECT_EQ(Scan(Folder("/absent"), "vmg", "VMG", true), Names{});
    // A folder without matching files gives nothing either.
    EXPECT_EQ(Scan(Folder(), "vcf", "VCF", true), Names{});
    // "dir/" is the folder dir, and its paths have no doubled separator.
    EXPECT_EQ(Scan(Folder("/"), "vmg", "VMG", true), (Names{"sub/x.vmg"}));
    EXPECT_EQ(Scan(Folder("/sub//"), "vmg", "VMG", false), (Names{"sub/x.vmg"}));
}

TEST_F(FolderScanTest, AFileGivenAsTheFolderYieldsNothing) {
    Touch("x.vmg");
    EXPECT_EQ(Scan(Folder("/x.vmg"), "vmg", "VMG", true), Names{});
}

TEST_F(FolderScanTest, AppendsWithoutClearingOrRemovingDuplicates) {
    Touch("m.vmg");
    Touch("other/o.vmg");
    FileList list;
    Collect(Folder("/other").native(), list, "vmg", "VMG", false);
    Collect(Folder().native(), list, "vmg", "VMG", false);
    Collect(Folder().native(), list, "vmg", "VMG", false);
    const std::string root = Generic(Folder().native());
    EXPECT_EQ(PathsOf(list), (Names{root + "/other/o.vmg", root + "/m.vmg", root + "/m.vmg"}));
    list.Clear();
    EXPECT_EQ(list.Size(), 0u);
}

// What a list says of each file: its path, its kind and its identity as the listing gave them.
using Listing =
    std::vector<std::tuple<std::string, platform::EntryKind, std::optional<platform::FileId>>>;

void AppendListing(const FileList& list, Listing& listing) {
    platform::NativeString path;
    for (std::size_t i = 0; i < list.Size(); ++i) {
        list.PathAt(i, path);
        const ListedFile file = list.At(i);
        EXPECT_EQ(platform::NativeString(file.folder) + platform::NativeString(file.name), path);
        listing.emplace_back(Generic(path), file.kind, file.id);
    }
}

TEST_F(FolderScanTest, OneListingForTwoExtensionsGivesWhatTwoScansGive) {
    for (const char* name :
         {"a.vmg", "b.VMG", "c.Vmg", ".vmg", "vmg", "d.vmg.bak", "s/e.VMG", "s/f.vmg", "s/t/g.vmg",
          "s/t/h.VMG", "u/i.VMG", "v.vmg/j.vmg", "信息/短信.VMG", "smile-\xF0\x9F\x98\x80.vmg"}) {
        Touch(name);
    }
#ifndef _WIN32
    Touch("bad-\xFF.vmg");
    fs::create_directory_symlink(dir_ / "s", dir_ / "u" / "alias");
    fs::create_directory_symlink(dir_.Path(), dir_ / "s" / "t" / "loop");
    fs::create_symlink(dir_ / "a.vmg", dir_ / "link.VMG");
    fs::create_symlink(dir_ / "absent.vmg", dir_ / "dangling.vmg");
    ASSERT_EQ(::mkfifo((dir_ / "pipe.vmg").c_str(), 0600), 0);
#endif
    const std::pair<std::string_view, std::string_view> pairs[] = {
        {"vmg", "VMG"}, {"VMG", "vmg"}, {"vmg", "vmg"}, {"vcf", "VMG"}};
    for (const auto& [first, second] : pairs) {
        for (const bool recurse : {false, true}) {
            for (const fs::path& folder : {Folder(), Folder("/"), Folder("/absent")}) {
                FileList one;
                FileList other;
                Collect(folder.native(), one, first, kNone, recurse);
                Collect(folder.native(), other, second, kNone, recurse);
                Listing expected;
                AppendListing(one, expected);
                AppendListing(other, expected);
                FileList list;
                Collect(folder.native(), list, first, second, recurse);
                Listing listing;
                AppendListing(list, listing);
                EXPECT_EQ(listing, expected) << first << " " << second << " " << recurse;
            }
        }
    }
    // A list appends, folder after folder.
    Listing expected;
    for (const fs::path& folder : {Folder(), Folder("/s")}) {
        FileList one;
        FileList other;
        Collect(folder.native(), one, "vmg", kNone, true);
        Collect(folder.native(), other, "VMG", kNone, true);
        AppendListing(one, expected);
        AppendListing(other, expected);
    }
    FileList list;
    Collect(Folder().native(), list, "vmg", "VMG", true);
    Collect(Folder("/s").native(), list, "vmg", "VMG", true);
    Listing listing;
    AppendListing(list, listing);
    EXPECT_EQ(listing, expected);
}

#ifndef _WIN32
TEST_F(FolderScanTest, TheListTellsWhichFilesTheListingSawAsRegular) {
    Touch("plain.vmg");
    ASSERT_EQ(::mkfifo((dir_ / "pipe.vmg").c_str(), 0600), 0);
    fs::create_symlink(dir_ / "plain.vmg", dir_ / "to-plain.vmg");
    fs::create_symlink(dir_ / "pipe.vmg", dir_ / "to-pipe.vmg");
    fs::create_symlink(dir_ / "absent.vmg", dir_ / "dangling.vmg");
    FileList list;
    Collect(Folder().native(), list, "vmg", "VMG", false);
    std::map<std::string, platform::EntryKind> kinds;
    std::map<std::string, std::optional<platform::FileId>> ids;
    platform::NativeString path;
    for (std::size_t i = 0; i < list.Size(); ++i) {
        list.PathAt(i, path);
        kinds[fs::path(path).filename().string()] = list.At(i).kind;
        ids[fs::path(path).filename().string()] = list.At(i).id;
    }
    using platform::EntryKind;
    EXPECT_EQ(kinds, (std::map<std::string, EntryKind>{{"dangling.vmg", EntryKind::Unchecked},
                                                       {"pipe.vmg", EntryKind::Unchecked},
                                                       {"plain.vmg", EntryKind::RegularFile},
                                                       {"to-pipe.vmg", EntryKind::Unchecked},
                                                       {"to-plain.vmg", EntryKind::RegularFile}}));
    // A regular file has its identity, a link its target's: the run tells them apart by it.
    struct stat plain {};
    ASSERT_EQ(::stat((dir_ / "plain.vmg").c_str(), &plain), 0);
    const platform::FileId plainId{static_cast<std::uint64_t>(plain.st_dev),
                                   static_cast<std::uint64_t>(plain.st_ino)};
    EXPECT_EQ(ids["plain.vmg"], plainId);
    EXPECT_EQ(ids["to-plain.vmg"], plainId);
    EXPECT_FALSE(ids["dangling.vmg"].has_value());
}

TEST_F(FolderScanTest, EachFolderIsEnteredOnceAndBrokenLinksAreFiles) {
    Touch("real/m.vmg");
    fs::create_directory_symlink(dir_.Path(), dir_ / "real" / "loop");
    fs::create_directory_symlink(dir_ / "real", dir_ / "alias");
    fs::create_symlink(dir_ / "absent.vmg", dir_ / "dangling.vmg");
    fs::create_symlink(dir_ / "self.vmg", dir_ / "self.vmg");
    Names found = Scan(Folder(), "vmg", "VMG", true);
    // real is reached as itself and through alias, and is listed under whichever comes first;
    // the loop back to the top is cut.
    ASSERT_EQ(found.size(), 3u) << ::testing::PrintToString(found);
    EXPECT_TRUE(found[0] == "alias/m.vmg" || found[0] == "real/m.vmg") << found[0];
    found.erase(found.begin());
    EXPECT_EQ(found, (Names{"dangling.vmg", "self.vmg"}));
}
#endif

TEST_F(FolderScanTest, NamesArriveAsTheSystemSpellsThem) {
    Touch("信息/短信.vmg");
    Names expected = {"smile-\xF0\x9F\x98\x80.vmg", "信息/短信.vmg"};
#ifndef _WIN32
    Touch("bad-\xFF.vmg");  // only POSIX names can be other than Unicode
    expected.insert(expected.begin(), "bad-\xFF.vmg");
#endif
    Touch("smile-\xF0\x9F\x98\x80.vmg");
    // Nothing is left out, and nothing becomes a "?": a name the code page lacks is still read.
    EXPECT_EQ(Scan(Folder(), "vmg", "VMG", true), expected);
}

#ifndef _WIN32
TEST_F(FolderScanTest, AnUnreadableSubFolderIsPassedOver) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every folder";
    }
    Touch("ok.vmg");
    Touch("locked/hidden.vmg");
    fs::permissions(dir_ / "locked", fs::perms::none);
    EXPECT_EQ(Scan(Folder(), "vmg", "VMG", true), (Names{"ok.vmg"}));
    // Passed over, but never in silence: the report names the folder and the system's reason.
    FileList list;
    Collect(Folder().native(), list, "vmg", "VMG", true);
    ASSERT_EQ(list.Skipped().size(), 1u);
    EXPECT_EQ(list.Skipped()[0].path.filename(), "locked");
    EXPECT_EQ(list.Skipped()[0].reason, SkipReason::UnreadableFolder);
    EXPECT_EQ(list.Skipped()[0].systemError, EACCES);
}

TEST_F(FolderScanTest, PathsBeyondThePlatformLimitAreSkipped) {
    // Nested folders until the path passes PATH_MAX; relative creation keeps each call short.
    const fs::path start = fs::current_path();
    fs::current_path(dir_.Path());
    const std::string segment(200, 'd');
    std::size_t length = Folder().native().size();
    int depth = 0;
    while (length < 4200) {
        fs::create_directory(segment);
        fs::current_path(segment);
        length += segment.size() + 1;
        ++depth;
        std::ofstream("m.vmg") << "x";
    }
    fs::current_path(start);
    FileList list;
    Collect(Folder().native(), list, "vmg", "VMG", true);
    const Names files = PathsOf(list);
    EXPECT_FALSE(files.empty());
    EXPECT_LT(files.size(), static_cast<std::size_t>(depth));
    for (const auto& f : files) {
        EXPECT_LT(f.size(), 4096u);
    }
    // What lies beyond the limit is reported, once, where the path first grows too long.
    ASSERT_EQ(list.Skipped().size(), 1u);
    EXPECT_EQ(list.Skipped()[0].reason, SkipReason::PathTooLong);
    EXPECT_GE(list.Skipped()[0].path.native().size(), 4096u);
}

#endif

// Each identity is new once, the all-zero one too, past the size it was made for.
TEST(FileIdSet, EachIdentityIsNewOnce) {
    FileIdSet set(2);
    for (int round = 0; round < 2; ++round) {
        for (std::uint64_t inode = 0; inode < 100; ++inode) {
            EXPECT_EQ(set.Insert({inode % 3, inode * 4096}), round == 0) << inode;
        }
    }
}

}  // namespace
}  // namespace quillbox
