// Tests of the alias store.

#include "engine/Aliases.h"

#include <gtest/gtest.h>

#include "base/EngineError.h"
#include "support/TempDir.h"

using tessel::engine::AliasStore;
using tessel::engine::EngineError;
using tessel::engine::kSampleAliasName;
using tessel::test::ScopedUserDirs;
using tessel::test::WriteBytes;

namespace {

std::vector<std::string> Params(const AliasStore& store, const std::string& name) {
    return store.AliasParams(name);
}

}  // namespace

TEST(Aliases, StandardAliasParametersStartWithPathAndLeaveOutType) {
    ScopedUserDirs dirs;
    std::filesystem::create_directories(dirs.ConfigDir());
    WriteBytes(AliasStore::DefaultFileName(),
               "[Books]\nDEFAULT DRIVER=DBASE\nTYPE=standard\nENABLE BCD=FALSE\nPATH=/data/books\n"
               "[Remote]\nTYPE=SERVER\nSERVER NAME=host:db\nUSER NAME=sa\n");
    const AliasStore store;
    EXPECT_EQ(Params(store, "Books"),
              (std::vector<std::string>{"PATH=/data/books", "DEFAULT DRIVER=DBASE", "ENABLE BCD=FALSE"}));
    EXPECT_EQ(Params(store, "remote"), (std::vector<std::string>{"SERVER NAME=host:db", "USER NAME=sa"}));
    EXPECT_EQ(store.DefaultDriver("BOOKS"), "DBASE");
    EXPECT_EQ(store.AliasNames(), (std::vector<std::string>{"Books", "Remote", kSampleAliasName}));
}

TEST(Aliases, LookupCutsTheNameTo31Characters) {
    ScopedUserDirs dirs;
    std::filesystem::create_directories(dirs.ConfigDir());
    const std::string name31(31, 'A');
    WriteBytes(AliasStore::DefaultFileName(), "[" + name31 + "]\nPATH=/d\n");
    const AliasStore store;
    EXPECT_EQ(Params(store, name31 + "XYZ").front(), "PATH=/d");
}

TEST(Aliases, UnknownNamesFailWithEntries) {
    ScopedUserDirs dirs;
    const AliasStore store;
    for (const char* name : {"", "T", "TESSEL_SAMPLE", "nope"}) {
        try {
            store.AliasParams(name);
            FAIL() << "no failure for '" << name << "'";
        } catch (const EngineError& e) {
            ASSERT_FALSE(e.Entries().empty());
            EXPECT_EQ(e.Entries().front().code, tessel::engine::errc::kUnknownAlias);
        }
    }
}

TEST(Aliases, MalformedLinesAreSkippedAndTheRestLoads) {
    ScopedUserDirs dirs;
    std::filesystem::create_directories(dirs.ConfigDir());
    WriteBytes(AliasStore::DefaultFileName(),
               "[Good]\nPATH=/g\nthis is not a setting\n[NoPath]\nTYPE=STANDARD\n"
               "[" +
                   std::string(40, 'L') + "]\nPATH=/l\n[Also Good]\nPATH=/a\n");
    const AliasStore store;
    EXPECT_EQ(store.AliasNames(), (std::vector<std::string>{"Good", "Also Good", kSampleAliasName}));
    ASSERT_EQ(store.SkippedLines().size(), 3u);
    EXPECT_EQ(store.SkippedLines()[0], "line 3: this is not a setting");
}

TEST(Aliases, AddValidatesAndPersistsAndRemoveTakesItAway) {
    ScopedUserDirs dirs;
    const std::string dataDir = dirs.Root().Path();
    {
        AliasStore store;
        store.AddAlias("Shop", dataDir + "/./", "dbase");
        EXPECT_THROW(store.AddAlias("shop", dataDir), EngineError);  // taken, any case
        EXPECT_THROW(store.AddAlias(std::string(32, 'x'), dataDir), EngineError);
        EXPECT_THROW(store.AddAlias("a=b", dataDir), EngineError);
        EXPECT_THROW(store.AddAlias("Missing", dataDir + "/no/such/dir"), EngineError);
        EXPECT_THROW(store.AddAlias("Odd", dataDir, "ORACLE"), EngineError);
        EXPECT_THROW(store.AddAlias(kSampleAliasName, dataDir), EngineError);
        EXPECT_NO_THROW(store.AddAlias(std::string(31, 'x'), dataDir));
    }
    AliasStore reread;
    EXPECT_EQ(reread.AliasParams("SHOP").front(), "PATH=" + dataDir);
    EXPECT_EQ(reread.DefaultDriver("Shop"), "DBASE");
    reread.RemoveAlias("shop");
    EXPECT_FALSE(AliasStore().AliasExists("Shop"));
    EXPECT_THROW(reread.RemoveAlias("Shop"), EngineError);
    EXPECT_THROW(reread.RemoveAlias(kSampleAliasName), EngineError);
}

TEST(Aliases, SampleAliasPointsAtAWritablePerUserFolder) {
    ScopedUserDirs dirs;
    const AliasStore store;
    const auto params = store.AliasParams(kSampleAliasName);
    EXPECT_EQ(params.front(), "PATH=" + dirs.DataDir() + "/samples");
    EXPECT_TRUE(std::filesystem::is_directory(dirs.DataDir() + "/samples"));
}
