// tessaly-print as a user runs it: the job directory it names, the movie it
// converts, two of them printing into one spool directory at once, and the
// one error line when something is wrong.

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/registry.h"
#include "support/scrambler.h"
#include "support/text.h"
#include "test_pdf.h"
#include "reachable_install.h"
#include "test_directory.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int status;
    std::string out, err;
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class PrintTool : public testing::Test {
protected:
    void SetUp() override {
        dir = tessaly::testing::freshTestDirectory("tessaly_print_");
        fs::create_directories(dir / "registry");
        // A printer of its own: nothing from the machine's value store.
        tessaly::ValueStore store((dir / "registry").string());
        EXPECT_EQ(store.writeString("BasePath", tessaly::toWide(std::string(TESSALY_SOURCE_DIR) + "/data/")),
                  tessaly::kRegistryOk);
        environment = "TESSALY_REGISTRY_ROOT=" + (dir / "registry").string() + " ";
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir / "registry", fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }

    // The command line (without the program) in the shell, with stdout and
    // stderr in files named by `tag`.
    std::string command(const std::string& args, const std::string& tag) const {
        return environment + runner + program + " " + args + " >" +
               (dir / (tag + ".out")).string() + " 2>" + (dir / (tag + ".err")).string();
    }
    Result collect(int raw, const std::string& tag) const {
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir / (tag + ".out")), slurp(dir / (tag + ".err"))};
    }
    Result run(const std::string& args) { return collect(std::system(command(args, "run").c_str()), "run"); }

    fs::path dir;
    std::string environment;
    std::string runner;  // what runs the program as another user
    std::string program = std::string(TESSALY_BIN_DIR) + "/tessaly-print";
};

// The job directory named on the first line of the output.
fs::path jobOf(const Result& r) {
    const std::string line = r.out.substr(0, r.out.find('\n'));
    return fs::path(line);
}

TEST_F(PrintTool, PrintsTheTestDocumentIntoAJobAndAMovie) {
    const fs::path spool = dir / "spool";
    // A movie setting of the printer's value store reaches the job.
    ASSERT_EQ(tessaly::ValueStore((dir / "registry").string()).writeString("MSLayoutName", u"No border"),
              tessaly::kRegistryOk);
    const Result r = run("--test-document --image --dpi 72 --spool " + spool.string() + " -o " +
                         (dir / "doc.swf").string());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    const fs::path job = jobOf(r);
    EXPECT_EQ(job.parent_path().parent_path(), spool) << r.out;
    EXPECT_EQ(slurp(job / "_status"), "end:3");
    EXPECT_NE(slurp(job / "media.settings").find("name=\"Layout\" value=\"No border\""), std::string::npos)
        << slurp(job / "media.settings");
    for (int n = 0; n < 3; ++n) EXPECT_TRUE(fs::exists(job / ("altpage" + std::to_string(n) + ".bag"))) << n;
    const std::string movie = slurp(dir / "doc.swf");
    ASSERT_GT(movie.size(), 1000u);
    EXPECT_TRUE(movie.compare(0, 3, "FWS") == 0 || movie.compare(0, 3, "CWS") == 0);
    // The machine's value store was not touched: --spool works on a copy.
    tessaly::RegistryType type;
    EXPECT_EQ(tessaly::ValueStore((dir / "registry").string()).type("SpoolPath", &type), tessaly::kRegistryNotFound);
}

TEST_F(PrintTool, TwoHostsPrintingAtOnceNeverShareAJobDirectory) {
    const fs::path spool = dir / "spool";
    const std::string args = "--test-document --vector --dpi 150 --spool " + spool.string();
    // Both start before either ends.
    const std::string both = "(" + command(args, "a") + ") & (" + command(args, "b") + ") & wait";
    ASSERT_EQ(std::system(both.c_str()), 0);
    const Result a = collect(0, "a"), b = collect(0, "b");
    EXPECT_TRUE(a.err.empty()) << a.err;
    EXPECT_TRUE(b.err.empty()) << b.err;
    const fs::path jobA = jobOf(a), jobB = jobOf(b);
    ASSERT_FALSE(jobA.empty());
    ASSERT_FALSE(jobB.empty());
    EXPECT_NE(jobA, jobB);
    EXPECT_EQ(slurp(jobA / "_status"), "end:3");
    EXPECT_EQ(slurp(jobB / "_status"), "end:3");
    size_t jobs = 0;
    for (const auto& entry : fs::directory_iterator(spool)) jobs += entry.is_directory();
    EXPECT_EQ(jobs, 2u);
}

