// The composer's bytes: layout, date and zone, encodings, line breaks, dot-stuffing, and text
// that tries to break out of its header.
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "mail/base64.h"
#include "mail/mail_compose.h"
#include "mail/mail_encoding.h"
#include "mail/mail_system.h"
#include "mail/mime_header.h"
#include "smtp_server_process.h"

namespace tw {
namespace {

using test::has;
using test::TempDir;
using test::writeFile;

CMailMessage fixedMessage(const std::string& text = "Hello")
{
    CMailMessage message;
    message.date = MailDate{2007, 5, 1, DayOfWeek(2007, 5, 1), 14, 3, 9};
    message.zone = 200;
    message.from = {"Tellwick", "me@example.com"};
    message.recipient = {"bob", "bob@example.com"};
    message.to.push_back(message.recipient);
    message.subject = "Hi";
    message.textParts.emplace_back(text, "text/plain");
    return message;
}

const std::string kHeaders = "From: \"Tellwick\" <me@example.com>\r\nTo: \"bob\" <bob@example.com>"
                             "\r\nSubject: Hi\r\nDate: Tue, 1 May 2007 14:03:09 +0200\r\n"
                             "Importance: Normal\r\nX-Mailer: Tellwick SMTP Mailer\r\n"
                             "X-MSMail-Priority: Normal\r\nX-Priority: 3 (Normal)\r\n"
                             "MIME-Version: 1.0\r\n";
const std::string kPlain = "Content-Type: text/plain;\r\n\tcharset=\"utf-8\"\r\n"
                           "Content-Transfer-Encoding: 7bit\r\n\r\n";

std::string headerBlock(const std::string& text)
{
    return text.substr(0, text.find("\r\n\r\n") + 2);
}

// An independent quoted-printable decoder; CR LF line ends are kept.
std::string decodeQuotedPrintable(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += text[i] == '=' ? 3 : 1)
        if (text[i] != '=')
            out.push_back(text[i]);
        else if (text[i + 1] != '\r') // not a soft break
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
    return out;
}

TEST(MailCompose, SinglePartAndNotificationWithAttachmentLayouts)
{
    CMailMessage single = fixedMessage();
    EXPECT_EQ(ComposeMessageText(single, 0x1234ABCD), kHeaders + kPlain + "Hello");

    TempDir folder;
    std::string wav("RIFF\x24\0\0\0WAVEfmt ", 16); // base64 as another encoder gives it
    for (int i = 0x80; i < 0x80 + 45; ++i)
        wav.push_back(static_cast<char>(i));
    writeFile(folder.file("vm_em.wav"), wav);
    CMailMessage message = fixedMessage("Voice mail from caller1.");
    message.attachments.emplace_back(folder.file("vm_em.wav"));
    EXPECT_EQ(ComposeMessageText(message, 0x1234ABCD),
              kHeaders +
                  "Content-Type: multipart/mixed;\r\n\tboundary=\"Tellwick000_1234ABCD\"\r\n"
                  "\r\nThis is a multipart message in MIME format\r\n"
                  "\r\n--Tellwick000_1234ABCD\r\n" +
                  kPlain +
                  "Voice mail from caller1.\r\n--Tellwick000_1234ABCD\r\n"
                  "Content-Type: audio/x-wav;\r\n\tname=\"vm_em.wav\"\r\n"
                  "Content-Transfer-Encoding: base64\r\n"
                  "Content-Disposition: attachment;\r\n\tfilename=\"vm_em.wav\"\r\n\r\n" +
                  "UklGRiQAAABXQVZFZm10IICBgoOEhYaHiImKi4yNjo+QkZKTlJWWl5iZmpucnZ6foKGio6Slpqeo\r\n"
                  "qaqrrA==\r\n--Tellwick000_1234ABCD--\r\n");
}

TEST(MailCompose, ALargeAttachmentIsStreamedInWholeLinesAndDecodesToItsBytes)
{
    TempDir folder;
    std::string audio(200003, '\0'); // several blocks, and a tail that needs padding
    std::mt19937 random(7);
    for (char& c : audio)
        c = static_cast<char>(random());
    writeFile(folder.file("vm_em.wav"), audio);
    CMailMessage message = fixedMessage("Voice mail.");
    message.attachments.emplace_back(folder.file("vm_em.wav"));
    std::string streamed;
    int pieces = 0;
    ASSERT_TRUE(ComposeMessage(message, 9, [&](std::string_view piece) {
        ++pieces;
        streamed.append(piece);
        return true;
    }));
    EXPECT_GT(pieces, 3);
    EXPECT_EQ(streamed, ComposeMessageText(message, 9));
    const auto start = streamed.find("\r\n\r\n", streamed.find("filename=")) + 4;
    const auto end = streamed.find("\r\n--Tellwick000_", start);
    const std::string encoded = streamed.substr(start, end - start);
    EXPECT_EQ(CBase64::Decode(encoded), audio);
    std::istringstream lines(encoded);
    std::size_t count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        if (lines.peek() != EOF) {
            EXPECT_EQ(line, line.substr(0, 76) + "\r") << count; // every line full but the last
        }
    }
    EXPECT_EQ(count, (audio.size() + 56) / 57);
    // A sink that stops ends the composing.
    EXPECT_FALSE(ComposeMessage(message, 9, [](std::string_view) { return false; }));
}

