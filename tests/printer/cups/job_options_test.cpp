// The backend's reading of what a job brings: its options, its title, the
// PPD the queue offers and the user's spool directory.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cups_backend/job_options.h"
#include "cups_backend/user_spool.h"
#include "pagesmith/printer_devmode.h"
#include <set>

namespace fs = std::filesystem;
using tessaly::cups::documentName;
using tessaly::cups::mapOptions;
using tessaly::cups::parseOptions;

namespace {

using Options = std::vector<std::pair<std::string, std::string>>;

TEST(JobOptions, SplitsAsCupsWritesThem) {
    EXPECT_EQ(parseOptions("media=A4 landscape nocollate job-uuid=urn:uuid:1"),
              (Options{{"media", "A4"}, {"landscape", "true"}, {"collate", "false"}, {"job-uuid", "urn:uuid:1"}}));
    EXPECT_EQ(parseOptions("  title='a b' x=\"c \\\" d\" y=e\\ f z={a=1 b=2}  "),
              (Options{{"title", "a b"}, {"x", "c \" d"}, {"y", "e f"}, {"z", "{a=1 b=2}"}}));
    // Unterminated quotes and a lone '=' end cleanly.
    EXPECT_EQ(parseOptions("a='open b=2"), (Options{{"a", "open b=2"}}));
    EXPECT_EQ(parseOptions("=x no"), (Options{{"no", "true"}}));
    EXPECT_TRUE(parseOptions("").empty());
    // Capped in count.
    std::string many;
    for (int i = 0; i < 1000; ++i) many += "o" + std::to_string(i) + "=1 ";
    EXPECT_EQ(parseOptions(many).size(), tessaly::cups::kMaxOptions);
}

TEST(JobOptions, MapOntoPaperOrientationAndResolution) {
    tessaly::cups::JobRequest r = mapOptions(parseOptions("media=a4 orientation-requested=4 Resolution=600dpi"));
    EXPECT_EQ(r.paperName, "A4 210 x 297 mm");
    EXPECT_TRUE(r.landscape);
    EXPECT_EQ(r.turnBack, 90);  // pdftopdf lays landscape out turned anticlockwise
    EXPECT_EQ(r.dpi, 600);
    // Every PPD keyword names its own row.
    for (const auto& row : tessaly::pagesmith::kPaperTable) {
        EXPECT_EQ(mapOptions({{"PageSize", tessaly::cups::paperKeyword(row.name)}}).paperName, row.name);
    }
    EXPECT_EQ(mapOptions({{"media", "Tray1,letter"}}).paperName, "Letter 8.5 x 11 inch");
    EXPECT_EQ(mapOptions({{"printer-resolution", "300x300dpi"}}).dpi, 300);
    EXPECT_EQ(mapOptions({{"Orientation", "Landscape"}}).landscape, true);
    EXPECT_EQ(mapOptions({{"Orientation", "Landscape"}}).turnBack, 0);
    EXPECT_EQ(mapOptions(parseOptions("orientation-requested=5")).turnBack, 270);
    EXPECT_EQ(mapOptions(parseOptions("orientation-requested=6")).turnBack, 180);
    EXPECT_FALSE(mapOptions(parseOptions("orientation-requested=6")).landscape);
    EXPECT_EQ(mapOptions(parseOptions("landscape")).turnBack, 90);
    // What the driver cannot take is left to the printer.
    r = mapOptions(parseOptions("media=na_foolscap Resolution=99999dpi printer-resolution=0dpi Resolution=12abc "
                                "orientation-requested=x"));
    EXPECT_EQ(r.paperName, "");
    EXPECT_EQ(r.dpi, 0);
    EXPECT_FALSE(r.landscape);
    EXPECT_FALSE(mapOptions(parseOptions("landscape orientation-requested=3")).landscape);
}

TEST(JobOptions, TitlesBecomeDocumentNames) {
    EXPECT_EQ(documentName("Report $(rm -rf ~) <b>&amp;</b> `id`", "x"), "Report $(rm -rf ~) <b>&amp;</b> `id`");
    EXPECT_EQ(documentName("a\nb\tc\x7f", "x"), "a b c ");
    EXPECT_EQ(documentName("caf\xc3\xa9 \xff\xc3", "x"), "caf\xc3\xa9 ??");
    EXPECT_EQ(documentName("\xed\xa0\x80", "x"), "???");  // an encoded surrogate
    EXPECT_EQ(documentName("", "Untitled"), "Untitled");
    EXPECT_EQ(documentName(" \n", "Untitled"), "Untitled");
    // Cut on a character boundary.
    EXPECT_EQ(documentName("ab\xc3\xa9", "x", 3), "ab");
    EXPECT_EQ(documentName(std::string(1000, 'a'), "x").size(), 255u);
}

TEST(JobOptions, PpdAsksForPdfAndOffersThePaperTable) {
    const std::string ppd = tessaly::cups::makePpd("Tessaly Driver");
    EXPECT_EQ(ppd.rfind("*PPD-Adobe: \"4.3\"\n", 0), 0u);
    EXPECT_NE(ppd.find("*cupsFilter2: \"application/vnd.cups-pdf application/pdf 0 -\"\n"), std::string::npos);
    EXPECT_NE(ppd.find("*NickName: \"Tessaly Driver\"\n"), std::string::npos);
    EXPECT_NE(ppd.find("*PageSize A4/A4 210 x 297 mm: \"<</PageSize[595 842]"), std::string::npos);
    EXPECT_NE(ppd.find("*PaperDimension Letter/Letter 8.5 x 11 inch: \"612 792\""), std::string::npos);
    EXPECT_NE(ppd.find("*PageSize 10x11in/10 x 11 inch:"), std::string::npos);
    EXPECT_NE(ppd.find("*Resolution 600dpi/600 dpi:"), std::string::npos);
    // Keywords are unique.
    std::set<std::string> keys;
    for (const auto& row : tessaly::pagesmith::kPaperTable) keys.insert(tessaly::cups::paperKeyword(row.name));
    EXPECT_EQ(keys.size(), tessaly::pagesmith::kPaperCount);

    // CUPS's own checker accepts the PPD the build writes.
    const std::string built = std::string(TESSALY_BIN_DIR) + "/../share/cups/Tessaly.ppd";
    if (access("/usr/bin/cupstestppd", X_OK) != 0) GTEST_SKIP() << "cupstestppd is not installed";
    EXPECT_EQ(std::system(("/usr/bin/cupstestppd -q -W none '" + built + "'").c_str()), 0);
}

class UserSpool : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tessaly-user-spool-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    std::string root_;
};