TEST_F(PrintTool, FailuresGiveOneErrorLine) {
    std::ofstream(dir / "bad.txt") << "page\nrect 1 2 three 4\n";
    struct Case {
        std::string args;
        std::string says;
    };
    const Case cases[] = {
        {"--test-document --driver " + (dir / "missing.so").string(), "cannot load the library"},
        {"--test-document --driver /etc/passwd", "cannot load the library"},
        {"--test-document --paper A6", "unknown paper 'A6'"},
        {"--test-document --paper 0x5mm", "bad paper size"},
        {"--test-document --dpi 0", "bad resolution"},
        {"--script " + (dir / "bad.txt").string(), "line 2: expected a number, found 'three'"},
        {"--script " + (dir / "none.txt").string(), "cannot read the script"},
    };
    for (const Case& c : cases) {
        const Result r = run(c.args);
        EXPECT_NE(r.status, 0) << c.args;
        EXPECT_EQ(r.err.rfind("tessaly-print: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

TEST_F(PrintTool, PrintsAPdfIntoAMovieBesideIt) {
    // A Letter page and an A5 landscape one; the job is kept to look at.
    std::ofstream(dir / "two.pdf", std::ios::binary)
        << tessaly::testing::makePdf({{612, 792, "1 0 0 rg 72 72 200 100 re f"},
                                      {595, 420, "0 0 1 RG 3 w 50 50 m 500 300 l S"}});
    const Result r = run((dir / "two.pdf").string() + " --dpi 72 --vector --keep-job " + (dir / "job").string());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, (dir / "two.swf").string() + "\n");
    EXPECT_TRUE(r.err.empty()) << r.err;
    const std::string movie = slurp(dir / "two.swf");
    EXPECT_TRUE(movie.compare(0, 3, "FWS") == 0 || movie.compare(0, 3, "CWS") == 0);
    EXPECT_EQ(slurp(dir / "job" / "_status"), "end:2");

    const Result one = run((dir / "two.pdf").string() + " --pages 2 --dpi 72 -o " + (dir / "one.swf").string());
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_TRUE(fs::exists(dir / "one.swf"));

    // On a terminal (script gives it one) the pages printed and converted
    // show; elsewhere (above) nothing but the movie's path.
    if (fs::exists("/usr/bin/script")) {
        const std::string line = environment + "/usr/bin/script -qec '" + std::string(TESSALY_BIN_DIR) +
                                 "/tessaly-print " + (dir / "two.pdf").string() + " --dpi 72 -o " +
                                 (dir / "tty.swf").string() + "' /dev/null >" + (dir / "tty.out").string();
        ASSERT_EQ(std::system(line.c_str()), 0);
        const std::string shown = slurp(dir / "tty.out");
        for (const char* text : {"printing page 1 of 2", "printing page 2 of 2", "converting 2 pages", "tty.swf"})
            EXPECT_NE(shown.find(text), std::string::npos) << text << " in " << shown;
    }

    // A page of a point, at 12 dpi: the paper is at least a pixel.
    std::ofstream(dir / "dot.pdf", std::ios::binary) << tessaly::testing::makePdf({{1, 1, "0 g 0 0 1 1 re f"}});
    const Result dot = run((dir / "dot.pdf").string() + " --dpi 12");
    EXPECT_EQ(dot.status, 0) << dot.err;
    EXPECT_TRUE(fs::exists(dir / "dot.swf"));
}

TEST_F(PrintTool, PdfFailuresGiveOneErrorLineAndNoMovie) {
    std::ofstream(dir / "junk.pdf") << "this is not a PDF at all";
    std::ofstream(dir / "ok.pdf", std::ios::binary) << tessaly::testing::makePdf({{100, 100, "0 g"}});
    const std::string locked = (dir / "locked.pdf").string();
    fs::copy_file(std::string(TESSALY_SOURCE_DIR) + "/fuzz/corpus/fuzz_print_pdf/encrypted-secret.pdf", locked);
    fs::create_directories(dir / "tmp");
    environment += "TMPDIR=" + (dir / "tmp").string() + " ";
    struct Case {
        std::string args;
        std::string says;
    };
    const Case cases[] = {
        {(dir / "missing.pdf").string(), "cannot open " + (dir / "missing.pdf").string()},
        {(dir / "junk.pdf").string(), "junk.pdf is damaged or not a PDF"},
        {(dir / "ok.pdf").string() + " --pages 2-3", "goes outside the document's 1 pages"},
        {(dir / "ok.pdf").string() + " -o " + (dir / "no" / "such" / "dir.swf").string(),
         "cannot write " + (dir / "no" / "such" / "dir.swf").string() + ": No such file or directory"},
        {"--test-document --pages 1", "go with a PDF"},
        {locked, "locked.pdf is encrypted: it needs a password"},
        {locked + " --password guess", "locked.pdf is encrypted and the password is wrong"},
        {(dir / "ok.pdf").string() + " --interface fancy", "unknown interface 'fancy' ("},
        {(dir / "ok.pdf").string() + " --layout Frilly", "unknown page layout 'Frilly' ("},
        {(dir / "ok.pdf").string() + " --html " + (dir / "ok").string() + " --template Frilly.htm",
         "cannot read the HTML template " + std::string(TESSALY_SOURCE_DIR) + "/data/HTML Template/Frilly.htm"},
        {(dir / "ok.pdf").string() + " --html " + (dir / "ok").string() + " --template " + (dir / "junk.pdf").string(),
         "junk.pdf is not an HTML template"},
        {(dir / "ok.pdf").string() + " --template Centered.htm", "--template goes with --html"},
    };
    for (const Case& c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.err.rfind("tessaly-print: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_FALSE(fs::exists(dir / "junk.swf"));
    EXPECT_FALSE(fs::exists(dir / "ok.swf"));
    EXPECT_FALSE(fs::exists(dir / "ok.htm"));
    // Nothing of the failed runs stays in the temporary folder.
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));
}

TEST_F(PrintTool, PdfIntoAnHtmlPageWithItsMovie) {
    std::ofstream(dir / "p.pdf", std::ios::binary) << tessaly::testing::makePdf({{612, 792, "0 g 72 72 100 100 re f"}});
    std::ofstream(dir / "t.htm") << "{FlashMovie} {DocWidth}x{DocHeight} {BackgroundColor} {FlashPopup} [{FlashSAlign}]";
    tessaly::ValueStore store((dir / "registry").string());
    ASSERT_EQ(store.writeDword("PrinterShowFlashPopup", 0), tessaly::kRegistryOk);
    ASSERT_EQ(store.writeDword("PrinterFlashAlign", 2), tessaly::kRegistryOk);
    fs::create_directories(dir / "out");
    const std::string pdf = (dir / "p.pdf").string() + " --dpi 72 --interface none ";
    Result r = run(pdf + "--html " + (dir / "out" / "page").string() + " --template " + (dir / "t.htm").string());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, (dir / "out" / "page.htm").string() + "\n");
    EXPECT_EQ(slurp(dir / "out" / "page.htm"), "page.swf 30x39 #eeeeee false [B]");
    const std::string movie = slurp(dir / "out" / "page.swf");
    EXPECT_TRUE(movie.compare(0, 3, "FWS") == 0 || movie.compare(0, 3, "CWS") == 0);
    // With -o the movie is made there and copied beside the page, which the
    // installed default template plays.
    r = run(pdf + "-o " + (dir / "m.swf").string() + " --html " + (dir / "out" / "two.html").string());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(dir / "out" / "two.swf"), slurp(dir / "m.swf"));
    EXPECT_NE(slurp(dir / "out" / "two.html").find("data-movie=\"two.swf\""), std::string::npos);

    // A page that cannot be written (a folder has its name) fails with one
    // line, and the movie copied for it goes away again.
    fs::create_directories(dir / "out" / "three.htm");
    r = run(pdf + "--html " + (dir / "out" / "three.htm").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("tessaly-print: Tessaly Error: Could not save the HTML file", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(fs::exists(dir / "out" / "three.swf"));
}

// The job's markup, unscrambled.
std::string markupOf(const fs::path& job) {
    std::string markup = slurp(job / "media.mml");
    (void)tessaly::unscramble(reinterpret_cast<uint8_t*>(markup.data()), markup.size(), tessaly::jobKey());
    return markup;
}

TEST_F(PrintTool, PdfsTakeTheInterfaceLayoutAndRasterSettings) {
    std::ofstream(dir / "p.pdf", std::ios::binary)
        << tessaly::testing::makePdf({{100, 80, "1 0 0 rg 10 10 50 50 re f"}});
    const std::string pdf = (dir / "p.pdf").string() + " --dpi 72 ";
    // The interface and layout asked for reach the job and the movie.
    Result r = run(pdf + "--interface simple --layout \"No border\" --keep-job " + (dir / "a").string());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string settings = slurp(dir / "a" / "media.settings");
    EXPECT_NE(settings.find("value=\"No border\""), std::string::npos) << settings;
    EXPECT_NE(settings.find("simple"), std::string::npos) << settings;
    const std::string withInterface = slurp(dir / "p.swf");
    r = run(pdf + "--interface none -o " + (dir / "plain.swf").string());
    ASSERT_EQ(r.status, 0) << r.err;
    // The interface's parameters lead the movie (both uncompressed here).
    const std::string plain = slurp(dir / "plain.swf");
    ASSERT_EQ(withInterface.compare(0, 3, "FWS"), 0);
    ASSERT_EQ(plain.compare(0, 3, "FWS"), 0);
    EXPECT_NE(withInterface.find("movieTitle"), std::string::npos);
    EXPECT_EQ(plain.find("movieTitle"), std::string::npos);

    // Image mechanics: the page is a page image (no shapes); previews: a
    // raster beside the vector page; neither: the vector page alone.
    r = run(pdf + "--image --keep-job " + (dir / "image").string());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "image" / "altpage0.bag"));
    EXPECT_EQ(markupOf(dir / "image").find("<Shape>"), std::string::npos);
    // A printer whose store names no interface prints into the installed
    // viewer, which makes the movie compressed; one that names none (an
    // empty name) gets none.
    EXPECT_NE(slurp(dir / "image" / "media.settings").find("<Interface src=\"Viewer.swf\""), std::string::npos);
    EXPECT_EQ(slurp(dir / "p.swf").compare(0, 3, "CWS"), 0);
    tessaly::ValueStore store((dir / "registry").string());
    ASSERT_EQ(store.writeString("MSInterfaceName", u""), tessaly::kRegistryOk);
    r = run(pdf + "--keep-job " + (dir / "bare").string());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(dir / "bare" / "media.settings").find("<Interface"), std::string::npos);
    EXPECT_EQ(slurp(dir / "p.swf").compare(0, 3, "FWS"), 0);
    for (const uint32_t flags : {0x106u, 0x002u}) {
        ASSERT_EQ(store.writeDword("MSEncodeFlags", flags), tessaly::kRegistryOk);
        const fs::path job = dir / ("flags" + std::to_string(flags));
        r = run(pdf + "--keep-job " + job.string() + " -o " + (dir / "v.swf").string());
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(markupOf(job).find("<Shape>"), std::string::npos);
        EXPECT_EQ(fs::exists(job / "altpage0.bag"), flags == 0x106u) << flags;
        EXPECT_TRUE(fs::exists(dir / "v.swf"));
    }
}

