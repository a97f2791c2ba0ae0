// The frame tool, run as a program in a folder holding copies of the demo's data. A short test
// MP3 stands in for the music: a seek past its end still moves the clock there.
#include <gtest/gtest.h>

#include <png.h>

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/test_files.h"

namespace {

bool ReadWhole(const std::string &path, std::vector<unsigned char> *bytes)
{
    bytes->clear();
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    unsigned char block[65536];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0)
        bytes->insert(bytes->end(), block, block + got);
    fclose(file);
    return true;
}

bool CopyFile(const std::string &from, const std::string &to)
{
    std::vector<unsigned char> bytes;
    if (!ReadWhole(from, &bytes))
        return false;
    FILE *file = fopen(to.c_str(), "wb");
    if (!file)
        return false;
    bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

bool Exists(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// A fresh folder with data/ holding the three images and, when asked, a music file.
class FrameTool : public testing::Test {
protected:
    std::string folder;
    std::vector<std::string> made;

    void SetUp() override
    {
        char name[] = "/tmp/kelvo_frame_XXXXXX";
        ASSERT_TRUE(mkdtemp(name));
        folder = name;
        ASSERT_EQ(mkdir((folder + "/data").c_str(), 0700), 0);
        for (const char *image : {"bg.png", "fg.png", "kelvo.png"})
            ASSERT_TRUE(Keep(CopyFile(std::string(KELVO_DATA) + "/" + image, folder + "/data/" + image), "data/" + std::string(image)));
    }
    void TearDown() override
    {
        for (const std::string &file : made)
            remove((folder + "/" + file).c_str());
        rmdir((folder + "/data").c_str());
        rmdir(folder.c_str());
    }

    // Notes a file under the folder for removal; passes `ok` through.
    bool Keep(bool ok, const std::string &file)
    {
        made.push_back(file);
        return ok;
    }

    std::string errors;  // what the last run printed on standard error

    bool AddMusic()
    {
        return Keep(CopyFile(std::string(KELVO_TEST_DATA) + "/stereo44_tag.mp3", folder + "/data/music.mp3"), "data/music.mp3");
    }

    // Runs the tool in the folder with the arguments (outputs are named relative to it);
    // its exit code, or -1 when it did not exit normally.
    int Run(const std::vector<std::string> &arguments)
    {
        std::string command = "cd '" + folder + "' && '" KELVO_FRAME_TOOL "'";
        for (const std::string &argument : arguments) {
            command += " '" + argument + "'";
            if (argument.size() > 4 && argument.compare(argument.size() - 4, 4, ".png") == 0)
                made.push_back(argument);
        }
        const std::string errorFile = folder + "/errors.txt";
        command += " >/dev/null 2>'" + errorFile + "'";
        int status = system(command.c_str());
        std::vector<unsigned char> said;
        ReadWhole(errorFile, &said);
        errors.assign(said.begin(), said.end());
        remove(errorFile.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::vector<unsigned char> Bytes(const std::string &file)
    {
        std::vector<unsigned char> bytes;
        EXPECT_TRUE(ReadWhole(folder + "/" + file, &bytes)) << file;
        return bytes;
    }
};

// Decodes a frame to RGB rows, top first; empty when it is not an 800 x 600 PNG.
std::vector<unsigned char> DecodeFrame(const std::vector<unsigned char> &png)
{
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    std::vector<unsigned char> rgb;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size()))
        return rgb;
    image.format = PNG_FORMAT_RGB;
    if (image.width == 800 && image.height == 600) {
        rgb.resize(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))
            rgb.clear();
    }
    png_image_free(&image);
    return rgb;
}

TEST_F(FrameTool, AClockGivesTheSameBytesOnEveryRunWithBlackLetterboxRows)
{
    ASSERT_TRUE(AddMusic());
    ASSERT_EQ(Run({"100000", "a.png", "100000", "b.png", "0", "zero.png"}), 0);
    ASSERT_EQ(Run({"100000", "c.png"}), 0);
    const std::vector<unsigned char> a = Bytes("a.png");
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == Bytes("b.png")) << "twice in one run";
    EXPECT_TRUE(a == Bytes("c.png")) << "in another run";
    EXPECT_FALSE(a == Bytes("zero.png")) << "the seek moved the picture";

    const std::vector<unsigned char> rgb = DecodeFrame(a);
    ASSERT_EQ(rgb.size(), 800u * 600u * 3u);
    int lit = 0, bandPeak = 0;
    for (int row = 0; row < 600; row++)
        for (int x = 0; x < 800; x++)
            for (int c = 0; c < 3; c++) {
                int value = rgb[(size_t(row) * 800 + size_t(x)) * 3 + size_t(c)];
                if (row < 225 || row >= 375)
                    lit += value != 0;
                else
                    bandPeak = std::max(bandPeak, value);
            }
    EXPECT_EQ(lit, 0) << "letterbox rows 0 to 224 and 375 to 599 are black";
    EXPECT_GE(bandPeak, 200) << "the band between them shows the scene";
}

