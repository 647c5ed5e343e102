#pragma once

#include <functional>
#include <map>
#include <vector>

#include <QObject>
#include <QString>
#include <QStringList>

namespace tw::sim {

/// The chats the substitute knows, each a dialog with one contact started by the local user
/// or by the contact, and their messages, answered in the API's text protocol. Notifications
/// go out through the notification signal. Single-threaded.
class SimChats : public QObject
{
    Q_OBJECT

public:
    /// The name a handle shows (the local user's too); empty when unknown.
    using NameOf = std::function<QString(const QString& handle)>;

    SimChats(QString me, NameOf nameOf, QObject* parent = nullptr);

    // The client's commands; each returns the reply.
    QString create(const QString& targets);   // CHAT CREATE <targets>
    QString send(const QString& rest);        // CHATMESSAGE <chat> <text>
    QString sendTo(const QString& rest);      // MESSAGE <handle> <text>
    QString getChat(const QStringList& w);    // GET CHAT <chat> <prop>
    QString getMessage(const QStringList& w); // GET CHATMESSAGE <id> <prop>
    QString setMessage(const QStringList& w); // SET CHATMESSAGE <id> SEEN
    QString search(const QString& what, const QString& target);
    QString clearHistory(); // CLEAR CHATHISTORY

    /// The contact writes to the local user (in the dialog they started); empty on success.
    QString receive(const QString& handle, const QString& text, QString* chatName);

    /// Every message the local user sent, as "<chat name> <text>".
    QStringList sentLog() const { return m_sentLog; }
    void clearSentLog() { m_sentLog.clear(); }

Q_SIGNALS:
    void notification(const QString& text);
    /// The local user sent text to partner (for whoever carries it to the partner).
    void sent(const QString& partner, const QString& text);

private:
    struct Message
    {
        int id = 0;
        QString chat;
        QString from;
        QString fromName;
        qint64 timestamp = 0;
        QString status; // SENDING, SENT, RECEIVED, READ
        QString body;
    };
    struct Chat
    {
        QString name;
        QString partner;
        bool startedByMe = true;
        qint64 timestamp = 0;
        qint64 activity = 0;
        std::vector<int> messages;
        QStringList posters;
    };

    Chat& chatWith(const QString& partner, bool startedByMe);
    Chat* findChat(const QString& name);
    /// The message a command names by its id word; nullptr with the error reply set
    /// otherwise (invalidCode for a word that is no id, the next code for an unknown one).
    Message* messageNamed(const QString& word, QString* error, int invalidCode,
                          const char* unknownText);
    Message& post(Chat& chat, const QString& from, const QString& status, const QString& body);
    QString chatProperty(const Chat& chat, const QString& property) const;
    QString messageProperty(const Message& m, const QString& property) const;
    bool hasUnread(const Chat& chat) const;

    QString m_me;
    NameOf m_nameOf;
    std::vector<Chat> m_chats; // in the order they began
    std::map<int, Message> m_messages;
    int m_nextMessageId = 401;
    QStringList m_sentLog;
};

/// The name of the dialog chat that `starter` began with `partner`: "#starter/$partner;" and 16
/// hex digits that stay the same for the pair, as a dialog's name does in the real client.
QString dialogChatName(const QString& starter, const QString& partner);

} // namespace tw::sim
