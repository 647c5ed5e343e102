// The phone's settings file.
#include <fstream>

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "phone/phone_config.h"

namespace tw::phone {
namespace {

class PhoneConfigTest : public ::testing::Test
{
protected:
    bool load(const std::string& text)
    {
        const QString file = dir.filePath("phone.conf");
        std::ofstream(file.toStdString()) << text;
        config = {};
        error.clear();
        return loadConfig(file, &config, &error);
    }
    QTemporaryDir dir;
    PhoneConfig config;
    QString error;
};

TEST_F(PhoneConfigTest, FullFileIsRead)
{
    ASSERT_TRUE(load("[account]\nuri = sip:alice@example.org\nregistrar = sip:pbx.example.org\n"
                     "password = s3cret\ntransport = TCP\nsip_port = 5080\naudio_port = 7000\n"
                     "name = Alice Anders, Esq.\n[media]\nsound_card = false\n"
                     "local_voice = /tmp/v.wav\n[contacts]\n"
                     "bob = Bob Brown, Jr. <sip:bob@example.org>\ncarol = sip:carol@10.0.0.2\n"))
        << error.toStdString();
    EXPECT_EQ(config.sip.identity, "sip:alice@example.org");
    EXPECT_EQ(config.sip.registrar, "sip:pbx.example.org");
    EXPECT_EQ(config.sip.password, "s3cret");
    EXPECT_EQ(config.sip.transport, "tcp");
    EXPECT_EQ(config.sip.sipPort, 5080);
    EXPECT_EQ(config.sip.audioPort, 7000);
    EXPECT_FALSE(config.sip.soundCard);
    EXPECT_EQ(config.sip.localVoice, "/tmp/v.wav");
    EXPECT_EQ(config.userHandle, "alice");
    EXPECT_EQ(config.fullName, "Alice Anders, Esq.");
    ASSERT_EQ(config.contacts.size(), 2u);
    EXPECT_EQ(config.contacts[0].handle, "bob");
    EXPECT_EQ(config.contacts[0].fullName, "Bob Brown, Jr.");
    EXPECT_EQ(config.contacts[0].uri, "sip:bob@example.org");
    EXPECT_EQ(config.contacts[1].fullName, "");
    EXPECT_EQ(config.contacts[1].uri, "sip:carol@10.0.0.2");
}

TEST_F(PhoneConfigTest, DefaultsAreUdpOn5060WithTheSoundCard)
{
    ASSERT_TRUE(load("[account]\nuri = sip:me@127.0.0.1\n"));
    EXPECT_EQ(config.sip.transport, "udp");
    EXPECT_EQ(config.sip.sipPort, 5060);
    EXPECT_EQ(config.sip.audioPort, 0);
    EXPECT_TRUE(config.sip.soundCard);
    EXPECT_TRUE(config.sip.registrar.isEmpty());
}

TEST_F(PhoneConfigTest, MistakesNameTheKey)
{
    EXPECT_FALSE(loadConfig(dir.filePath("missing.conf"), &config, &error));
    EXPECT_TRUE(error.contains("no settings file"));
    EXPECT_FALSE(load("[account]\nregistrar = sip:pbx\n"));
    EXPECT_TRUE(error.contains("account/uri"));
    EXPECT_FALSE(load("[account]\nuri = alice\n"));
    EXPECT_TRUE(error.contains("account/uri"));
    EXPECT_FALSE(load("[account]\nuri = sip:a@b\ntransport = sctp\n"));
    EXPECT_TRUE(error.contains("account/transport"));
    EXPECT_FALSE(load("[account]\nuri = sip:a@b\nsip_port = 70000\n"));
    EXPECT_TRUE(error.contains("account/sip_port"));
    EXPECT_FALSE(load("[account]\nuri = sip:a@b\n[contacts]\nbob = Bob <>\n"));
    EXPECT_TRUE(error.contains("contact bob"));
}

} // namespace
} // namespace tw::phone
