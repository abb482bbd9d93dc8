// SPDX-License-Identifier: MIT
// Archive folders (--split): the pages and attachments of each kind of input, the names of
// pages and media, and a folder replaced only whole and only where Quillbox wrote it.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "iphone_store_files.h"
#include "order/media_store.h"
#include "order/sha256.h"
#include "platform/platform.h"
#include "quillbox/text.h"
#include "run_fixture.h"
#include "test_files.h"
#include "write/folder_pages.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quillbox {
namespace {

namespace fs = std::filesystem;
using namespace std::literals;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

std::string Base64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = 0;
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        for (std::size_t j = 0; j < 3; ++j) {
            group = group << 8 | (j < n ? static_cast<unsigned char>(bytes[i + j]) : 0u);
        }
        for (std::size_t j = 0; j < 4; ++j) {
            out.push_back(j <= n ? kAlphabet[(group >> (18 - 6 * j)) & 0x3F] : '=');
        }
    }
    return out;
}

// A path below root named in UTF-8 (the report's names), on every system.
fs::path Below(const fs::path& root, std::string_view utf8) {
    return root / fs::path(std::u8string(utf8.begin(), utf8.end()));
}

// Pictures of our own: the marks of their kinds, then bytes of no meaning.
const std::string kPng = "\x89PNG\r\n\x1A\na red square"s;
const std::string kJpeg =
    "\xFF\xD8\xFF\xE0"
    "a blue circle"s;

TEST(Sha256, KnownDigestsInPiecesOfAnySize) {
    const std::pair<std::string, std::string_view> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000, 'a'),
         "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3"},
    };
    for (const auto& [text, digest] : cases) {
        for (const std::size_t piece : {text.size() + 1, std::size_t{1}, std::size_t{63}}) {
            Sha256 hash;
            for (std::size_t at = 0; at < text.size(); at += piece) {
                hash.Add(std::string_view(text).substr(at, piece));
            }
            EXPECT_EQ(HexDigest(hash.Finish(), 32), digest) << text.size() << " by " << piece;
        }
    }
}

// Only what a browser shows or plays as the file it is, or opens as a document; anything that
// would run, or render as a page, is .bin whatever its type says.
TEST(MediaExtension, ByTheFirstBytesThenByTheType) {
    const std::string iso =
        "\0\0\0\x18"
        "ftyp"s;
    struct Case {
        std::string head;
        std::string_view type;
        std::string_view extension;
    };
    const Case cases[] = {
        {kJpeg, "image/jpeg", ".jpg"},
        {kJpeg, "application/octet-stream", ".jpg"},
        {kPng, "image/jpeg", ".png"},
        {"GIF89a...", "", ".gif"},
        {"RIFF\x10\0\0\0WEBPVP8 "s, "image/webp", ".webp"},
        {iso + "heic", "image/heic", ".heic"},
        {iso + "mif1", "", ".heic"},
        {iso + "isom", "video/mp4", ".mp4"},
        {iso + "3gp5", "video/3gpp", ".3gp"},
        {iso + "M4A ", "", ".m4a"},
        {iso + "mp42", "audio/mp4", ".m4a"},
        {"#!AMR\n", "audio/amr", ".amr"},
        {"%PDF-1.7", "", ".pdf"},
        {"\xEF\xBB\xBF BEGIN:VCARD\r\n", "", ".vcf"},
        {"N:Li", "Text/X-vCard; charset=utf-8", ".vcf"},
        {"hello", "text/plain", ".txt"},
        {"<html><script>", "text/html", ".bin"},
        {"<svg onload=x>", "image/svg+xml", ".bin"},
        {"MZ\x90", "application/x-msdownload", ".bin"},
        {"\x4C\0\0\0"s, "application/x-ms-shortcut", ".bin"},
        {"not a jpeg", "image/jpeg", ".bin"},
        {"", "", ".bin"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MediaExtension(c.head, c.type), c.extension) << c.head << " " << c.type;
    }
}