// A user who cannot write the installation's values prints with the values
// they see (their own over the installation's, without those they deleted),
// and the one-shot values the driver consumes are consumed from their view.
TEST_F(PrintTool, AUserWhoCannotWriteTheStorePrintsWithTheirOwnValues) {
    const fs::path home = dir / "home";
    const fs::path layer = home / "layer";
    const fs::path registry = dir / "registry";
    fs::create_directories(home / "spool");
    tessaly::ValueStore installed(registry.string());
    ASSERT_EQ(installed.writeString("MSNextOutputLocation", u"/nowhere/stale.swf"), tessaly::kRegistryOk);
    ASSERT_EQ(installed.writeDword("MSNextOutputFlags", 0x101), tessaly::kRegistryOk);
    tessaly::ValueStore mine(registry.string(), layer.string());
    ASSERT_EQ(mine.writeString("MSLayoutName", u"No border"), tessaly::kRegistryOk);
    ASSERT_EQ(mine.deleteValue("MSNextOutputLocation"), tessaly::kRegistryOk);
    ASSERT_EQ(mine.deleteValue("MSNextOutputFlags"), tessaly::kRegistryOk);

    // The administrator's own writes would go to the root: run as nobody.
    uid_t uid = 0;
    gid_t gid = 0;
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody) GTEST_SKIP() << "no user 'nobody' to run as";
        uid = nobody->pw_uid;
        gid = nobody->pw_gid;
        runner = "setpriv --reuid=" + std::to_string(uid) + " --regid=" + std::to_string(gid) + " --clear-groups ";
        // The build tree may be out of that user's reach: an installed copy.
        const tessaly::testing::ReachableInstall& reachable = tessaly::testing::reachableInstall();
        ASSERT_FALSE(reachable.bin.empty()) << reachable.error;
        program = (reachable.bin / "tessaly-print").string();
        ASSERT_EQ(installed.writeString("BasePath", tessaly::toWide(reachable.data.string())), tessaly::kRegistryOk);
    } else {
        fs::permissions(registry, fs::perms::owner_write, fs::perm_options::remove);
    }
    const auto giveHomeAway = [&] {
        if (runner.empty()) return;
        ASSERT_EQ(::chown(home.c_str(), uid, gid), 0);
        for (const auto& entry : fs::recursive_directory_iterator(home)) {
            ASSERT_EQ(::lchown(entry.path().c_str(), uid, gid), 0) << entry.path();
        }
    };
    giveHomeAway();
    environment += "TESSALY_REGISTRY_USER_ROOT=" + layer.string() + " ";

    const std::string args = "--test-document --dpi 72 --spool " + (home / "spool").string() + " -o ";
    Result r = run(args + (home / "first.swf").string());
    ASSERT_EQ(r.status, 0) << r.err;
    std::string settings = slurp(jobOf(r) / "media.settings");
    EXPECT_NE(settings.find("name=\"Layout\" value=\"No border\""), std::string::npos) << settings;
    EXPECT_EQ(settings.find("stale.swf"), std::string::npos) << settings;

    ASSERT_EQ(mine.writeString("MSNextOutputLocation", tessaly::toWide((home / "auto.swf").string())),
              tessaly::kRegistryOk);
    ASSERT_EQ(mine.writeDword("MSNextOutputFlags", 0x101), tessaly::kRegistryOk);
    giveHomeAway();
    r = run(args + (home / "second.swf").string());
    ASSERT_EQ(r.status, 0) << r.err;
    settings = slurp(jobOf(r) / "media.settings");
    EXPECT_NE(settings.find("auto.swf"), std::string::npos) << settings;
    tessaly::RegistryType type;
    EXPECT_EQ(mine.type("MSNextOutputLocation", &type), tessaly::kRegistryNotFound);
    EXPECT_EQ(mine.type("MSNextOutputFlags", &type), tessaly::kRegistryNotFound);
    // The installation's values are as it left them.
    std::u16string text;
    EXPECT_EQ(installed.readString("MSNextOutputLocation", &text), tessaly::kRegistryOk);
    EXPECT_EQ(text, u"/nowhere/stale.swf");
    EXPECT_EQ(installed.type("MSLayoutName", &type), tessaly::kRegistryNotFound);
}

}  // namespace
