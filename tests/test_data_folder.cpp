// Finding data/ from any working directory: the order of the folders tried, the move into the
// first that holds data/, and what is said when the chosen one or all of them lack it.
#include <gtest/gtest.h>

#include "platform/data_folder.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string Here()
{
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? buffer : "";
}

// A scratch tree: root/work (the working directory), root/chosen, root/tree/build/kelvo (the
// executable), and the installed data folder as seen from root/tree/build; data/ folders are
// made per test.
class DataFolder : public testing::Test {
protected:
    std::string start, root, work, chosen, tree, build, installed, executable;
    std::vector<std::string> made; // folders, removed deepest first

    void SetUp() override
    {
        start = Here();
        char name[] = "/tmp/kelvo_data_folder_XXXXXX";
        ASSERT_TRUE(mkdtemp(name));
        root = name;
        work = root + "/work";
        chosen = root + "/chosen";
        tree = root + "/tree";
        build = tree + "/build";
        executable = build + "/kelvo";
        for (const std::string &folder : {work, chosen, tree, build})
            Make(folder);
        ASSERT_EQ(chdir(work.c_str()), 0);
        unsetenv("KELVO_DATA_DIR");
        installed = DataFolderCandidates(nullptr, executable).at(2);
    }
    void TearDown() override
    {
        EXPECT_EQ(chdir(start.c_str()), 0);
        unsetenv("KELVO_DATA_DIR");
        for (auto folder = made.rbegin(); folder != made.rend(); ++folder)
            rmdir(folder->c_str());
        rmdir(root.c_str());
    }
    // Makes a folder and the missing ones above it inside the tree.
    void Make(const std::string &folder)
    {
        if (folder.size() > root.size() && mkdir(folder.c_str(), 0700) != 0) {
            Make(folder.substr(0, folder.rfind('/')));
            ASSERT_EQ(mkdir(folder.c_str(), 0700), 0) << folder;
        }
        made.push_back(folder);
    }
    void GiveData(const std::string &folder) { Make(folder + "/data"); }

    // EnterDataFolder with the working directory reset to work; where it went and what it said.
    bool Enter(const char *choice, std::string *went, std::string *said)
    {
        EXPECT_EQ(chdir(work.c_str()), 0);
        testing::internal::CaptureStderr();
        bool found = EnterDataFolder("kelvo", choice, executable);
        *said = testing::internal::GetCapturedStderr();
        *went = Here();
        return found;
    }
};

TEST_F(DataFolder, CandidatesComeInOrderNormalisedAndOnce)
{
    std::vector<std::string> expected = {chosen, work, tree, installed, root};
    EXPECT_EQ(DataFolderCandidates("../chosen/./x/..//", executable), expected) << "relative to the working directory";
    EXPECT_TRUE(installed.size() > tree.size() + 1 && installed.compare(0, tree.size() + 1, tree + "/") == 0)
        << "installed data lies beside the programs' folder: " << installed;

    setenv("KELVO_DATA_DIR", chosen.c_str(), 1);
    EXPECT_EQ(DataFolderCandidates("", executable), expected) << "the environment stands in for --data";
    EXPECT_EQ(DataFolderCandidates(work.c_str(), executable).front(), work) << "--data wins over the environment";
    unsetenv("KELVO_DATA_DIR");

    // Run from inside the tree: the working directory and the folder above the program coincide.
    ASSERT_EQ(chdir(tree.c_str()), 0);
    EXPECT_EQ(DataFolderCandidates(nullptr, executable), (std::vector<std::string>{tree, installed, root}));
    EXPECT_EQ(DataFolderCandidates(nullptr, ""), (std::vector<std::string>{tree})) << "no executable known";
    std::vector<std::string> atRoot = DataFolderCandidates(nullptr, "/kelvo");
    ASSERT_EQ(atRoot.size(), 3u) << "the folders above the root are the root, once";
    EXPECT_EQ(atRoot[1], "/");
    EXPECT_EQ(atRoot[2].compare(0, 1, "/"), 0);
    EXPECT_EQ(atRoot[2].find(".."), std::string::npos) << atRoot[2];
}

