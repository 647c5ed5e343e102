#include "sim/redirect_value.h"

#include <QRegularExpression>

namespace tw::sim {

bool parseRedirectValue(const QString& text, std::vector<RedirectTarget>* targets)
{
    targets->clear();
    static const QRegularExpression start(QStringLiteral("^(SOUNDCARD|PORT|FILE)=\""),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression next(QStringLiteral("^\", (SOUNDCARD|PORT|FILE)=\""),
                                         QRegularExpression::CaseInsensitiveOption);
    qsizetype pos = 0;
    while (pos < text.size()) {
        const auto head = start.match(text.mid(pos));
        if (!head.hasMatch())
            return false;
        const QString kind = head.captured(1).toUpper();
        const qsizetype valueStart = pos + head.capturedLength();
        // Find the closing quote: the last character, or one followed by ", KIND=\"".
        qsizetype end = -1;
        for (qsizetype q = text.indexOf('"', valueStart); q >= 0; q = text.indexOf('"', q + 1)) {
            if (q == text.size() - 1 || next.match(text.mid(q)).hasMatch()) {
                end = q;
                break;
            }
        }
        if (end < 0)
            return false;
        targets->push_back({kind, text.mid(valueStart, end - valueStart)});
        pos = end + 1;
        if (pos < text.size())
            pos += 2; // ", "
    }
    return true;
}

} // namespace tw::sim
