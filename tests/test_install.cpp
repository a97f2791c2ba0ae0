// The installed demo: installed into a scratch DESTDIR as `cmake --install` installs it, then run
// from an unrelated folder with no display and no sound; its desktop entry, metainfo, icons and
// manual pages checked with the desktop's own validators; its command line; and the Debian
// package CPack makes from the same rules.
#include <gtest/gtest.h>

#include <png.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <limits.h>
#include <signal.h>

#include <fstream>
#include <sstream>
#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string ReadText(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool Exists(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::string MakeScratch(const char *what)
{
    std::string pattern = std::string("/tmp/kelvo_") + what + "_XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    return mkdtemp(name.data()) ? std::string(name.data()) : std::string();
}

struct Result {
    int code = -1; // the exit code, -1 when it did not exit normally
    std::string out, err;
};

// Runs a shell command line in `folder`, capturing what it prints.
Result Shell(const std::string &folder, const std::string &command)
{
    static int runs = 0;
    std::string capture = folder + "/.run" + std::to_string(runs++);
    int status = system(("cd '" + folder + "' && ( " + command + " ) >'" + capture + ".out' 2>'" + capture + ".err'").c_str());
    Result result;
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadText(capture + ".out");
    result.err = ReadText(capture + ".err");
    remove((capture + ".out").c_str());
    remove((capture + ".err").c_str());
    return result;
}

bool Contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

double Seconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

// The install, made once for the whole suite, and a scratch folder to run from.
class Installed : public testing::Test {
protected:
    static std::string root; // DESTDIR; the prefix is /usr
    static std::string elsewhere;
    static std::string installLog;

    static void SetUpTestSuite()
    {
        root = MakeScratch("install");
        elsewhere = MakeScratch("elsewhere");
        Result install = Shell(elsewhere, "DESTDIR='" + root + "' '" KELVO_CMAKE "' --install '" KELVO_BUILD_DIR
                                        "' --prefix /usr");
        installLog = install.code == 0 ? "" : install.out + install.err;
    }
    static void TearDownTestSuite()
    {
        if (!root.empty())
            if (system(("rm -rf '" + root + "' '" + elsewhere + "'").c_str()) != 0)
                ADD_FAILURE() << "could not remove " << root;
    }
    void SetUp() override { ASSERT_EQ(installLog, "") << "the install failed"; }

    static std::string Games(const char *program) { return root + "/usr/games/" + program; }
    static std::string Share(const std::string &path) { return root + "/usr/share/" + path; }
};
std::string Installed::root, Installed::elsewhere, Installed::installLog;

// Bytes the process has read through read() so far (its data files, not its mapped libraries);
// -1 once it is gone.
long BytesRead(pid_t pid)
{
    std::string io = ReadText("/proc/" + std::to_string(pid) + "/io");
    size_t at = io.find("rchar: ");
    return at == std::string::npos ? -1 : atol(io.c_str() + at + 7);
}

TEST_F(Installed, DemoRunsFromAnUnrelatedFolderWithItsDataAndAsksNothingWhenWindowed)
{
    long dataBytes = 0;
    for (const char *file : {"bg.png", "fg.png", "kelvo.png", "music.mp3"}) {
        struct stat info;
        ASSERT_EQ(stat(Share(std::string("games/kelvo/data/") + file).c_str(), &info), 0) << file;
        dataBytes += long(info.st_size);
    }
    std::string out = elsewhere + "/demo.out", err = elsewhere + "/demo.err";
    pid_t demo = fork();
    ASSERT_GE(demo, 0);
    if (demo == 0) {
        if (chdir(elsewhere.c_str()) != 0 || !freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr))
            _exit(126);
        execl(Games("kelvo").c_str(), "kelvo", "--windowed", (char *)nullptr);
        _exit(127);
    }
    // Wait until it has read its images and music (at most a minute on a loaded machine), let it
    // draw for a second, then ask it to stop as a terminal's kill would.
    int status = 0;
    bool stillRunning = true;
    double started = Seconds();
    long read = 0;
    while ((stillRunning = waitpid(demo, &status, WNOHANG) == 0) && (read = BytesRead(demo)) < dataBytes &&
           Seconds() - started < 60)
        usleep(50000);
    char cwd[PATH_MAX] = "";
    ssize_t length = readlink(("/proc/" + std::to_string(demo) + "/cwd").c_str(), cwd, sizeof cwd - 1);
    cwd[length > 0 ? length : 0] = '\0';
    if (stillRunning) {
        usleep(1000000);
        stillRunning = waitpid(demo, &status, WNOHANG) == 0;
    }
    if (stillRunning) {
        kill(demo, SIGTERM);
        for (started = Seconds(); waitpid(demo, &status, WNOHANG) == 0; usleep(50000))
            if (Seconds() - started > 30) {
                kill(demo, SIGKILL);
                waitpid(demo, &status, 0);
                ADD_FAILURE() << "the demo did not end on SIGTERM";
            }
    }
    std::string printed = ReadText(out), said = ReadText(err);
    EXPECT_GE(read, dataBytes) << "the demo read " << read << " bytes, not its " << dataBytes << " bytes of data\n"
                               << printed << said;
    EXPECT_EQ(std::string(cwd), root + "/usr/share/games/kelvo") << "works in the installed data folder";
    EXPECT_TRUE(stillRunning) << printed << said;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "ends cleanly on SIGTERM, status " << status;
    EXPECT_FALSE(Contains(printed, "File Not Found")) << printed;
    EXPECT_FALSE(Contains(said, "no data/ folder")) << said;
    EXPECT_FALSE(Contains(said, "Start FullScreen?")) << "--windowed answers the question\n" << said;
}