TEST(ConversationFile, NamesThatEveryFileSystemTakes) {
    const std::pair<std::string, std::string_view> cases[] = {
        {"张三", "conversations/0007-张三.html"},
        {"a/b\\c:d*e?f\"g<h>i|j", "conversations/0007-a_b_c_d_e_f_g_h_i_j.html"},
        {"..", "conversations/0007.html"},
        {"../../etc", "conversations/0007-etc.html"},
        {"CON", "conversations/0007-CON.html"},
        {"Tab\tand\u202Eright", "conversations/0007-Tab_and_right.html"},
        {"", "conversations/0007.html"},
        {"100% #1", "conversations/0007-100_1.html"},
    };
    for (const auto& [name, file] : cases) {
        EXPECT_EQ(ConversationFile(7, name, ".html"), file) << name;
    }
    // A long name is cut at a character's end; names that differ only in case stay apart by
    // their numbers.
    const std::string longName =
        ConversationFile(1, std::string(100, 'x') + std::string(80, 'y'), ".txt");
    EXPECT_LE(longName.size(), std::string_view("conversations/0001-.txt").size() + 60);
    const std::string wide =
        ConversationFile(1, std::string(250 / 3, 'a') + "张三李四王五", ".txt");
    EXPECT_TRUE(WidenUtf8(wide)) << wide;
    EXPECT_NE(ConversationFile(1, "Alice", ".txt"), ConversationFile(2, "ALICE", ".txt"));
    EXPECT_EQ(ConversationFile(12345, "x", ".txt"), "conversations/12345-x.txt");
}

class ArchiveFolderRun : public test::RunFixture {
protected:
    ArchiveRequest Split(bool html = true) const {
        ArchiveRequest request = Request();
        request.input = InputFormat::Modern;
        request.split = true;
        request.form = html ? ArchiveForm::ModernPage : ArchiveForm::Text;
        request.encoding = html ? ArchiveEncoding::Utf8 : ArchiveEncoding::Gbk;
        request.timeZone = "Asia/Shanghai";
        return request;
    }
    // Runs the request, which must write its folder; every file in it below the folder.
    std::set<std::string> Folder(const ArchiveRequest& request) {
        EXPECT_TRUE(Run(request)) << DescribeFailure(report_.failure);
        return Files(request.output);
    }
    static std::set<std::string> Files(const fs::path& root) {
        std::set<std::string> files;
        if (fs::exists(root)) {
            for (const auto& entry : fs::recursive_directory_iterator(root)) {
                if (entry.is_regular_file()) {
                    const std::u8string name =
                        entry.path().lexically_relative(root).generic_u8string();
                    files.insert(std::string(name.begin(), name.end()));
                }
            }
        }
        return files;
    }
    std::string Page(std::string_view name) const { return ReadBytes(Below(Output(), name)); }
    // The one page whose name holds the text.
    std::string PageOf(std::string_view text) const {
        for (const std::string& page : report_.folder->pages) {
            if (page.find(text) != std::string::npos) {
                return Page(page);
            }
        }
        ADD_FAILURE() << "no page of " << text;
        return {};
    }
};

std::string Mms(std::string_view address, std::string_view box, std::string_view parts,
                std::string_view addrs, int second) {
    return "<mms date=\"17000000" + std::to_string(10 + second) + "000\" msg_box=\"" +
           std::string(box) + "\" address=\"" + std::string(address) + "\"><parts>" +
           std::string(parts) + "</parts><addrs>" + std::string(addrs) + "</addrs></mms>\n";
}

std::string Part(std::string_view type, std::string_view name, std::string_view data,
                 bool withData = true) {
    return "<part seq=\"1\" ct=\"" + std::string(type) + "\" name=\"" + std::string(name) + "\"" +
           (withData ? " data=\"" + std::string(data) + "\"" : std::string()) + " />";
}

