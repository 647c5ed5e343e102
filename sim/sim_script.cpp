#include "sim/sim_script.h"

#include <cmath>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTimer>

namespace tw::sim {

namespace {

struct Verb
{
    const char* name;
    int minArgs;
    int maxArgs;
};

constexpr Verb kVerbs[] = {
    {"ring", 1, 3},    {"dial", 1, 1},      {"answer", 1, 1}, {"hold", 1, 1}, {"remotehold", 1, 1},
    {"resume", 1, 1},  {"hangup", 1, 1},    {"join", 2, 2},   {"chat", 1, 2}, {"status", 1, 1},
    {"contact", 2, 3}, {"notify", 1, 1000}, {"quit", 0, 0},
};

const Verb* findVerb(const QString& word)
{
    for (const Verb& v : kVerbs)
        if (word == QLatin1String(v.name))
            return &v;
    return nullptr;
}

} // namespace

bool SimScript::load(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    if (!parse(QString::fromUtf8(file.readAll()), error)) {
        *error = path + ":" + *error;
        return false;
    }
    return true;
}

bool SimScript::parse(const QString& text, QString* error)
{
    m_steps.clear();
    qint64 previous = 0;
    const QStringList lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        QStringList words = QProcess::splitCommand(line);
        auto fail = [&](const QString& why) {
            *error = QStringLiteral("%1: %2").arg(i + 1).arg(why);
            return false;
        };
        if (words.size() < 2)
            return fail(QStringLiteral("expected a time and a step"));
        QString when = words.takeFirst();
        const bool relative = when.startsWith('+');
        if (relative)
            when.remove(0, 1);
        bool ok = false;
        const double seconds = when.toDouble(&ok);
        if (!ok || seconds < 0 || seconds > 86400)
            return fail(QStringLiteral("bad time '%1'").arg(when));
        const qint64 at = (relative ? previous : 0) + qint64(std::llround(seconds * 1000));
        if (at < previous)
            return fail(QStringLiteral("steps must be in time order"));
        const Verb* verb = findVerb(words.first());
        if (!verb)
            return fail(QStringLiteral("unknown step '%1'").arg(words.first()));
        const int args = int(words.size()) - 1;
        if (args < verb->minArgs || args > verb->maxArgs)
            return fail(QStringLiteral("wrong number of arguments for '%1'").arg(words.first()));
        m_steps.push_back({at, words, i + 1});
        previous = at;
    }
    return true;
}

void SimScript::start(SimModel& model)
{
    if (m_started)
        return;
    m_started = true;
    for (const Step& step : m_steps)
        QTimer::singleShot(std::chrono::milliseconds(step.atMs), this,
                           [this, &model, step] { run(model, step); });
    const qint64 end = m_steps.empty() ? 0 : m_steps.back().atMs;
    QTimer::singleShot(std::chrono::milliseconds(end), this, &SimScript::finished);
}

void SimScript::run(SimModel& model, const Step& step)
{
    const QStringList& w = step.words;
    const QString& verb = w[0];
    auto call = [&](int index) {
        const int id = model.resolveCall(w.value(index));
        return id;
    };
    QString problem;
    if (verb == "ring") {
        // ring HANDLE ["Display Name"] [voice=FILE]
        QString name;
        QString voice;
        for (int i = 2; i < w.size(); ++i) {
            if (w[i].startsWith("voice="))
                voice = w[i].mid(6);
            else
                name = w[i];
        }
        problem = model.ring(w[1], name, voice, nullptr);
    } else if (verb == "dial") {
        problem = model.dial(w[1], nullptr);
    } else if (verb == "chat") {
        problem = model.incomingChat(w[1], w.value(2), nullptr); // chat HANDLE ["TEXT"]
    } else if (verb == "status") {
        problem = model.setUserStatus(w[1].toUpper());
    } else if (verb == "contact") {
        // contact HANDLE STATUS ["Full Name"]
        problem = model.setContact(w[1], w.value(3), w[2].toUpper());
    } else if (verb == "notify") {
        Q_EMIT model.notification(w.mid(1).join(' '));
    } else if (verb == "quit") {
        QCoreApplication::quit();
    } else if (verb == "join") {
        const int a = call(1);
        const int b = call(2);
        problem = a && b ? model.join(a, b) : QStringLiteral("no such calls");
    } else {
        const int id = call(1);
        if (!id)
            problem = QStringLiteral("no call '%1'").arg(w[1]);
        else if (verb == "answer")
            problem = model.answer(id);
        else if (verb == "hold")
            problem = model.hold(id, false);
        else if (verb == "remotehold")
            problem = model.hold(id, true);
        else if (verb == "resume")
            problem = model.resume(id);
        else if (verb == "hangup")
            problem = model.hangUp(id);
    }
    if (!problem.isEmpty())
        Q_EMIT warning(
            QStringLiteral("script line %1 (%2): %3").arg(step.line).arg(w.join(' '), problem));
}

} // namespace tw::sim