TEST(MailCompose, NonAsciiHeadersAreEncodedWordsAndFileNamesRfc2231)
{
    const std::string name = "Gr\u00FC\u00DF"
                             "e aus K\u00F6ln \u2013 eine sehr lange Sprachnachricht.wav";
    EXPECT_EQ(SubjectText("plain"), "plain");
    const std::string words = EncodedWords(name + name);
    std::istringstream lines(words);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 77u) << line; // 75 and the CR, plus the folding blank
    EXPECT_EQ(words.rfind("=?utf-8?B?", 0), 0u);
    const std::string parameter = MimeParameter("filename", name);
    EXPECT_EQ(parameter.rfind(";\r\n\tfilename*0*=utf-8''Gr%C3%BC%C3%9Fe%20aus%20K%C3%B6ln", 0), 0u)
        << parameter;
    EXPECT_TRUE(has(parameter, ";\r\n\tfilename*1*="));
    EXPECT_EQ(MimeParameter("filename", "a b.wav"), ";\r\n\tfilename=\"a b.wav\"");
    EXPECT_EQ(DisplayNameText("J\u00F6rg"), "=?utf-8?B?SsO2cmc=?=");
}

TEST(MailCompose, MissingAttachmentStillDeclaresMultipart)
{
    CMailMessage message = fixedMessage();
    message.attachments.emplace_back("/nonexistent/folder/gone.wav");
    const std::string text = ComposeMessageText(message, 7);
    EXPECT_TRUE(has(text, "Content-Type: multipart/mixed;\r\n\tboundary=\"Tellwick000_00000007\""));
    EXPECT_FALSE(has(text, "gone.wav"));
    const std::string tail =
        "\r\n--Tellwick000_00000007\r\n" + kPlain + "Hello\r\n--Tellwick000_00000007--\r\n";
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST(MailCompose, GeneratedHeadersReplaceTheCallersAndAreNeverDoubled)
{
    CMailMessage message = fixedMessage();
    message.AddHeader("Date", "yesterday");
    message.AddHeader("X-Custom", "kept");
    const std::string headers = headerBlock(ComposeMessageText(message, 1));
    EXPECT_TRUE(has(headers, "X-Custom: kept\r\n"));
    EXPECT_FALSE(has(headers, "yesterday"));
    // Every SMTP attempt composes again: the text must not change.
    EXPECT_EQ(headerBlock(ComposeMessageText(message, 1)), headers);
}

TEST(MailCompose, HeaderTextCannotStartHeadersOrBreakItsQuotes)
{
    TempDir folder;
    writeFile(folder.file("evil\nX-Injected: 1.wav"), "data");
    CMailMessage message = fixedMessage();
    message.subject = "Hi\r\nBcc: victim@example.com";
    message.from.displayName = "Say \"hi\" \\o/\nX-Injected: 1";
    message.to[0].address = "bob@example.com>\r\nBcc: <victim@example.com";
    message.cc.push_back({"", "dave@example.com"});
    message.AddHeader("X-Note", "ok\r\n\r\nbody starts here");
    message.attachments.emplace_back(folder.file("evil\nX-Injected: 1.wav"));
    const std::string text = ComposeMessageText(message, 1);
    for (const char* forged : {"\r\nBcc:", "\r\nX-Injected:", "\nX-Injected", "\r\n\r\nbody"})
        EXPECT_FALSE(has(text, forged)) << forged;
    EXPECT_TRUE(has(text, "Subject: Hi  Bcc: victim@example.com\r\n"));
    EXPECT_TRUE(has(text, "From: \"Say \\\"hi\\\" \\\\o/ X-Injected: 1\" <me@example.com>\r\n"));
    EXPECT_TRUE(has(text, "\r\nCc:<dave@example.com>\r\n"));
    EXPECT_TRUE(has(text, "filename=\"evil X-Injected: 1.wav\""));
}

TEST(MailCompose, DateAndZoneTexts)
{
    const MailDate date{2007, 5, 1, DayOfWeek(2007, 5, 1), 4, 3, 9};
    const std::pair<int, const char*> zones[] = {
        {-5 * 3600, "-0500"}, {5 * 3600 + 1800, "+0530"}, {0, "-0000"}, {-12600, "-0330"}};
    for (const auto& [offset, zone] : zones)
        EXPECT_EQ(FormatMailDate(date, MailZoneFromOffset(offset)),
                  std::string("Tue, 1 May 2007 4:03:09 ") + zone);
    EXPECT_EQ(DayOfWeek(2000, 2, 29), 2);
    EXPECT_EQ(DayOfWeek(1969, 12, 31), 3);
}

TEST(MailEncoding, ChoiceFollowsTheContent)
{
    // 90 % printable is still text; 89 % is not.
    std::string tenth;
    for (int line = 0; line < 10; ++line)
        tenth += "\x01"
                 "aaaaaaa\r\n";
    std::string more = tenth;
    more[1] = '\x01';
    const std::pair<std::string, MailEncoding> cases[] = {
        {"short lines\r\nof ascii\r\n", kEncoding7Bit},
        {"", kEncoding7Bit},
        {"caf\xC3\xA9 au lait, short lines of mostly ascii\r\n", kEncoding8Bit},
        {"short\r\n" + std::string(80, 'x') + "\r\nshort\r\n", kEncodingQuotedPrintable},
        {std::string(76, 'x') + "\n" + std::string(76, 'y'), kEncoding7Bit},
        {std::string(77, 'x'), kEncodingQuotedPrintable},
        {std::string(4000, '\0'), kEncodingBase64},
        {tenth, kEncoding8Bit},
        {more, kEncodingBase64}};
    for (const auto& [content, encoding] : cases)
        EXPECT_EQ(ChooseEncoding(content), encoding) << content.substr(0, 20);
}

TEST(MailEncoding, LongLinesAreCutAt76Characters)
{
    std::string name;
    EXPECT_EQ(EncodePartText(kEncoding7Bit, std::string(100, 'x'), name),
              std::string(76, 'x') + "\r\n" + std::string(24, 'x'));
    EXPECT_EQ(name, "7bit");
    std::string words;
    while (words.size() < 100)
        words += "word ";
    const std::string wrapped = WrapLines(words);
    EXPECT_EQ(wrapped.substr(0, wrapped.find("\r\n")), words.substr(0, 75));
    std::string accents; // characters, not bytes
    for (int i = 0; i < 100; ++i)
        accents += "\xC3\xA9";
    EXPECT_EQ(WrapLines(accents), accents.substr(0, 152) + "\r\n" + accents.substr(152));
    EXPECT_EQ(WrapLines("a\nb\r\nc\rd"), "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(EncodePartText(kEncoding7Bit, "na\xC3\xAFve", name), "na?ve");
}

TEST(MailEncoding, QuotedPrintableNeverSplitsAnEscape)
{
    EXPECT_EQ(QuotedPrintable("a=b caf\xC3\xA9"), "a=3Db caf=C3=A9");
    EXPECT_EQ(QuotedPrintable("ends in space \r\nand tab\t"), "ends in space=20\r\nand tab=09");
    // An escape at every position around the cut.
    for (std::size_t lead = 68; lead <= 80; ++lead) {
        const std::string line = std::string(lead, 'a') + "=\xC3\xA9" + std::string(90, 'b') + " ";
        const std::string encoded = QuotedPrintable(line + "\r\n" + line);
        EXPECT_EQ(decodeQuotedPrintable(encoded), line + "\r\n" + line) << lead;
        std::size_t start = 0;
        for (std::size_t end = 0; end != std::string::npos; start = end + 2) {
            end = encoded.find("\r\n", start);
            const std::string piece = encoded.substr(start, end - start);
            EXPECT_LE(piece.size(), 76u) << lead;
            for (std::size_t i = 0; i < piece.size(); ++i) // whole escapes, or a soft break
                EXPECT_TRUE(piece[i] != '=' || i + 1 == piece.size() || i + 2 < piece.size())
                    << piece;
        }
    }
}

TEST(MailEncoding, DotsAtLineStartsAreDoubled)
{
    EXPECT_EQ(DotStuff(".start\r\n.\r\nmid.dle\r\n..two"), "..start\r\n..\r\nmid.dle\r\n...two");
    std::string name;
    EXPECT_EQ(EncodePartText(kEncodingAuto, "first\n.\nlast", name), "first\r\n..\r\nlast");
    EXPECT_EQ(EncodePartText(kEncodingQuotedPrintable, ".a=\r\n.", name), "..a=3D\r\n..");
    CMailMessage message = fixedMessage(".lead\r\n.\r\nend");
    EXPECT_TRUE(has(ComposeMessageText(message, 1), "\r\n\r\n..lead\r\n..\r\nend"));
}

TEST(MailSystem, ContentTypeFromMimeTypes)
{
    TempDir folder;
    const std::string types = folder.file("mime.types");
    writeFile(types, "# comment wav\naudio/x-wav\twav\naudio/mpeg mp2 mp3 # trailing\n");
    EXPECT_EQ(ContentTypeForName("2007.05.01 VM_em.MP3", types), "audio/mpeg");
    for (const char* other : {"noextension", "x.comment", "x.trailing"})
        EXPECT_EQ(ContentTypeForName(other, types), "application/octet-stream") << other;
    EXPECT_EQ(ContentTypeForName("a.wav", folder.file("missing")), "application/octet-stream");
}

} // namespace
} // namespace tw
