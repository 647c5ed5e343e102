// ALTER CALL: what a client does to a call (answer, hold, end, redirect its sound...). The
// client acknowledges each with an exact echo of the command; the call's changes follow as
// notifications.
#include <QRegularExpression>

#include "sim/redirect_value.h"
#include "sim/sim_model.h"
#include "sim/sim_vocabulary.h"

namespace tw::sim {

QString SimModel::alter(const QString& command)
{
    const QStringList w = command.split(QLatin1Char(' '));
    if (w.size() < 2 || w[1].isEmpty())
        return errorReply(526, "ALTER: no object type given");
    if (!findObject(kAlterObjects, w[1]))
        return errorReply(527, "ALTER: unknown object type given");
    QString error;
    Call* call = callNamed(w.value(2), &error);
    if (!call)
        return error;
    if (w.size() < 4 || w[3].isEmpty())
        return errorReply(557, "CALL: No action given");
    if (!findKeyword(kCallActions, w[3]))
        return errorReply(560, "CALL: Unknown action");
    const QString action = w[3].toUpper();
    const int id = call->id;
    using Action = CallCarrier::ClientAction;
    if (action == "ANSWER") {
        if (!answer(id).isEmpty())
            return errorReply(559, "CALL: Action failed");
        tellCarrier(id, Action::Answer);
        return command;
    }
    if (action == "HOLD") {
        if (!hold(id, false).isEmpty())
            return errorReply(22, "Cannot hold this call at the moment");
        tellCarrier(id, Action::Hold);
        return command;
    }
    if (action == "RESUME") {
        if (!resume(id).isEmpty())
            return errorReply(23, "Cannot resume this call at the moment");
        tellCarrier(id, Action::Resume);
        return command;
    }
    if (action == "HANGUP" || action == "END") {
        // END is how protocol 8 ends a call; the sim has no voice mail or forwarding of its
        // own, so every reason ends the call as a hang-up does.
        static const QStringList reasons{"HANGUP", "REDIRECT_TO_VOICEMAIL", "FORWARD_CALL"};
        if (action == "END" && (w.size() != 5 || !reasons.contains(w[4].toUpper())))
            return errorReply(558, "CALL: Missing or invalid arguments");
        if (!isActive(*call))
            return errorReply(24, "Cannot hangup inactive call");
        endByUser(*call);
        tellCarrier(id, Action::End);
        return command;
    }
    if (action == "DTMF") {
        static const QRegularExpression digits(QStringLiteral("^[0-9*#]+$"));
        if (w.size() != 5 || !digits.match(w[4]).hasMatch())
            return errorReply(42, "Invalid DTMF code");
        return call->status == "INPROGRESS" ? command : errorReply(41, "Call not active");
    }
    if (action == "JOIN_CONFERENCE") {
        bool ok = false;
        const int other = w.value(4).toInt(&ok);
        if (!ok || w.size() != 5)
            return errorReply(558, "CALL: Missing or invalid arguments");
        return joinCalls(id, other, nullptr).isEmpty() ? command
                                                       : errorReply(559, "CALL: Action failed");
    }
    return redirect(*call, action, command.section(QLatin1Char(' '), 4), command);
}

QString SimModel::redirect(Call& call, const QString& action, const QString& value,
                           const QString& command)
{
    std::vector<RedirectTarget> targets;
    if (!parseRedirectValue(value, &targets))
        return errorReply(558, "CALL: Missing or invalid arguments");
    std::vector<std::string> files;
    for (const RedirectTarget& t : targets)
        if (t.kind == "FILE")
            files.push_back(t.value.toStdString());

    onAudioTick(); // what was said so far belongs to the old files
    std::vector<std::string> failed;
    if (action == "SET_INPUT") {
        call.input = value;
        stopGreeting(call);
        call.greetingStarted = false;
        call.greetingFile = files.empty() ? QString() : QString::fromStdString(files.front());
        startGreetingIfDue(call);
    } else if (action == "SET_OUTPUT") {
        call.output = value;
        failed = call.audio->setOutputFiles(isActive(call) ? files : std::vector<std::string>{});
    } else {
        call.captureMic = value;
        failed = call.audio->setMicFiles(isActive(call) ? files : std::vector<std::string>{});
    }
    for (const std::string& path : failed)
        Q_EMIT warning(QStringLiteral("cannot create %1").arg(QString::fromStdString(path)));
    return command; // acknowledged by an exact echo
}

} // namespace tw::sim