TEST_F(ArchiveFolderRun, AnAndroidBackupWithAGroupAndPictures) {
    const std::string me = "<addr address=\"insert-address-token\" type=\"151\" />";
    const std::string fromWang = "<addr address=\"13900000001\" type=\"137\" />" + me;
    const std::string group = "<addr address=\"13900000002\" type=\"137\" />" + me +
                              "<addr address=\"13900000001\" type=\"151\" />";
    WriteBytes(Messages() / "sms.xml",
               "<?xml version='1.0' encoding='UTF-8'?>\n<smses count=\"5\">\n"
               "<sms address=\"13900000001\" date=\"1700000000000\" type=\"1\" body=\"你好\" "
               "contact_name=\"王五\" />\n"
               "<sms address=\"13900000001\" date=\"1700000001000\" type=\"2\" body=\"在吗\" />\n" +
                   Mms("13900000001", "1",
                       "<part seq=\"0\" ct=\"text/plain\" text=\"看这张\" />" +
                           Part("image/png", "IMG_1.png", Base64(kPng)),
                       fromWang, 0) +
                   Mms("13900000001~13900000002", "1",
                       Part("image/png", "again.png", Base64(kPng)) +
                           Part("image/jpeg", "lost.jpg", "", false) +
                           Part("image/jpeg", "cut.jpg", Base64(kJpeg).substr(0, 5) + "!"),
                       group, 1) +
                   "</smses>\n");
    const ArchiveRequest request = Split();
    const std::set<std::string> files = Folder(request);

    // One picture sent twice is one file, named by its bytes with the extension they show.
    ASSERT_EQ(report_.folder->media.size(), 1u);
    const std::string picture = report_.folder->media[0];
    EXPECT_EQ(picture.size(), std::string_view("media/.png").size() + 32) << picture;
    EXPECT_TRUE(picture.ends_with(".png")) << picture;
    EXPECT_EQ(ReadBytes(Below(Output(), picture)), kPng);
    const std::set<std::string> expected = {".quillbox-archive", "index.html",
                                            "conversations/0001-王五、13900000002.html",
                                            "conversations/0002-王五.html", picture};
    EXPECT_EQ(files, expected);

    // The missing and the damaged attachment are skips of their message; its lines stay.
    EXPECT_EQ(test::SkipsOf(report_.messages),
              (std::vector<test::Skip>{{"sms.xml", SkipReason::AttachmentMissing, 3, 1},
                                       {"sms.xml", SkipReason::AttachmentDamaged, 3, 1}}));
    EXPECT_EQ(report_.messages.read, 4u);
    const std::string image = "<img src=\"../" + picture + "\" alt=\"[图片：";
    const std::string wang = PageOf("王五.html");
    EXPECT_NE(wang.find("<p class=\"t\">看这张</p><div class=\"media\"><a href=\"../" + picture +
                        "\">" + image + "IMG_1.png]\""),
              std::string::npos)
        << wang;
    EXPECT_NE(wang.find("<article class=\"s msg out\"><div class=\"bubble\"><p class=\"t\">在吗"),
              std::string::npos);
    const std::string chat = PageOf("13900000002.html");
    EXPECT_NE(chat.find(image + "again.png]\""), std::string::npos) << chat;
    EXPECT_NE(chat.find("<p class=\"who\"><bdi>13900000002</bdi></p>"), std::string::npos);
    EXPECT_NE(chat.find("<p class=\"t\">[图片：lost.jpg]\n[图片：cut.jpg]</p>"), std::string::npos);

    // The report lists the pages and the media.
    EXPECT_NE(ReportAsJson(report_).find("\"pages\": [\"index.html\", "
                                         "\"conversations/0001-王五、13900000002.html\", "
                                         "\"conversations/0002-王五.html\"], \"media\": [\"" +
                                         picture + "\"]"),
              std::string::npos)
        << ReportAsJson(report_);
    // The index links each page, newest first; the marker lists everything written.
    const std::string index = Page("index.html");
    EXPECT_LT(index.find("conversations/0001-%E7%8E%8B%E4%BA%94%E3%80%8113900000002.html"),
              index.find("conversations/0002-%E7%8E%8B%E4%BA%94.html"));
    const std::string marker = Page(".quillbox-archive");
    for (const std::string& file : files) {
        EXPECT_TRUE(file == ".quillbox-archive" ||
                    marker.find("\n" + file + "\n") != std::string::npos)
            << file;
    }
}