// Decodes a PNG into RGB rows; empty when it cannot.
std::vector<unsigned char> DecodeRgb(const std::string &path, unsigned *width, unsigned *height)
{
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    std::vector<unsigned char> rgb;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return rgb;
    image.format = PNG_FORMAT_RGB;
    rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))
        rgb.clear();
    *width = image.width;
    *height = image.height;
    return rgb;
}

TEST_F(Installed, FrameToolDrawsThePictureFromTheInstalledData)
{
    Result run = Shell(elsewhere, "'" + Games("kelvo_frame") + "' 60000 frame60.png");
    ASSERT_EQ(run.code, 0) << run.err;
    unsigned width = 0, height = 0;
    std::vector<unsigned char> rgb = DecodeRgb(elsewhere + "/frame60.png", &width, &height);
    remove((elsewhere + "/frame60.png").c_str());
    ASSERT_EQ(width, 800u);
    ASSERT_EQ(height, 600u);
    // The band between the letterbox bars holds the night picture: dark on the whole, with
    // detail, and hardly any white. Without its images every layer would be white.
    double sum = 0;
    long white = 0, count = 0;
    for (unsigned y = 240; y < 360; y++)
        for (unsigned x = 0; x < width; x++) {
            const unsigned char *p = &rgb[(size_t(y) * width + x) * 3];
            double level = (p[0] + p[1] + p[2]) / (3 * 255.0);
            sum += level;
            white += level > 0.9;
            count++;
        }
    EXPECT_LT(sum / count, 0.5);
    EXPECT_GT(sum / count, 0.01) << "not black either";
    EXPECT_LT(white, count / 20);
    for (unsigned x = 0; x < width; x++)
        EXPECT_EQ(rgb[x * 3] + rgb[x * 3 + 1] + rgb[x * 3 + 2], 0) << "the top letterbox row is black at " << x;
}

TEST_F(Installed, DesktopEntryMetainfoAndIconsPassTheirChecks)
{
    std::string entry = Share("applications/" KELVO_APP_ID ".desktop");
    std::string metainfo = Share("metainfo/" KELVO_APP_ID ".metainfo.xml");
    Result desktop = Shell(elsewhere, "desktop-file-validate '" + entry + "'");
    EXPECT_EQ(desktop.code, 0) << desktop.out << desktop.err;
    EXPECT_EQ(desktop.out + desktop.err, "");
    // With its network checks on: every address it names must answer, so it names none that
    // is made up.
    Result appstream = Shell(elsewhere, "appstreamcli validate '" + metainfo + "'");
    EXPECT_EQ(appstream.code, 0) << appstream.out << appstream.err;

    std::string text = ReadText(entry);
    EXPECT_TRUE(Contains(text, "\nExec=/usr/games/kelvo --windowed\n")) << "the installed program, by its path\n" << text;
    EXPECT_TRUE(Contains(text, "\nIcon=kelvo\n")) << text;
    EXPECT_TRUE(Contains(text, "\nStartupWMClass=" KELVO_APP_ID "\n")) << "the window's class\n" << text;
    std::string info = ReadText(metainfo);
    EXPECT_TRUE(Contains(info, "<launchable type=\"desktop-id\">" KELVO_APP_ID ".desktop</launchable>")) << info;
    EXPECT_FALSE(Contains(info, "http")) << "no address before the project has one\n" << info;
    std::vector<const char *> programs = {"kelvo", "kelvo_frame"};
#ifdef KELVO_WITH_CAPTURE
    programs.push_back("kelvo_capture");
#endif
    for (const char *program : programs)
        EXPECT_TRUE(Contains(info, std::string("<binary>") + program + "</binary>")) << info;
    EXPECT_TRUE(Contains(info, "<release version=\"" KELVO_VERSION "\"")) << info;

    for (unsigned size : {16u, 22u, 24u, 32u, 48u, 64u, 128u, 256u}) {
        std::string name = std::to_string(size) + "x" + std::to_string(size);
        unsigned width = 0, height = 0;
        std::vector<unsigned char> rgb = DecodeRgb(Share("icons/hicolor/" + name + "/apps/kelvo.png"), &width, &height);
        EXPECT_FALSE(rgb.empty()) << name;
        EXPECT_EQ(width, size) << name;
        EXPECT_EQ(height, size) << name;
    }
}

