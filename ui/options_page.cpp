#include "ui/options_page.h"

#include <QLineEdit>

#include "platform/prompt.h"

namespace tw {

COptionsPage::COptionsPage(const QString& title, const OptionsContext& context, QWidget* parent)
    : QWidget(parent), m_title(title), m_context(context)
{
    setObjectName(title);
}

bool COptionsPage::passes(const OptionsCheck& refusal, QWidget* field)
{
    if (!refusal)
        return true;
    prompt().message(refusal->text, refusal->icon, Prompt::Buttons::Ok);
    if (field) {
        field->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(field))
            edit->selectAll();
    }
    return false;
}

} // namespace tw