TEST_F(ArchiveFolderRun, AnIphoneBackupAndABareStoreWithTheirAttachments) {
    using test::MessageStoreFile;
    using test::Row;
    // A backup: the store and one picture under the names its manifest gives them; a second
    // attachment is listed but not in the backup.
    const fs::path backup = Messages() / "00008030-001A";
    const std::string smsId = "aa" + std::string(38, '1');
    const std::string pictureId = "bb" + std::string(38, '2');
    fs::create_directories(backup / "aa");
    fs::create_directories(backup / "bb");
    test::WriteManifest(
        backup,
        {{smsId, "HomeDomain", "Library/SMS/sms.db"},
         {pictureId, "MediaDomain", "Library/SMS/Attachments/ab/12/X/IMG_1.JPG"},
         {"cc" + std::string(38, '3'), "MediaDomain", "Library/SMS/Attachments/ab/12/X/gone.png"}});
    WriteBytes(backup / "bb" / pictureId, kJpeg);
    {
        MessageStoreFile store(backup / "aa" / smsId, test::Ios::V17);
        const auto zhang = store.Handle("+8613900000001");
        store.Attach(store.Message(Row(zhang).Text("\xEF\xBF\xBC看")), "IMG_1.JPG", "image/jpeg");
        store.Attach(store.Message(Row(zhang).FromMe().At(test::kMay1 + 60)), "gone.png",
                     "image/png");
    }
    // A store as Library/SMS holds it, with its attachments beside it; one names a path that
    // climbs out of the folder, which is never read.
    const fs::path bare = Messages() / "Library" / "SMS";
    fs::create_directories(bare / "Attachments" / "ab" / "12" / "X");
    WriteBytes(bare / "Attachments" / "ab" / "12" / "X" / "IMG_2.JPG", kJpeg);
    WriteBytes(Messages() / "Library" / "secret.png", kPng);
    {
        MessageStoreFile store(bare / "sms.db", test::Ios::V17);
        const auto li = store.Handle("13900000002");
        store.Attach(store.Message(Row(li).Text("same picture")), "IMG_2.JPG", "image/jpeg");
        store.Attach(store.Message(Row(li).At(test::kMay1 + 1)), "../../../secret.png",
                     "image/png");
    }
    ArchiveRequest request = Split();
    request.recurseMessages = true;
    Folder(request);

    // The same bytes from the backup and from beside the store are one file.
    ASSERT_EQ(report_.folder->media.size(), 1u);
    EXPECT_TRUE(report_.folder->media[0].ends_with(".jpg"));
    EXPECT_EQ(ReadBytes(Below(Output(), report_.folder->media[0])), kJpeg);
    std::vector<test::Skip> skips = test::SkipsOf(report_.messages);
    EXPECT_EQ(skips, (std::vector<test::Skip>{{"Manifest.db", SkipReason::AttachmentMissing, 1, 1},
                                              {"sms.db", SkipReason::AttachmentMissing, 1, 1}}));
    const std::string zhang = PageOf("13900000001");
    EXPECT_NE(
        zhang.find("<img src=\"../" + report_.folder->media[0] + "\" alt=\"[图片：IMG_1.JPG]\""),
        std::string::npos)
        << zhang;
    EXPECT_NE(zhang.find("<p class=\"t\">看</p>"), std::string::npos);
    EXPECT_NE(zhang.find("<p class=\"t\">[图片：gone.png]</p>"), std::string::npos);
    EXPECT_NE(PageOf("13900000002").find("<p class=\"t\">[图片：../../../secret.png]</p>"),
              std::string::npos);
}