TEST_F(Installed, ManualPagesRenderWithoutWarningsAndSayWhatTheyShould)
{
    std::vector<const char *> pages = {"kelvo", "kelvo_frame"};
#ifdef KELVO_WITH_CAPTURE
    pages.push_back("kelvo_capture");
#endif
    for (const char *page : pages) {
        Result man = Shell(elsewhere, std::string("LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l '") +
                                        Share("man/man6/") + page + ".6.gz'");
        EXPECT_EQ(man.code, 0) << page << "\n" << man.err;
        EXPECT_EQ(man.err, "") << page;
        EXPECT_TRUE(Contains(man.out, "EXIT STATUS")) << page;
        if (strcmp(page, "kelvo") != 0)
            continue;
        for (const char *topic : {"--windowed", "--fullscreen", "--data", "--version", "Escape", "F1", "KELVO_DATA_DIR",
                                  "VIEWING_GAMMA", "SDL_VIDEODRIVER", "SDL_AUDIODRIVER", "/usr/share/games/kelvo",
                                  "data/music.mp3", "kelvo_capture(6)", "kelvo_frame(6)"})
            EXPECT_TRUE(Contains(man.out, topic)) << "kelvo(6) says nothing of " << topic;
        // The exit statuses as the demo gives them: 1 when no window could be made.
        size_t status = man.out.find("EXIT STATUS");
        std::string statuses = man.out.substr(status, man.out.find("SEE ALSO") - status);
        size_t one = statuses.find("\n       1 ");
        ASSERT_NE(one, std::string::npos) << statuses;
        // Justified lines spread their spaces differently as the page above them changes.
        auto squeezed = [](std::string text) {
            text.erase(std::unique(text.begin(), text.end(), [](char a, char b) { return a == ' ' && b == ' '; }),
                       text.end());
            return text;
        };
        EXPECT_TRUE(Contains(squeezed(statuses.substr(one)), "No window could be made")) << statuses;
        EXPECT_FALSE(Contains(squeezed(statuses.substr(0, one)), "no window")) << "not status 0\n" << statuses;
    }
}

TEST_F(Installed, ProgramsTakeTheSameOptions)
{
    for (const char *program : {"kelvo", "kelvo_frame"}) {
        // The demo must never start here: a timeout would show it did.
        std::string run = "timeout 20 '" + Games(program) + "' ";
        Result help = Shell(elsewhere, run + "--help");
        EXPECT_EQ(help.code, 0) << program;
        EXPECT_TRUE(Contains(help.out, std::string("Usage: ") + program)) << help.out;
        EXPECT_TRUE(Contains(help.out, "--version")) << help.out;
        EXPECT_EQ(help.err, "") << program;
        Result version = Shell(elsewhere, run + "--version");
        EXPECT_EQ(version.code, 0);
        EXPECT_EQ(version.out, std::string(program) + " " KELVO_VERSION "\n");
        for (const char *bad : {"--bogus", "--data", "-x 0 a.png", "-- 0"}) {
            Result refused = Shell(elsewhere, run + bad);
            EXPECT_EQ(refused.code, 2) << program << " " << bad;
            EXPECT_EQ(refused.out, "") << program << " " << bad;
            EXPECT_EQ(refused.err.compare(0, strlen(program) + 2, std::string(program) + ": "), 0) << refused.err;
            EXPECT_TRUE(Contains(refused.err, std::string("Usage: ") + program)) << refused.err;
        }
    }
    EXPECT_TRUE(Contains(Shell(elsewhere, "timeout 20 '" + Games("kelvo") + "' --help").out, "--windowed"));
    for (const char *bad : {"stray", "--windowed --fullscreen", "--windowed extra"}) {
        Result refused = Shell(elsewhere, "timeout 20 '" + Games("kelvo") + "' " + bad);
        EXPECT_EQ(refused.code, 2) << bad;
        EXPECT_TRUE(Contains(refused.err, "Usage: kelvo")) << refused.err;
    }
    EXPECT_FALSE(Exists(elsewhere + "/a.png"));
}