TEST_F(DataFolder, EntersTheFirstFolderThatHoldsData)
{
    std::string went, said;
    GiveData(root);
    EXPECT_TRUE(Enter(nullptr, &went, &said));
    EXPECT_EQ(went, root) << "two above the program, the last resort";
    GiveData(installed);
    EXPECT_TRUE(Enter(nullptr, &went, &said));
    EXPECT_EQ(went, installed);
    GiveData(tree);
    EXPECT_TRUE(Enter(nullptr, &went, &said));
    EXPECT_EQ(went, tree) << "the source tree above build/";
    GiveData(work);
    EXPECT_TRUE(Enter(nullptr, &went, &said));
    EXPECT_EQ(went, work);
    GiveData(chosen);
    EXPECT_TRUE(Enter(chosen.c_str(), &went, &said));
    EXPECT_EQ(went, chosen) << "an explicit choice wins over the working directory";
    EXPECT_EQ(said, "");
}

TEST_F(DataFolder, AChosenFolderWithoutDataIsNamedAndTheSearchGoesOn)
{
    GiveData(tree);
    std::string went, said;
    EXPECT_TRUE(Enter(chosen.c_str(), &went, &said));
    EXPECT_EQ(went, tree);
    EXPECT_EQ(said, "kelvo: --data " + chosen + " has no data/ folder; looking elsewhere\n");

    setenv("KELVO_DATA_DIR", (root + "/missing").c_str(), 1);
    EXPECT_TRUE(Enter(nullptr, &went, &said));
    EXPECT_EQ(said, "kelvo: KELVO_DATA_DIR " + root + "/missing has no data/ folder; looking elsewhere\n");

    // A file named data is not a data folder.
    FILE *file = fopen((chosen + "/data").c_str(), "w");
    ASSERT_TRUE(file);
    fclose(file);
    EXPECT_TRUE(Enter(chosen.c_str(), &went, &said));
    EXPECT_EQ(went, tree);
    remove((chosen + "/data").c_str());
}

TEST_F(DataFolder, NoneHoldingDataLeavesTheWorkingDirectoryAndNamesEveryFolderTried)
{
    std::string went, said;
    EXPECT_FALSE(Enter(chosen.c_str(), &went, &said));
    EXPECT_EQ(went, work);
    std::string list = chosen + ", " + work + ", " + tree + ", " + installed + ", " + root;
    EXPECT_NE(said.find("kelvo: no data/ folder found in " + list + " (use --data DIR or KELVO_DATA_DIR)\n"),
              std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 2) << said;
}

TEST_F(DataFolder, OutputPathsAreTakenFromWhereTheProgramStarted)
{
    EXPECT_EQ(AbsoluteFromWorkingDirectory("out/a.png"), work + "/out/a.png");
    EXPECT_EQ(AbsoluteFromWorkingDirectory("/abs/a.png"), "/abs/a.png");
    EXPECT_EQ(AbsoluteFromWorkingDirectory(""), "");
}

TEST_F(DataFolder, AProgramInItsBuildFolderFallsBackOnItsSourceTreeAndAnInstalledOneNever)
{
    // The source tree comes after every other folder, for a program anywhere under the build
    // folder, however deep; a program beside it but outside does not get it.
    const std::string built = std::string(KELVO_BUILD_TREE) + "/some/deep/folder/kelvo_frame";
    std::vector<std::string> fromBuild = DataFolderCandidates(nullptr, built);
    ASSERT_FALSE(fromBuild.empty());
    EXPECT_EQ(fromBuild.back(), KELVO_SOURCE_TREE);
    EXPECT_EQ(std::count(fromBuild.begin(), fromBuild.end(), std::string(KELVO_SOURCE_TREE)), 1);

    std::vector<std::string> outside = DataFolderCandidates(nullptr, std::string(KELVO_BUILD_TREE) + "-copy/deep/er/kelvo");
    EXPECT_EQ(std::count(outside.begin(), outside.end(), std::string(KELVO_SOURCE_TREE)), 0)
        << "a folder whose name only starts like the build folder's is not inside it";
    std::vector<std::string> installedOne = DataFolderCandidates(nullptr, executable);
    EXPECT_EQ(std::count(installedOne.begin(), installedOne.end(), std::string(KELVO_SOURCE_TREE)), 0);

    // Run from elsewhere with no data beside the program, it enters the source tree.
    executable = built;
    std::string went, said;
    EXPECT_TRUE(Enter(nullptr, &went, &said)) << said;
    EXPECT_EQ(went, KELVO_SOURCE_TREE);
}

} // namespace