// Classic files and today's, as text pages in the archive's encoding.
TEST_F(ArchiveFolderRun, TextPagesInTheArchivesEncoding) {
    test::WriteMessage(Messages() / "1.vmg", "+8613900000001", "18.03.2009 10:15:30", "晚上好");
    test::WriteMessage(Messages() / "2.vmg", "13900000001", "17.03.2009 09:00:00", "早上好");
    test::WriteMessage(Messages() / "3.vmg", "10086", "01.02.2009 08:00:00", "话费");
    WriteBytes(Cards() / "z.vcf",
               test::Gbk("BEGIN:VCARD\r\nN:张三\r\nTEL:13900000001\r\nEND:VCARD\r\n"));
    ArchiveRequest request = Split(false);
    request.input = InputFormat::Classic;
    EXPECT_EQ(Folder(request), (std::set<std::string>{".quillbox-archive", "index.txt",
                                                      "conversations/0001-张三.txt",
                                                      "conversations/0002-10086.txt"}));
    const std::string zhang = test::Convert(PageOf("张三"), "GBK", "UTF-8");
    // A conversation reads oldest first.
    EXPECT_LT(zhang.find("早上好"), zhang.find("晚上好")) << zhang;
    EXPECT_NE(zhang.find("发信人：张三"), std::string::npos);
    EXPECT_NE(test::Convert(Page("index.txt"), "GBK", "UTF-8").find("conversations/0002-10086.txt"),
              std::string::npos);
    // The same files read as today's exports, in UTF-8: one party's messages either way.
    request.input = InputFormat::Modern;
    request.encoding = ArchiveEncoding::Utf8;
    Folder(request);
    EXPECT_NE(test::WithoutIsolates(PageOf("张三")).find("联系人：张三"), std::string::npos);
    EXPECT_EQ(report_.messages.read, 3u);
}

TEST_F(ArchiveFolderRun, ReplacesOnlyAFolderItWrote) {
    test::WriteMessage(Messages() / "1.vmg", "10086", "18.03.2009 10:15:30", "one");
    ArchiveRequest request = Split();
    request.input = InputFormat::Classic;
    // An empty folder is taken, as a folder chooser gives one.
    fs::create_directories(Output());
    const std::set<std::string> first = Folder(request);
    // A second run replaces the folder whole: a page only the first had goes.
    test::WriteMessage(Messages() / "1.vmg", "10010", "18.03.2009 10:15:30", "two");
    const std::set<std::string> second = Folder(request);
    EXPECT_TRUE(first.contains("conversations/0001-10086.html"));
    EXPECT_FALSE(second.contains("conversations/0001-10086.html"));
    EXPECT_TRUE(second.contains("conversations/0001-10010.html"));
    EXPECT_EQ(Files(dir_.Path()).size(), second.size() + 1) << "a leftover beside the folder";

    // A file of the user's in it: the old folder is kept aside, whole, and the report says where.
    WriteBytes(Output() / "notes.txt", "mine");
    Folder(request);
    ASSERT_FALSE(report_.folder->keptOld.empty());
    EXPECT_EQ(ReadBytes(report_.folder->keptOld / "notes.txt"), "mine");
    EXPECT_TRUE(fs::exists(report_.folder->keptOld / "conversations/0001-10010.html"));
    fs::remove_all(report_.folder->keptOld);

    // What Quillbox did not write is never replaced: nothing is touched.
    struct Refused {
        const char* what;
        std::function<void(const fs::path&)> make;
    };
    const Refused refused[] = {
        {"a folder of the user's", [](const fs::path& p) { WriteBytes(p / "a.txt", "a"); }},
        {"a file", [](const fs::path& p) { WriteBytes(p, "a file"); }},
        {"a marker that is no marker",
         [](const fs::path& p) { WriteBytes(p / ".quillbox-archive", "Not ours\nx\n"); }},
    };
    for (const Refused& r : refused) {
        TempDir place;
        request.output = place / "out";
        if (std::string_view(r.what) != "a file") {
            fs::create_directories(request.output);
        }
        r.make(request.output);
        const std::set<std::string> before = Files(place.Path());
        EXPECT_FALSE(Run(request)) << r.what;
        EXPECT_EQ(report_.failure.stage, RunFailure::Stage::OutputNotArchiveFolder) << r.what;
        EXPECT_EQ(Files(place.Path()), before) << r.what;
        EXPECT_EQ(fs::directory_iterator(place.Path())->path().filename(), "out") << r.what;
    }
#ifndef _WIN32
    // Links are never followed: neither one at the path nor one inside an old folder.
    TempDir place;
    fs::create_directories(place / "target");
    WriteBytes(place / "target" / "keep.txt", "keep");
    fs::create_directory_symlink(place / "target", place / "link");
    request.output = place / "link";
    EXPECT_FALSE(Run(request));
    request.output = place / "out";
    Folder(request);
    fs::create_directory_symlink(place / "target", place / "out" / "media" / "link");
    Folder(request);
    EXPECT_FALSE(report_.folder->keptOld.empty());
    EXPECT_EQ(ReadBytes(place / "target" / "keep.txt"), "keep");
#endif
}

