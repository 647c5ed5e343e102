#include "ui/voice_mail_notice.h"

#include <QDateTime>

namespace tw {

QString NoticeLengthText(std::uint32_t seconds)
{
    const std::uint32_t h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (h > 0)
        return QString("%1:%2:%3").arg(h).arg(m, 2, 10, QChar('0')).arg(s, 2, 10, QChar('0'));
    return QString("%1:%2").arg(m).arg(s, 2, 10, QChar('0'));
}

std::optional<VoiceMailNotice> MakeVoiceMailNotice(const RecordInfo& info, bool enabled)
{
    if (!enabled || info.type != RECORD_VOICEMAIL)
        return std::nullopt;
    std::string name = info.FullName();
    if (name.empty())
        name = info.SkypeName();
    VoiceMailNotice notice;
    notice.summary = "Voice mail from " + QString::fromStdString(name);
    const std::uint32_t length = info.endTime > info.startTime ? info.endTime - info.startTime : 0;
    notice.body = "Length " + NoticeLengthText(length) + ", received " +
                  QDateTime::fromSecsSinceEpoch(info.startTime).toString("HH:mm");
    notice.action = "Play";
    return notice;
}

} // namespace tw
