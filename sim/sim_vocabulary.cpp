#include "sim/sim_vocabulary.h"

namespace tw::sim {

namespace {

QString text(std::string_view s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

/// The words joined by single spaces, empty ones left out.
QString form(std::initializer_list<std::string_view> words)
{
    QStringList parts;
    for (std::string_view w : words)
        if (!w.empty())
            parts << text(w);
    return parts.join(QLatin1Char(' '));
}

void addObjects(QStringList& out, std::string_view verb, std::span<const ObjectKind> objects)
{
    for (const ObjectKind& o : objects)
        for (const Keyword& p : o.props)
            out << form({verb, o.word, o.id, p.word, p.args});
}

void addWhats(QStringList& out, std::string_view verb, std::span<const Keyword> whats)
{
    for (const Keyword& k : whats)
        out << form({verb, k.word, k.args});
}

} // namespace

const Keyword* findKeyword(std::span<const Keyword> list, const QString& word)
{
    for (const Keyword& k : list)
        if (word.compare(text(k.word), Qt::CaseInsensitive) == 0)
            return &k;
    return nullptr;
}

const ObjectKind* findObject(std::span<const ObjectKind> list, const QString& word)
{
    for (const ObjectKind& o : list)
        if (word.compare(text(o.word), Qt::CaseInsensitive) == 0)
            return &o;
    return nullptr;
}

QStringList commandForms()
{
    QStringList out;
    for (const Keyword& v : kCommandVerbs)
        out << form({v.word, v.args});
    addWhats(out, "GET", kGetWhats);
    addObjects(out, "GET", kGetObjects);
    addWhats(out, "SET", kSetWhats);
    addObjects(out, "SET", kSetObjects);
    addObjects(out, "ALTER", kAlterObjects);
    addWhats(out, "SEARCH", kSearchWhats);
    addWhats(out, "CLEAR", kClearWhats);
    return out;
}

QString helpText()
{
    return QStringLiteral("\nCommands answered (keywords in any case, an optional \"#id \" "
                          "prefix repeated in the reply):\n  ") +
           commandForms().join(QStringLiteral("\n  ")) +
           QStringLiteral(
               "\nNot played (refused with the client's errors):\n"
               "  voice mail and call forwarding (END REDIRECT_TO_VOICEMAIL and END FORWARD_CALL\n"
               "  end the call as END HANGUP does), ALTER CALL TRANSFER, video, calls to several\n"
               "  people, chats of more than two (ALTER CHAT, CHATMEMBER), editing messages, SMS,\n"
               "  voice-mail objects, contact groups, file transfers, application streams,\n"
               "  SEARCH USERS, profile properties other than FULLNAME and MOOD_TEXT.\n");
}

QString errorReply(int code, const char* text)
{
    return QStringLiteral("ERROR %1 %2").arg(code).arg(QLatin1String(text));
}

} // namespace tw::sim
