// Opening data files: a regular file, a link to one or a folder opens; a pipe, a socket or a
// device is refused at once, by name, without waiting for a writer.
#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

#include "platform/data_file.h"
#include "tests/test_files.h"

namespace {

class DataFile : public testing::Test {
protected:
    std::string folder;

    void SetUp() override
    {
        char name[] = "/tmp/kelvo_data_file_XXXXXX";
        ASSERT_TRUE(mkdtemp(name));
        folder = name;
    }
    void TearDown() override
    {
        std::string command = "rm -rf '" + folder + "'";
        EXPECT_EQ(system(command.c_str()), 0);
    }
    std::string Path(const char *name) const { return folder + "/" + name; }
};

TEST_F(DataFile, RegularFilesLinksAndFoldersOpen)
{
    FILE *out = fopen(Path("file").c_str(), "wb");
    ASSERT_TRUE(out);
    fputs("kelvo", out);
    fclose(out);
    ASSERT_EQ(symlink("file", Path("link").c_str()), 0);
    ASSERT_EQ(mkdir(Path("folder").c_str(), 0700), 0);

    for (const char *name : {"file", "link"}) {
        const char *refusal = "unset";
        FILE *file = OpenDataFile(Path(name).c_str(), &refusal);
        ASSERT_TRUE(file) << name;
        EXPECT_EQ(refusal, nullptr);
        char text[8] = {};
        EXPECT_EQ(fread(text, 1, sizeof text, file), 5u) << "reads block again after the open: " << name;
        EXPECT_STREQ(text, "kelvo");
        fclose(file);
        EXPECT_EQ(NotADataFile(Path(name).c_str()), nullptr);
    }
    const char *refusal = "unset";
    FILE *folderFile = OpenDataFile(Path("folder").c_str(), &refusal);
    ASSERT_TRUE(folderFile) << "a folder opens; its reads fail, as its callers expect";
    EXPECT_EQ(refusal, nullptr);
    fclose(folderFile);

    refusal = "unset";
    EXPECT_EQ(OpenDataFile(Path("missing").c_str(), &refusal), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(refusal, nullptr) << "a missing file is the open's to report";
    EXPECT_EQ(NotADataFile(Path("missing").c_str()), nullptr);
}

TEST_F(DataFile, PipesSocketsAndDevicesAreRefusedWithoutWaiting)
{
    StuckPipe pipe(Path("pipe"), 5);
    ASSERT_TRUE(pipe.made());
    ASSERT_EQ(symlink("pipe", Path("link-to-pipe").c_str()), 0);
    const int server = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(server, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", Path("socket").c_str());
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(listen(server, 1), 0);

    const struct {
        std::string path;
        const char *what;
    } cases[] = {
        {Path("pipe"), "a pipe, not a file"},
        {Path("link-to-pipe"), "a pipe, not a file"},
        {Path("socket"), "a socket, not a file"},
        {"/dev/null", "a device, not a file"},
    };
    for (const auto &c : cases) {
        const char *refusal = nullptr;
        FILE *file = OpenDataFile(c.path.c_str(), &refusal);
        EXPECT_EQ(file, nullptr) << c.path;
        if (file)
            fclose(file);
        EXPECT_STREQ(refusal ? refusal : "(none)", c.what) << c.path;
        const char *seen = NotADataFile(c.path.c_str());
        EXPECT_STREQ(seen ? seen : "(none)", c.what) << c.path;
    }
    EXPECT_FALSE(pipe.released()) << "the open waited for a writer";
    close(server);
}

} // namespace