// The Debian package, made by CPack into a scratch folder.
TEST(Package, HoldsTheProgramsDataAndDesktopFilesWithComputedDependencies)
{
    std::string out = MakeScratch("package");
    Result cpack = Shell(out, "'" KELVO_CPACK "' --config '" KELVO_BUILD_DIR "/CPackConfig.cmake' -G DEB -B '" + out + "'");
    ASSERT_EQ(cpack.code, 0) << cpack.out << cpack.err;
    Result arch = Shell(out, "dpkg --print-architecture");
    std::string deb = out + "/kelvo_" KELVO_VERSION "_" + arch.out.substr(0, arch.out.find('\n')) + ".deb";
    ASSERT_TRUE(Exists(deb)) << deb << "\n" << cpack.out;

    auto field = [&](const char *name) {
        std::string value = Shell(out, "dpkg-deb -f '" + deb + "' " + name).out;
        return value.substr(0, value.find('\n'));
    };
    EXPECT_EQ(field("Package"), "kelvo");
    EXPECT_EQ(field("Version"), KELVO_VERSION);
    EXPECT_EQ(field("Section"), "games");
    EXPECT_TRUE(Contains(field("Maintainer"), "<")) << field("Maintainer");
    EXPECT_FALSE(field("Description").empty());
    std::string description = Shell(out, "dpkg-deb -f '" + deb + "' Description").out;
    EXPECT_TRUE(Contains(description, "kelvo_frame")) << description;
#ifdef KELVO_WITH_CAPTURE
    EXPECT_TRUE(Contains(description, "kelvo_capture")) << description;
    EXPECT_TRUE(Contains(Shell(out, "dpkg-deb -c '" + deb + "'").out, "./usr/games/kelvo_capture\n"));
#endif
    std::string depends = field("Depends");
    for (const char *library : {"libc6", "libsdl2-2.0-0", "libpng16-16", "libmpg123-0", "libstdc++6", "libgl1"})
        EXPECT_TRUE(Contains(depends, library)) << "Depends: " << depends;

    std::string files = Shell(out, "dpkg-deb -c '" + deb + "'").out;
    for (const char *path : {"./usr/games/kelvo", "./usr/games/kelvo_frame", "./usr/share/games/kelvo/data/music.mp3",
                             "./usr/share/games/kelvo/data/bg.png", "./usr/share/games/kelvo/data/fg.png",
                             "./usr/share/games/kelvo/data/kelvo.png", "./usr/share/doc/kelvo/copyright",
                             "./usr/share/applications/" KELVO_APP_ID ".desktop",
                             "./usr/share/metainfo/" KELVO_APP_ID ".metainfo.xml",
                             "./usr/share/icons/hicolor/48x48/apps/kelvo.png", "./usr/share/man/man6/kelvo.6.gz"})
        EXPECT_TRUE(Contains(files, std::string(path) + "\n")) << path << " is not in the package";
    EXPECT_FALSE(Contains(files, "make_images")) << "only the programs users run are installed";
    EXPECT_FALSE(Contains(files, " ./usr/local/")) << files;

    Result copyright = Shell(out, "dpkg-deb --fsys-tarfile '" + deb + "' | tar -xO ./usr/share/doc/kelvo/copyright");
    EXPECT_EQ(copyright.out, ReadText(KELVO_LICENSE));

    Result lintian = Shell(out, "lintian -I --pedantic '" + deb + "'");
    EXPECT_FALSE(Contains("\n" + lintian.out, "\nE: ")) << lintian.out;
    // Built with Debian's hardening flags, and without the sections an installed program does
    // not need.
    for (const char *tag : {"hardening-no-bindnow", "hardening-no-fortify-functions", "binary-has-unneeded-section",
                            "hardening-no-relro"})
        EXPECT_FALSE(Contains(lintian.out, tag)) << lintian.out;
    EXPECT_EQ(system(("rm -rf '" + out + "'").c_str()), 0);
}

} // namespace
