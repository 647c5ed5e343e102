// The composer's bytes: header order, date and zone, encodings, line breaks, dot-stuffing,
// multipart layout, and text that tries to break out of its header.
#include <gtest/gtest.h>

#include "mail/base64.h"
#include "mail/mail_compose.h"
#include "mail/mail_encoding.h"
#include "mail/mail_system.h"
#include "smtp_server_process.h"

namespace tw {
namespace {

using test::TempFolder;
using test::writeFile;

CMailMessage fixedMessage()
{
    CMailMessage message;
    message.date = MailDate{2007, 5, 1, DayOfWeek(2007, 5, 1), 14, 3, 9};
    message.zone = 200;
    message.from = {"Tellwick", "me@example.com"};
    message.recipient = {"bob", "bob@example.com"};
    message.to.push_back(message.recipient);
    message.subject = "Hi";
    return message;
}

const std::string kHeaders = "From: \"Tellwick\" <me@example.com>\r\n"
                             "To: \"bob\" <bob@example.com>\r\n"
                             "Subject: Hi\r\n"
                             "Date: Tue, 1 May 2007 14:03:09 +0200\r\n"
                             "Importance: Normal\r\n"
                             "X-Mailer: Tellwick SMTP Mailer\r\n"
                             "X-MSMail-Priority: Normal\r\n"
                             "X-Priority: 3 (Normal)\r\n"
                             "MIME-Version: 1.0\r\n";

std::string headerBlock(const std::string& text)
{
    return text.substr(0, text.find("\r\n\r\n") + 2);
}

// A small independent quoted-printable decoder; CR LF line ends are kept.
std::string decodeQuotedPrintable(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out.push_back(text[i]);
        } else if (text.compare(i + 1, 2, "\r\n") == 0) {
            i += 2;
        } else {
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        }
    }
    return out;
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

TEST(MailCompose, SingleTextPartFollowsTheHeadersDirectly)
{
    CMailMessage message = fixedMessage();
    message.textParts.emplace_back("Hello", "text/plain");
    EXPECT_EQ(ComposeMessageText(message, 0x1234ABCD),
              kHeaders + "Content-Type: text/plain;\r\n\tcharset=\"utf-8\"\r\n"
                         "Content-Transfer-Encoding: 7bit\r\n\r\nHello");
}

TEST(MailCompose, NotificationWithAttachmentIsMultipartMixed)
{
    TempFolder folder;
    const std::string wav =
        std::string("RIFF\x24\x00\x00\x00WAVEfmt ", 16) + std::string(200, '\x80');
    writeFile(folder.file("vm_em.wav"), wav);
    CMailMessage message = fixedMessage();
    message.textParts.emplace_back("Voice mail from caller1 at 2007/05/01 14:30:00.", "text/plain");
    message.attachments.emplace_back(folder.file("vm_em.wav"));
    std::string base64;
    CBase64::EncodeLines(wav.data(), wav.size(), 76, base64);
    EXPECT_EQ(ComposeMessageText(message, 0x1234ABCD),
              kHeaders +
                  "Content-Type: multipart/mixed;\r\n\tboundary=\"Tellwick000_1234ABCD\"\r\n"
                  "\r\nThis is a multipart message in MIME format\r\n"
                  "\r\n--Tellwick000_1234ABCD\r\n"
                  "Content-Type: text/plain;\r\n\tcharset=\"utf-8\"\r\n"
                  "Content-Transfer-Encoding: 7bit\r\n\r\n"
                  "Voice mail from caller1 at 2007/05/01 14:30:00."
                  "\r\n--Tellwick000_1234ABCD\r\n"
                  "Content-Type: audio/x-wav;\r\n\tname=\"vm_em.wav\"\r\n"
                  "Content-Transfer-Encoding: base64\r\n"
                  "Content-Disposition: attachment;\r\n\tfilename=\"vm_em.wav\"\r\n\r\n" +
                  base64 + "\r\n--Tellwick000_1234ABCD--\r\n");
    EXPECT_EQ(message.multipartKind, kMultipartMixed);
}

TEST(MailCompose, MissingAttachmentStillDeclaresMultipart)
{
    CMailMessage message = fixedMessage();
    message.textParts.emplace_back("Hello", "text/plain");
    message.attachments.emplace_back("/nonexistent/folder/gone.wav");
    const std::string text = ComposeMessageText(message, 7);
    EXPECT_NE(text.find("Content-Type: multipart/mixed;\r\n\tboundary=\"Tellwick000_00000007\""),
              std::string::npos);
    EXPECT_EQ(text.find("gone.wav"), std::string::npos);
    const std::string tail = "\r\n--Tellwick000_00000007\r\nContent-Type: text/plain;\r\n\t"
                             "charset=\"utf-8\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\nHello"
                             "\r\n--Tellwick000_00000007--\r\n";
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST(MailCompose, MultipartKindsAndInnerAlternativeSection)
{
    TempFolder folder;
    writeFile(folder.file("a.bin"), std::string(10, '\0'));
    CMailMessage both = fixedMessage();
    both.textParts.emplace_back("plain", "text/plain");
    both.textParts.emplace_back("<p>html</p>", "text/html");
    both.attachments.emplace_back(folder.file("a.bin"));
    const std::string text = ComposeMessageText(both, 0xAB);
    const auto inner =
        text.find("\r\n--Tellwick000_000000AB\r\nContent-Type: multipart/alternative;"
                  "\r\n\tboundary=\"Tellwick001_000000AB\"\r\n");
    const auto closeInner = text.find("\r\n--Tellwick001_000000AB--\r\n");
    const auto attachment = text.find("name=\"a.bin\"");
    ASSERT_NE(inner, std::string::npos);
    EXPECT_LT(inner, text.find("\r\n--Tellwick001_000000AB\r\nContent-Type: text/html"));
    EXPECT_LT(closeInner, attachment);
    EXPECT_NE(text.find("Content-Type: application/octet-stream;"), std::string::npos);

    CMailMessage alternative = fixedMessage();
    alternative.textParts.emplace_back("plain", "text/plain");
    alternative.textParts.emplace_back("<p>html</p>", "text/html");
    const std::string alt = ComposeMessageText(alternative, 1);
    EXPECT_NE(alt.find("multipart/alternative;\r\n\tboundary=\"Tellwick000_00000001\""),
              std::string::npos);
    EXPECT_EQ(alt.find("Tellwick001_"), std::string::npos);

    alternative.multipartKind = kMultipartRelated;
    EXPECT_NE(ComposeMessageText(alternative, 1).find("multipart/related;"), std::string::npos);
}

TEST(MailCompose, CallerHeadersAreKeptOrReplacedAndNeverDoubled)
{
    CMailMessage message = fixedMessage();
    message.textParts.emplace_back("Hello", "text/plain");
    message.AddHeader("X-Priority", "1 (Highest)");
    message.AddHeader("Subject", "old subject");
    message.AddHeader("Date", "yesterday");
    message.AddHeader("X-Custom", "kept");
    message.messageId = "id@example.com";
    const std::string first = ComposeMessageText(message, 1);
    const std::string headers = headerBlock(first);
    EXPECT_NE(headers.find("X-Priority: 1 (Highest)\r\n"), std::string::npos);
    EXPECT_EQ(headers.find("3 (Normal)"), std::string::npos);
    EXPECT_EQ(headers.find("old subject"), std::string::npos);
    EXPECT_EQ(headers.find("yesterday"), std::string::npos);
    EXPECT_NE(headers.find("X-Custom: kept\r\n"), std::string::npos);
    EXPECT_NE(headers.find("Message-ID: <id@example.com>\r\nMIME-Version: 1.0\r\n"),
              std::string::npos);
    // Composing again replaces the generated headers instead of adding them twice.
    const std::string again = headerBlock(ComposeMessageText(message, 1));
    for (const char* name : {"\r\nMIME-Version:", "\r\nDate:", "\r\nMessage-ID:", "\r\nX-Mailer:"})
        EXPECT_EQ(again.find(name), again.rfind(name)) << name;
    EXPECT_EQ(again.size(), headers.size());
}

TEST(MailCompose, CcLineAndEscapedDisplayNames)
{
    CMailMessage message = fixedMessage();
    message.to.push_back({"", "carol@example.com"});
    message.cc.push_back({"", "dave@example.com"});
    message.from.displayName = "Say \"hi\" \\o/";
    message.textParts.emplace_back("x", "text/plain");
    const std::string headers = headerBlock(ComposeMessageText(message, 1));
    EXPECT_NE(headers.find("To: \"bob\" <bob@example.com>,\r\n\t<carol@example.com>\r\n"
                           "Cc:<dave@example.com>\r\n"),
              std::string::npos);
    EXPECT_NE(headers.find("From: \"Say \\\"hi\\\" \\\\o/\" <me@example.com>\r\n"),
              std::string::npos);
}

TEST(MailCompose, LineBreaksInHeaderTextCannotStartHeaders)
{
    TempFolder folder;
    writeFile(folder.file("evil\nX-Injected: 1.wav"), "data");
    CMailMessage message = fixedMessage();
    message.subject = "Hi\r\nBcc: victim@example.com";
    message.from.displayName = "Tellwick\nX-Injected: 1";
    message.to[0].address = "bob@example.com>\r\nBcc: <victim@example.com";
    message.AddHeader("X-Note", "ok\r\n\r\nbody starts here");
    message.textParts.emplace_back("Hello", "text/plain");
    message.attachments.emplace_back(folder.file("evil\nX-Injected: 1.wav"));
    const std::string text = ComposeMessageText(message, 1);
    // Every line is a header of ours, a folded continuation, or part of a body.
    for (const char* forged : {"\r\nBcc:", "\r\nX-Injected:", "\nX-Injected", "\r\n\r\nbody"})
        EXPECT_EQ(text.find(forged), std::string::npos) << forged;
    EXPECT_NE(text.find("Subject: Hi  Bcc: victim@example.com\r\n"), std::string::npos);
    EXPECT_NE(text.find("filename=\"evil X-Injected: 1.wav\""), std::string::npos);
}

TEST(MailCompose, DateAndZoneTexts)
{
    const MailDate date{2007, 5, 1, DayOfWeek(2007, 5, 1), 4, 3, 9};
    EXPECT_EQ(FormatMailDate(date, MailZoneFromOffset(-5 * 3600)), "Tue, 1 May 2007 4:03:09 -0500");
    EXPECT_EQ(FormatMailDate(date, MailZoneFromOffset(5 * 3600 + 1800)),
              "Tue, 1 May 2007 4:03:09 +0530");
    EXPECT_EQ(FormatMailDate(date, MailZoneFromOffset(0)), "Tue, 1 May 2007 4:03:09 -0000");
    EXPECT_EQ(FormatMailDate(date, MailZoneFromOffset(-(3 * 3600 + 1800))),
              "Tue, 1 May 2007 4:03:09 -0330");
    EXPECT_EQ(DayOfWeek(1970, 1, 1), 4);
    EXPECT_EQ(DayOfWeek(2000, 2, 29), 2);
    EXPECT_EQ(DayOfWeek(1969, 12, 31), 3);
}

TEST(MailEncoding, ChoiceFollowsTheContent)
{
    EXPECT_EQ(ChooseEncoding("short lines\r\nof ascii\r\n"), kEncoding7Bit);
    EXPECT_EQ(ChooseEncoding("caf\xC3\xA9 au lait, short lines of mostly ascii\r\n"),
              kEncoding8Bit);
    EXPECT_EQ(ChooseEncoding("short\r\n" + std::string(80, 'x') + "\r\nshort\r\n"),
              kEncodingQuotedPrintable);
    EXPECT_EQ(ChooseEncoding(std::string(76, 'x') + "\n" + std::string(76, 'y')), kEncoding7Bit);
    EXPECT_EQ(ChooseEncoding(std::string(77, 'x')), kEncodingQuotedPrintable);
    std::string audio;
    for (int i = 0; i < 4000; ++i)
        audio.push_back(static_cast<char>((i * 37) & 0xFF));
    EXPECT_EQ(ChooseEncoding(audio), kEncodingBase64);
    EXPECT_EQ(ChooseEncoding(""), kEncoding7Bit);
    // 90 % printable is still text; 89 % is not.
    std::string text;
    for (int line = 0; line < 10; ++line)
        text += "aaaaaaaa\r\n";
    std::string tenth = text, more = text;
    for (int i = 0; i < 11; ++i) {
        const std::size_t at = i / 8 * 10 + i % 8; // skip the line ends
        if (i < 10)
            tenth[at] = '\x01';
        more[at] = '\x01';
    }
    EXPECT_EQ(ChooseEncoding(tenth), kEncoding8Bit);
    EXPECT_EQ(ChooseEncoding(more), kEncodingBase64);
}

TEST(MailEncoding, LongLinesAreCutAt76)
{
    EXPECT_EQ(WrapLines(std::string(100, 'x')),
              std::string(76, 'x') + "\r\n" + std::string(24, 'x'));
    std::string words;
    while (words.size() < 100)
        words += "word ";
    const std::string wrapped = WrapLines(words);
    EXPECT_EQ(wrapped.substr(0, wrapped.find("\r\n")), words.substr(0, 75));
    // Characters, not bytes: a line of 100 two-byte letters is cut after 76 of them.
    std::string accents;
    for (int i = 0; i < 100; ++i)
        accents += "\xC3\xA9";
    EXPECT_EQ(WrapLines(accents), accents.substr(0, 152) + "\r\n" + accents.substr(152));
    // Every line end comes out as CR LF, lone LFs included.
    EXPECT_EQ(WrapLines("a\nb\r\nc\rd"), "a\r\nb\r\nc\r\nd");

    std::string name;
    const std::string part = EncodePartText(kEncoding7Bit, std::string(100, 'x'), name);
    EXPECT_EQ(name, "7bit");
    EXPECT_EQ(part, std::string(76, 'x') + "\r\n" + std::string(24, 'x'));
    EXPECT_EQ(EncodePartText(kEncoding7Bit, "na\xC3\xAFve", name), "na?ve");
}

TEST(MailEncoding, QuotedPrintableEscapesAndSoftBreaks)
{
    EXPECT_EQ(QuotedPrintable("a=b"), "a=3Db");
    EXPECT_EQ(QuotedPrintable("ends in space \r\nand tab\t"), "ends in space=20\r\nand tab=09");
    EXPECT_EQ(QuotedPrintable("caf\xC3\xA9"), "caf=C3=A9");
    // An escape at every position around the cut: lines stay within 76 characters, every
    // escape stays whole, and the text decodes to what went in.
    for (std::size_t lead = 68; lead <= 80; ++lead) {
        const std::string line = std::string(lead, 'a') + "=\xC3\xA9" + std::string(90, 'b') + " ";
        const std::string encoded = QuotedPrintable(line + "\r\n" + line);
        EXPECT_EQ(decodeQuotedPrintable(encoded), line + "\r\n" + line) << lead;
        for (const std::string& piece : splitLines(encoded)) {
            EXPECT_LE(piece.size(), 76u) << lead;
            for (std::size_t i = 0; i < piece.size(); ++i) {
                if (piece[i] == '=') { // a whole escape, or the soft break at the end
                    EXPECT_TRUE(i + 1 == piece.size() || i + 2 < piece.size()) << lead << piece;
                }
            }
        }
    }
}

TEST(MailEncoding, DotsAtLineStartsAreDoubled)
{
    EXPECT_EQ(DotStuff(".start\r\n.\r\nmid.dle\r\n..two"), "..start\r\n..\r\nmid.dle\r\n...two");
    std::string name;
    EXPECT_EQ(EncodePartText(kEncodingAuto, "first\n.\nlast", name), "first\r\n..\r\nlast");
    EXPECT_EQ(EncodePartText(kEncodingQuotedPrintable, ".a=\r\n.", name), "..a=3D\r\n..");

    CMailMessage message = fixedMessage();
    message.textParts.emplace_back(".leading\r\n.\r\nend", "text/plain");
    const std::string text = ComposeMessageText(message, 1);
    const std::string tail = "\r\n\r\n..leading\r\n..\r\nend";
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST(MailBase64, EncodesDecodesAndBreaksLines)
{
    const std::pair<const char*, const char*> vectors[] = {{"", ""},
                                                           {"f", "Zg=="},
                                                           {"fo", "Zm8="},
                                                           {"foo", "Zm9v"},
                                                           {"foob", "Zm9vYg=="},
                                                           {"fooba", "Zm9vYmE="},
                                                           {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(CBase64::Encode(plain), encoded);
        EXPECT_EQ(CBase64::Decode(encoded), plain);
    }
    EXPECT_EQ(CBase64::Encode("\xFB\xFF"), "+/8=");
    EXPECT_EQ(CBase64::Decode("Zm9v\r\nYmFy"), "foobar");
    EXPECT_EQ(CBase64::Decode("VXNlciBOYW1lAA=="), std::string("User Name\0", 10));

    std::string bytes;
    for (int length = 0; length <= 240; ++length) {
        std::string lines;
        CBase64::EncodeLines(bytes.data(), bytes.size(), 76, lines);
        EXPECT_EQ(lines, WrapLines(CBase64::Encode(bytes))) << length;
        EXPECT_EQ(CBase64::Decode(lines), bytes);
        bytes.push_back(static_cast<char>(length * 7 + 3));
    }
}

TEST(MailSystem, ContentTypeFromMimeTypes)
{
    TempFolder folder;
    writeFile(folder.file("mime.types"), "# comment wav\naudio/x-wav\twav\naudio/mpeg mp2 mp3\n"
                                         "\ntext/plain txt # trailing comment\n");
    const std::string types = folder.file("mime.types");
    EXPECT_EQ(ContentTypeForName("vm_em.wav", types), "audio/x-wav");
    EXPECT_EQ(ContentTypeForName("VM.MP3", types), "audio/mpeg");
    EXPECT_EQ(ContentTypeForName("2007.05.01 vm_em.wav", types), "audio/x-wav");
    EXPECT_EQ(ContentTypeForName("noextension", types), "application/octet-stream");
    EXPECT_EQ(ContentTypeForName("x.comment", types), "application/octet-stream");
    EXPECT_EQ(ContentTypeForName("a.wav", folder.file("missing")), "application/octet-stream");
    EXPECT_EQ(SystemCharset(), "utf-8");
}

} // namespace
} // namespace tw