TEST_F(FrameTool, WithoutMusicOnlyClockZeroCanBeDrawn)
{
    EXPECT_EQ(Run({"0", "zero.png"}), 0);
    EXPECT_EQ(DecodeFrame(Bytes("zero.png")).size(), 800u * 600u * 3u);
    // The tool's own name on the line, and no advice about keys it does not have.
    EXPECT_EQ(errors, "kelvo_frame: data/music.mp3: missing; without the music the picture stands still at 0 s\n");
    EXPECT_EQ(Run({"0", "first.png", "5000", "later.png"}), 1);
    EXPECT_FALSE(Exists(folder + "/first.png")) << "refused before anything is written";
    EXPECT_FALSE(Exists(folder + "/later.png"));
}

TEST_F(FrameTool, PipesInPlaceOfTheImageAndTheMusicAreRefusedAndTheFrameDrawn)
{
    ASSERT_EQ(remove((folder + "/data/bg.png").c_str()), 0);
    StuckPipe image(folder + "/data/bg.png", 20);
    StuckPipe track(folder + "/data/music.mp3", 20);
    ASSERT_TRUE(image.made() && track.made());
    EXPECT_EQ(Run({"0", "zero.png"}), 0);
    EXPECT_EQ(DecodeFrame(Bytes("zero.png")).size(), 800u * 600u * 3u);
    EXPECT_FALSE(image.released()) << "the image's open waited for a writer";
    EXPECT_FALSE(track.released()) << "the music's open waited for a writer";
}

TEST_F(FrameTool, BadArgumentsAreRefusedWithNothingWritten)
{
    ASSERT_TRUE(AddMusic());
    const std::vector<std::vector<std::string>> cases = {
        {}, {"0"}, {"0", "a.png", "100"}, {"12x", "a.png"}, {"-5", "a.png"}, {"", "a.png"},
        {"16777217", "a.png"}, {"0", ""}, {"0", "ok.png", "0x10", "a.png"},
    };
    for (const std::vector<std::string> &arguments : cases) {
        std::string shown;
        for (const std::string &argument : arguments)
            shown += "'" + argument + "' ";
        EXPECT_EQ(Run(arguments), 2) << shown;
    }
    EXPECT_FALSE(Exists(folder + "/a.png"));
    EXPECT_FALSE(Exists(folder + "/ok.png"));
    EXPECT_EQ(Run({"0", "missing/a.png"}), 1) << "an output that cannot be written";
    EXPECT_EQ(errors, "kelvo_frame: " + folder + "/missing/a.png: cannot be written: No such file or directory\n");
    EXPECT_EQ(Run({"0", "missing/a\nb\033[2J.png"}), 1);
    EXPECT_EQ(errors, "kelvo_frame: " + folder + "/missing/a\\nb\\x1b[2J.png: cannot be written: No such file or "
                      "directory\n");
    EXPECT_EQ(Run({"1\n2", "a.png"}), 2);
    EXPECT_EQ(errors.find("1\n2"), std::string::npos) << errors;
}

} // namespace