TEST_F(UserSpool, MakesAPrivateDirectoryAndRefusesImpostors) {
    std::string dir, error;
    const std::string spool = root_ + "/spool/";
    ASSERT_EQ(tessaly::cups::prepareUserSpool(spool, "alice", getuid(), getgid(), &dir, &error), 1) << error;
    EXPECT_EQ(dir, spool + "alice/");
    struct stat info {};
    ASSERT_EQ(stat(dir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(info.st_uid, getuid());
    // A loosened directory is tightened again.
    chmod(dir.c_str(), 0777);
    ASSERT_EQ(tessaly::cups::prepareUserSpool(spool, "alice", getuid(), getgid(), &dir, &error), 1);
    ASSERT_EQ(stat(dir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);

    // A link planted in the user's place, or a file, is refused.
    fs::create_directory(root_ + "/elsewhere");
    fs::create_directory_symlink(root_ + "/elsewhere", spool + "bob");
    EXPECT_EQ(tessaly::cups::prepareUserSpool(spool, "bob", getuid(), getgid(), &dir, &error), 0);
    std::ofstream(spool + "carol") << "x";
    EXPECT_EQ(tessaly::cups::prepareUserSpool(spool, "carol", getuid(), getgid(), &dir, &error), 0);
    // Someone else's directory is not taken over.
    fs::create_directory(spool + "dave");
    EXPECT_EQ(tessaly::cups::prepareUserSpool(spool, "dave", getuid() + 1, getgid(), &dir, &error), 0);
    EXPECT_NE(error.find("another user"), std::string::npos);
    // Names that would leave the spool directory.
    for (const char* name : {"..", ".", "", "a/b", "a\nb"}) {
        EXPECT_EQ(tessaly::cups::prepareUserSpool(spool, name, getuid(), getgid(), &dir, &error), 0) << name;
    }
    EXPECT_FALSE(fs::exists(root_ + "/a"));
}

}  // namespace

namespace {

TEST(JobUser, KnownUsersPrintAsThemselvesAndStrangersOnlyAsTheConfiguredAccount) {
    tessaly::cups::JobUser user;
    ASSERT_EQ(tessaly::cups::resolveJobUser("root", "", &user), 1);
    EXPECT_EQ(user.uid, 0u);
    EXPECT_EQ(user.name, "root");
    // A user the system does not know is refused unless an account is set
    // for such jobs, and that account must exist.
    EXPECT_EQ(tessaly::cups::resolveJobUser("visitor-from-elsewhere", "", &user), 0);
    EXPECT_EQ(tessaly::cups::resolveJobUser("visitor-from-elsewhere", "no-such-account-here", &user), 0);
    ASSERT_EQ(tessaly::cups::resolveJobUser("visitor-from-elsewhere", "nobody", &user), 1);
    EXPECT_EQ(user.name, "nobody");
    // Names that are no directory names are not even looked up.
    EXPECT_EQ(tessaly::cups::resolveJobUser("../root", "", &user), 0);
    EXPECT_EQ(tessaly::cups::resolveJobUser("root/x", "", &user), 0);
}

}  // namespace
