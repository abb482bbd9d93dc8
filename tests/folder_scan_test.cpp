#include "folder_scan.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "test_files.h"

namespace quillbox {
namespace {

namespace fs = std::filesystem;
using test::Gbk;
using test::TempDir;
using test::WriteBytes;

class FolderScanTest : public ::testing::Test {
protected:
    void Touch(std::string_view relative) { WriteBytes(dir_ / relative, "x"); }

    // The names found, relative to the folder, sorted: the listing order is the platform's.
    std::vector<std::string> Scan(const std::string& folder, std::string extension, bool recurse,
                                  bool* result = nullptr) {
        std::vector<std::string> files;
        const bool found = CollectFiles(folder, files, std::move(extension), recurse);
        if (result != nullptr) {
            *result = found;
        }
        const std::string root = Slashes(dir_.Path().string()) + "/";
        for (auto& f : files) {
            f = Slashes(f);
            if (f.starts_with(root)) {
                f.erase(0, root.size());
            }
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    std::string Folder() const { return dir_.Path().string(); }

    // Paths with "/" between their parts on every platform, for comparing.
    static std::string Slashes(std::string path) {
        std::replace(path.begin(), path.end(), '\\', '/');
        return path;
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
    EXPECT_EQ(Scan(Folder(), "vcf", false), (Names{".vcf", "a.vcf", "b.c.vcf"}));
    EXPECT_EQ(Scan(Folder(), "VCF", false), (Names{"c.VCF"}));
    EXPECT_EQ(Scan(Folder(), "*", false).size(), 8u);
}

TEST_F(FolderScanTest, SubFoldersAreScannedOnlyWhenAskedAndNeverListed) {
    Touch("top.vmg");
    Touch("cards.vmg/inner.vmg");
    Touch("a/b/c/deep.vmg");
    EXPECT_EQ(Scan(Folder(), "vmg", false), (Names{"top.vmg"}));
    EXPECT_EQ(Scan(Folder(), "vmg", true),
              (Names{"a/b/c/deep.vmg", "cards.vmg/inner.vmg", "top.vmg"}));
    EXPECT_EQ(Scan(Folder(), "*", true),
              (Names{"a/b/c/deep.vmg", "cards.vmg/inner.vmg", "top.vmg"}));
}

TEST_F(FolderScanTest, ASubFoldersFilesComeWhereTheSubFolderStands) {
    Touch("a.vcf");
    Touch("sub/s1.vcf");
    Touch("sub/s2.vcf");
    Touch("z.vcf");
    std::vector<std::string> files;
    ASSERT_TRUE(CollectFiles(Folder(), files, "vcf", true));
    ASSERT_EQ(files.size(), 4u);
    // Depth-first: the two files of sub stand next to each other, whatever the listing order.
    for (auto& f : files) {
        f = Slashes(f);
    }
    const auto s1 = std::find(files.begin(), files.end(), Slashes(Folder()) + "/sub/s1.vcf");
    const auto s2 = std::find(files.begin(), files.end(), Slashes(Folder()) + "/sub/s2.vcf");
    ASSERT_NE(s1, files.end());
    ASSERT_NE(s2, files.end());
    EXPECT_EQ(std::abs(s1 - s2), 1);
}

TEST_F(FolderScanTest, MissingEmptyAndTrailingSeparatorFolders) {
    Touch("sub/x.vmg");
    bool result = true;
    EXPECT_EQ(Scan(Folder() + "/absent", "vmg", true, &result), Names{});
    EXPECT_FALSE(result);
    EXPECT_EQ(Scan("", "vmg", true, &result), Names{});
    EXPECT_FALSE(result);
    // A folder without matching files is no failure.
    EXPECT_EQ(Scan(Folder(), "vcf", true, &result), Names{});
    EXPECT_TRUE(result);
    // "dir/" is the folder dir, and its paths have no doubled separator.
    EXPECT_EQ(Scan(Folder() + "/", "vmg", true, &result), (Names{"sub/x.vmg"}));
    EXPECT_TRUE(result);
    EXPECT_EQ(Scan(Folder() + "/sub//", "vmg", false, &result), (Names{"sub/x.vmg"}));
}

TEST_F(FolderScanTest, AFileGivenAsTheFolderYieldsNothing) {
    Touch("x.vmg");
    bool result = false;
    EXPECT_EQ(Scan(Folder() + "/x.vmg", "vmg", true, &result), Names{});
    EXPECT_TRUE(result);
}

TEST_F(FolderScanTest, AppendsWithoutClearingOrRemovingDuplicates) {
    Touch("m.vmg");
    std::vector<std::string> files{"earlier"};
    CollectFiles(Folder(), files, "vmg", false);
    CollectFiles(Folder(), files, "vmg", false);
    for (auto& f : files) {
        f = Slashes(f);
    }
    const std::string m = Slashes(Folder()) + "/m.vmg";
    EXPECT_EQ(files, (Names{"earlier", m, m}));
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
    const std::pair<std::string, std::string> pairs[] = {
        {"vmg", "VMG"}, {"VMG", "vmg"}, {"vmg", "vmg"}, {"*", "vmg"}, {"vcf", "VMG"}};
    for (const auto& [first, second] : pairs) {
        for (const bool recurse : {false, true}) {
            for (const std::string& folder : {Folder(), Folder() + "/", Folder() + "/absent"}) {
                std::vector<std::string> expected;
                const bool foundFirst = CollectFiles(folder, expected, first, recurse);
                const bool foundSecond = CollectFiles(folder, expected, second, recurse);
                ASSERT_EQ(foundFirst, foundSecond);
                FileList list;
                EXPECT_EQ(CollectFiles(folder, list, first, second, recurse), foundFirst);
                std::vector<std::string> paths(list.Size());
                for (std::size_t i = 0; i < list.Size(); ++i) {
                    list.PathAt(i, paths[i]);
                }
                EXPECT_EQ(paths, expected) << first << " " << second << " " << recurse;
            }
        }
    }
    // A list appends, as CollectFiles does.
    std::vector<std::string> expected;
    for (const std::string& folder : {Folder(), Folder() + "/s"}) {
        CollectFiles(folder, expected, "vmg", true);
        CollectFiles(folder, expected, "VMG", true);
    }
    FileList list;
    CollectFiles(Folder(), list, "vmg", "VMG", true);
    CollectFiles(Folder() + "/s", list, "vmg", "VMG", true);
    std::vector<std::string> paths(list.Size());
    for (std::size_t i = 0; i < list.Size(); ++i) {
        list.PathAt(i, paths[i]);
        EXPECT_EQ(std::string(list.At(i).folder) + std::string(list.At(i).name), paths[i]);
    }
    EXPECT_EQ(paths, expected);
}

#ifndef _WIN32
TEST_F(FolderScanTest, TheListTellsWhichFilesTheListingSawAsRegular) {
    Touch("plain.vmg");
    ASSERT_EQ(::mkfifo((dir_ / "pipe.vmg").c_str(), 0600), 0);
    fs::create_symlink(dir_ / "plain.vmg", dir_ / "to-plain.vmg");
    fs::create_symlink(dir_ / "pipe.vmg", dir_ / "to-pipe.vmg");
    fs::create_symlink(dir_ / "absent.vmg", dir_ / "dangling.vmg");
    FileList list;
    ASSERT_TRUE(CollectFiles(Folder(), list, "vmg", "VMG", false));
    std::map<std::string, platform::EntryKind> kinds;
    std::string path;
    for (std::size_t i = 0; i < list.Size(); ++i) {
        list.PathAt(i, path);
        kinds[fs::path(path).filename().string()] = list.At(i).kind;
    }
    using platform::EntryKind;
    EXPECT_EQ(kinds, (std::map<std::string, EntryKind>{{"dangling.vmg", EntryKind::Unchecked},
                                                       {"pipe.vmg", EntryKind::Unchecked},
                                                       {"plain.vmg", EntryKind::RegularFile},
                                                       {"to-pipe.vmg", EntryKind::Unchecked},
                                                       {"to-plain.vmg", EntryKind::RegularFile}}));
}

TEST_F(FolderScanTest, LinksToParentsEndTheDescentAndBrokenLinksAreFiles) {
    Touch("real/m.vmg");
    fs::create_directory_symlink(dir_.Path(), dir_ / "real" / "loop");
    fs::create_directory_symlink(dir_ / "real", dir_ / "alias");
    fs::create_symlink(dir_ / "absent.vmg", dir_ / "dangling.vmg");
    fs::create_symlink(dir_ / "self.vmg", dir_ / "self.vmg");
    const Names found = Scan(Folder(), "vmg", true);
    // real/m.vmg is reached through real and through alias; the loop back to the top is cut.
    EXPECT_EQ(found, (Names{"alias/m.vmg", "dangling.vmg", "real/m.vmg", "self.vmg"}));
}
#endif

TEST_F(FolderScanTest, ChineseNamesArriveAsCodePage936AndUnconvertibleNamesAreSkipped) {
    Touch("信息/短信.vmg");
#ifndef _WIN32
    Touch("bad-\xFF.vmg");  // only POSIX names can be other than Unicode
#endif
    Touch("smile-\xF0\x9F\x98\x80.vmg");
    const Names found = Scan(Folder(), "vmg", true);
    // A name that is not UTF-8 is left out; one the code page lacks keeps the "?" it gets.
    EXPECT_EQ(found, (Names{"smile-??.vmg", Gbk("信息/短信.vmg")}));
}

#ifndef _WIN32
TEST_F(FolderScanTest, AnUnreadableSubFolderIsPassedOver) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every folder";
    }
    Touch("ok.vmg");
    Touch("locked/hidden.vmg");
    fs::permissions(dir_ / "locked", fs::perms::none);
    EXPECT_EQ(Scan(Folder(), "vmg", true), (Names{"ok.vmg"}));
}

TEST_F(FolderScanTest, PathsBeyondThePlatformLimitAreSkipped) {
    // Nested folders until the path passes PATH_MAX; relative creation keeps each call short.
    const fs::path start = fs::current_path();
    fs::current_path(dir_.Path());
    const std::string segment(200, 'd');
    std::size_t length = Folder().size();
    int depth = 0;
    while (length < 4200) {
        fs::create_directory(segment);
        fs::current_path(segment);
        length += segment.size() + 1;
        ++depth;
        std::ofstream("m.vmg") << "x";
    }
    fs::current_path(start);
    std::vector<std::string> files;
    ASSERT_TRUE(CollectFiles(Folder(), files, "vmg", true));
    EXPECT_FALSE(files.empty());
    EXPECT_LT(files.size(), static_cast<std::size_t>(depth));
    for (const auto& f : files) {
        EXPECT_LT(f.size(), 4096u);
    }
}

#endif

}  // namespace
}  // namespace quillbox