TEST_F(ArchiveFolderRun, RefusesAFolderInsideAnInputOrHoldingOne) {
    test::WriteMessage(Messages() / "1.vmg", "10086", "18.03.2009 10:15:30", "one");
    struct Case {
        const char* what;
        fs::path output;
        fs::path report;
        RunFailure::Stage stage;
    };
    const Case cases[] = {
        {"in the message folder", Messages() / "out", {}, RunFailure::Stage::OutputInsideInput},
        {"deep in the card folder", Cards() / "a" / "b", {}, RunFailure::Stage::OutputInsideInput},
        {"the message folder itself", Messages(), {}, RunFailure::Stage::OutputInsideInput},
        {"holding both folders", dir_.Path(), {}, RunFailure::Stage::InputInsideOutput},
        {"a report in it, the folder there", Output(), Output() / "r.json",
         RunFailure::Stage::ReportInArchiveFolder},
        {"a report in it, the folder not yet there", dir_ / "new", dir_ / "new" / "r.json",
         RunFailure::Stage::ReportInArchiveFolder},
    };
    fs::create_directories(Output());
    for (const Case& c : cases) {
        ArchiveRequest request = Split();
        request.input = InputFormat::Classic;
        request.output = c.output;
        request.report = c.report;
        const std::set<std::string> before = Files(dir_.Path());
        EXPECT_FALSE(Run(request)) << c.what;
        EXPECT_EQ(report_.failure.stage, c.stage)
            << c.what << ": " << DescribeFailure(report_.failure);
        EXPECT_EQ(Files(dir_.Path()), before) << c.what;
    }
#ifndef _WIN32
    // Through a link: the folder the link names is the one that counts.
    fs::create_directory_symlink(Messages(), dir_ / "alias");
    ArchiveRequest request = Split();
    request.output = dir_ / "alias" / "out";
    EXPECT_FALSE(Run(request));
    EXPECT_EQ(report_.failure.stage, RunFailure::Stage::OutputInsideInput);
#endif
}

#ifndef _WIN32
// A folder replaced by a program killed between its steps: the name holds the old folder or the
// new one, each whole, and beside it lies at most the other one.
TEST(ArchiveFolder, AKillBetweenTheStepsLeavesAFolderWhole) {
    using Step = platform::ArchiveFolder::Step;
    const auto build = [](const fs::path& output, std::string_view text, Step killAt, bool kill) {
        platform::ArchiveFolder folder;
        platform::NewFile page;
        if (!folder.Open(output) ||
            !page.Create(platform::NativeString(folder.Path()) + "index.html") ||
            !page.Write(text) || !page.Close() || !folder.Finish({"index.html"})) {
            return false;
        }
        folder.SetStepHook([=](Step step) {
            if (kill && step == killAt) {
                ::raise(SIGKILL);
            }
        });
        return folder.Replace();
    };
    for (const Step step : {Step::NewIn, Step::OldAside, Step::OldRemoved}) {
        TempDir dir;
        ASSERT_TRUE(build(dir / "out", "old", step, false));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            build(dir / "out", "new", step, true);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << static_cast<int>(step);
        std::vector<std::string> beside;
        for (const auto& entry : fs::directory_iterator(dir.Path())) {
            if (entry.path().filename() != "out") {
                beside.push_back(ReadBytes(entry.path() / "index.html"));
            }
        }
        const std::string inPlace = ReadBytes(dir / "out" / "index.html");
        EXPECT_TRUE(inPlace == "new" || inPlace == "old") << inPlace;
        EXPECT_LE(beside.size(), 1u) << static_cast<int>(step);
        if (step != Step::OldRemoved) {
            EXPECT_TRUE(inPlace == "old" || beside == std::vector<std::string>{"old"})
                << static_cast<int>(step);
        }
    }
}
#endif

}  // namespace
}  // namespace quillbox
