// The passwords against a real Secret Service: gnome-keyring-daemon on a private bus (run by
// with_keyring.sh), read back by secret-tool; and the same start-up with no service at all.
#include <cstdio>

#include <gtest/gtest.h>

#include "app/secret_store.h"
#include "app/settings.h"
#include "tests/platform/temp_dir.h"

namespace tw {
namespace {

using test::readFile;
using test::writeFile;

const std::string kFile =
    "[Notification]\nEmailServer=smtp.example.org:587\nEmailUserName=alice\nEmailPW=s3cret\n";

std::string secretTool(const std::string& key)
{
    std::string out;
    if (FILE* pipe = ::popen(("secret-tool lookup key " + key + " 2>/dev/null").c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        ::pclose(pipe);
    }
    return out;
}

TEST(SecretStoreKeyring, ThePasswordMovesIntoTheKeyringAndLeavesTheFile)
{
    test::TempDir dir;
    const std::string config = dir.file("Tellwick.Ini");
    writeFile(config, kFile);
    auto store = MakeDesktopSecretStore();
    ASSERT_TRUE(store->isAvailable()) << store->why();
    CSettings settings;
    settings.UseSecretStore(store.get());
    settings.Load(config, dir.path(), dir.path());
    EXPECT_TRUE(settings.passwordsInSecretStore());
    EXPECT_EQ(readFile(config),
              "[Notification]\nEmailServer=smtp.example.org:587\nEmailUserName=alice\n");
    EXPECT_EQ(secretTool("Notification/EmailPW"), "s3cret");

    CSettings next; // the next start finds it there
    next.UseSecretStore(store.get());
    next.Load(config, dir.path(), dir.path());
    EXPECT_EQ(next.EmailPW, "s3cret");
    EXPECT_TRUE(next.Save());
    EXPECT_EQ(readFile(config).find("s3cret"), std::string::npos);
}

TEST(SecretStoreNoService, WithoutASessionBusThePasswordStaysInTheFile)
{
    test::TempDir dir;
    const std::string config = dir.file("Tellwick.Ini");
    writeFile(config, kFile);
    auto store = MakeDesktopSecretStore();
    EXPECT_FALSE(store->isAvailable());
    EXPECT_FALSE(store->why().empty());
    CSettings settings;
    settings.UseSecretStore(store.get());
    settings.Load(config, dir.path(), dir.path());
    EXPECT_EQ(settings.EmailPW, "s3cret");
    EXPECT_EQ(readFile(config), kFile);
}

} // namespace
} // namespace tw
