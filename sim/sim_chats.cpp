// Chats and chat messages of the substitute Skype client, as the real client answered them:
// lists of handles are separated by spaces, lists of message ids by ", ".
#include "sim/sim_chats.h"

#include <algorithm>

#include <QCryptographicHash>
#include <QDateTime>
#include <QTimer>

#include "sim/sim_vocabulary.h"

namespace tw::sim {

namespace {

constexpr int kMaxSentLog = 10000;
constexpr int kSendingMs = 200;

QString idList(const std::vector<int>& ids)
{
    QStringList out;
    for (int id : ids)
        out << QString::number(id);
    return out.join(QStringLiteral(", "));
}

/// The text after the first space ("" when there is none).
QString afterFirstWord(const QString& s)
{
    const qsizetype space = s.indexOf(QLatin1Char(' '));
    return space < 0 ? QString() : s.mid(space + 1);
}

} // namespace

QString dialogChatName(const QString& starter, const QString& partner)
{
    const QByteArray digest =
        QCryptographicHash::hash((starter + '/' + partner).toUtf8(), QCryptographicHash::Sha1);
    return QStringLiteral("#%1/$%2;%3")
        .arg(starter, partner, QString::fromLatin1(digest.left(8).toHex()));
}

SimChats::SimChats(QString me, NameOf nameOf, QObject* parent)
    : QObject(parent), m_me(std::move(me)), m_nameOf(std::move(nameOf))
{}

SimChats::Chat& SimChats::chatWith(const QString& partner, bool startedByMe)
{
    const QString name =
        startedByMe ? dialogChatName(m_me, partner) : dialogChatName(partner, m_me);
    if (Chat* known = findChat(name))
        return *known;
    Chat chat;
    chat.name = name;
    chat.partner = partner;
    chat.startedByMe = startedByMe;
    chat.timestamp = chat.activity = QDateTime::currentSecsSinceEpoch();
    m_chats.push_back(std::move(chat));
    return m_chats.back();
}

SimChats::Chat* SimChats::findChat(const QString& name)
{
    auto it =
        std::find_if(m_chats.begin(), m_chats.end(), [&](const Chat& c) { return c.name == name; });
    return it == m_chats.end() ? nullptr : &*it;
}

SimChats::Message& SimChats::post(Chat& chat, const QString& from, const QString& status,
                                  const QString& body)
{
    Message m;
    m.id = m_nextMessageId++;
    m.chat = chat.name;
    m.from = from;
    m.fromName = m_nameOf(from);
    m.timestamp = chat.activity = QDateTime::currentSecsSinceEpoch();
    m.status = status;
    m.body = body;
    chat.messages.push_back(m.id);
    if (!chat.posters.contains(from))
        chat.posters << from;
    return m_messages[m.id] = std::move(m);
}

QString SimChats::create(const QString& targets)
{
    QString target = targets.trimmed();
    if (target.endsWith(QLatin1String(" DIALOG"), Qt::CaseInsensitive))
        target.chop(7);
    // One partner makes a dialog; chats of several people are not played.
    if (target.isEmpty() || target.contains(QLatin1Char(' ')) || target.contains(','))
        return errorReply(507, "CHAT: CREATE: invalid/missing user handle(s) as argument");
    return QStringLiteral("CHAT %1 STATUS DIALOG").arg(chatWith(target, true).name);
}

QString SimChats::send(const QString& rest)
{
    const QString name = rest.section(QLatin1Char(' '), 0, 0);
    const QString text = afterFirstWord(rest);
    if (name.isEmpty())
        return errorReply(1, "General syntax error");
    Chat* chat = findChat(name);
    if (!chat)
        return errorReply(105, "Invalid chat name");
    if (text.trimmed().isEmpty())
        return errorReply(43, "cannot send empty message");
    m_sentLog << rest;
    if (m_sentLog.size() > kMaxSentLog)
        m_sentLog.removeFirst();
    const int id = post(*chat, m_me, QStringLiteral("SENDING"), text).id;
    Q_EMIT sent(chat->partner, text);
    QTimer::singleShot(kSendingMs, this, [this, id] {
        auto it = m_messages.find(id);
        if (it == m_messages.end() || it->second.status != "SENDING")
            return; // the history was cleared meanwhile
        it->second.status = QStringLiteral("SENT");
        Q_EMIT notification(QStringLiteral("CHATMESSAGE %1 STATUS SENT").arg(id));
    });
    return QStringLiteral("CHATMESSAGE %1 STATUS SENDING").arg(id);
}

QString SimChats::sendTo(const QString& rest)
{
    const QString handle = rest.section(QLatin1Char(' '), 0, 0);
    if (handle.isEmpty())
        return errorReply(1, "General syntax error");
    if (afterFirstWord(rest).trimmed().isEmpty())
        return errorReply(43, "cannot send empty message");
    return send(chatWith(handle, true).name + ' ' + afterFirstWord(rest));
}

QString SimChats::receive(const QString& handle, const QString& text, QString* chatName)
{
    if (handle.isEmpty() || handle.contains(QLatin1Char(' ')) || handle == m_me)
        return QStringLiteral("not a chat partner: '%1'").arg(handle);
    Chat& chat = chatWith(handle, false);
    if (chatName)
        *chatName = chat.name;
    const QString body = text.isEmpty() ? QStringLiteral("Hello") : text;
    const int id = post(chat, handle, QStringLiteral("RECEIVED"), body).id;
    Q_EMIT notification(QStringLiteral("CHAT %1 STATUS DIALOG").arg(chat.name));
    Q_EMIT notification(QStringLiteral("CHATMESSAGE %1 STATUS RECEIVED").arg(id));
    return {};
}

QString SimChats::getChat(const QStringList& w)
{
    Chat* chat = findChat(w.value(2));
    if (!chat)
        return errorReply(105, "Invalid chat name");
    if (!findKeyword(kChatProps, w.value(3)))
        return errorReply(106, "Invalid PROP");
    const QString property = w[3].toUpper();
    return QStringLiteral("CHAT %1 %2 %3").arg(chat->name, property, chatProperty(*chat, property));
}

QString SimChats::chatProperty(const Chat& chat, const QString& property) const
{
    const QStringList members =
        chat.startedByMe ? QStringList{m_me, chat.partner} : QStringList{chat.partner, m_me};
    if (property == "NAME")
        return chat.name;
    if (property == "TIMESTAMP")
        return QString::number(chat.timestamp);
    if (property == "ACTIVITY_TIMESTAMP")
        return QString::number(chat.activity);
    if (property == "ADDER")
        return chat.startedByMe ? QString() : chat.partner;
    if (property == "STATUS" || property == "TYPE")
        return QStringLiteral("DIALOG");
    if (property == "POSTERS")
        return chat.posters.join(QLatin1Char(' '));
    if (property == "MEMBERS" || property == "ACTIVEMEMBERS")
        return members.join(QLatin1Char(' '));
    if (property == "TOPIC")
        return {};
    if (property == "FRIENDLYNAME") {
        // The partner, then what the chat began with, as the client titles a dialog.
        if (chat.messages.empty())
            return chat.partner;
        return chat.partner + " | " + m_messages.at(chat.messages.front()).body;
    }
    if (property == "DIALOG_PARTNER")
        return chat.partner;
    if (property == "CHATMESSAGES" || property == "RECENTCHATMESSAGES")
        return idList(chat.messages);
    if (property == "BOOKMARKED")
        return QStringLiteral("FALSE");
    return QStringLiteral("<no value>"); // a keyword listed but not answered: the table test fails
}

SimChats::Message* SimChats::messageNamed(const QString& word, QString* error, int invalidCode,
                                          const char* unknownText)
{
    bool ok = false;
    const int id = word.toInt(&ok);
    auto it = ok ? m_messages.find(id) : m_messages.end();
    if (it != m_messages.end())
        return &it->second;
    *error = ok ? errorReply(invalidCode + 1, unknownText)
                : errorReply(invalidCode, "Invalid message id");
    return nullptr;
}

QString SimChats::getMessage(const QStringList& w)
{
    QString error;
    const Message* m = messageNamed(w.value(2), &error, 14, "Unknown message");
    if (!m)
        return error;
    if (!findKeyword(kChatMessageProps, w.value(3)))
        return errorReply(16, "Invalid PROP");
    const QString property = w[3].toUpper();
    return QStringLiteral("CHATMESSAGE %1 %2 %3")
        .arg(m->id)
        .arg(property, messageProperty(*m, property));
}

QString SimChats::messageProperty(const Message& m, const QString& property) const
{
    if (property == "CHATNAME")
        return m.chat;
    if (property == "TIMESTAMP")
        return QString::number(m.timestamp);
    if (property == "FROM_HANDLE")
        return m.from;
    if (property == "FROM_DISPNAME")
        return m.fromName;
    if (property == "TYPE")
        return QStringLiteral("SAID");
    if (property == "USERS" || property == "LEAVEREASON")
        return {};
    if (property == "BODY")
        return m.body;
    if (property == "STATUS")
        return m.status;
    return QStringLiteral("<no value>");
}

QString SimChats::setMessage(const QStringList& w)
{
    QString error;
    Message* m = messageNamed(w.value(2), &error, 30, "Unknown message id");
    if (!m)
        return error;
    if (!findKeyword(kChatMessageSetProps, w.value(3)) || w.size() > 4)
        return errorReply(32, "Invalid WHAT");
    const QString reply = QStringLiteral("CHATMESSAGE %1 STATUS %2").arg(m->id);
    if (m->status == "RECEIVED") {
        m->status = QStringLiteral("READ");
        Q_EMIT notification(reply.arg(m->status));
    }
    return reply.arg(m->status);
}

bool SimChats::hasUnread(const Chat& chat) const
{
    return std::any_of(chat.messages.begin(), chat.messages.end(),
                       [&](int id) { return m_messages.at(id).status == "RECEIVED"; });
}

QString SimChats::search(const QString& what, const QString& target)
{
    if (what == "CHATMESSAGES" || what == "MISSEDCHATMESSAGES") {
        if (what == "MISSEDCHATMESSAGES" && !target.isEmpty())
            return errorReply(29, "SEARCH MISSEDCHATMESSAGES: target not allowed");
        std::vector<int> ids;
        for (const auto& [id, m] : m_messages) {
            const Chat* chat = findChat(m.chat);
            const bool pick = what == "CHATMESSAGES" ? target.isEmpty() || chat->partner == target
                                                     : m.status == "RECEIVED";
            if (pick)
                ids.push_back(id);
        }
        return "CHATMESSAGES " + idList(ids);
    }
    if (!target.isEmpty())
        return errorReply(107, "Target not allowed with CHATS");
    QStringList names;
    for (const Chat& c : m_chats) {
        const bool pick = what == "MISSEDCHATS"       ? hasUnread(c)
                          : what == "RECENTCHATS"     ? !c.messages.empty()
                          : what == "BOOKMARKEDCHATS" ? false
                                                      : true; // CHATS, ACTIVECHATS
        if (pick)
            names << c.name;
    }
    return "CHATS " + names.join(QStringLiteral(", "));
}

QString SimChats::clearHistory()
{
    m_messages.clear();
    for (Chat& c : m_chats) {
        c.messages.clear();
        c.posters.clear();
    }
    Q_EMIT notification(QStringLiteral("IMHISTORYCHANGED"));
    return QStringLiteral("CLEAR CHATHISTORY");
}

} // namespace tw::sim
