#include "ui/email_settings_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "mainframe/test_mail.h"
#include "platform/prompt.h"

namespace tw {
namespace {

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string s(const QLineEdit* edit)
{
    return edit->text().toStdString();
}

struct SecurityItem
{
    const char* text;
    const char* value;
};
constexpr SecurityItem kSecurityItems[] = {
    {"Automatic (encrypted when the server offers it)", "automatic"},
    {"STARTTLS (required)", "starttls"},
    {"TLS from the start", "tls"},
    {"None (clear text)", "none"},
};

} // namespace

CEmailSettingsDlg::CEmailSettingsDlg(const EmailValues& values, Prompt& prompt,
                                     std::string senderName, QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_senderName(std::move(senderName)),
      m_sender(std::make_unique<TestMailSender>())
{
    setObjectName("EmailSettings");
    setWindowTitle("E-mail Settings");
    auto edit = [this](const std::string& text) {
        auto* e = new QLineEdit(q(text), this);
        e->setMinimumWidth(260);
        return e;
    };
    m_server = edit(values.server);
    m_server->setPlaceholderText("host or host:port");
    m_userName = edit(values.userName);
    m_password = edit(values.password);
    m_password->setEchoMode(QLineEdit::Password);
    m_from = edit(values.from);
    m_to = edit(values.to);
    m_subject = edit(values.subject);
    m_security = new QComboBox(this);
    for (const SecurityItem& item : kSecurityItems)
        m_security->addItem(item.text, item.value);
    const int at = m_security->findData(q(values.security));
    m_security->setCurrentIndex(at < 0 ? 0 : at);

    auto* form = new QFormLayout;
    form->addRow("&SMTP Server:", m_server);
    form->addRow("Se&curity:", m_security);
    form->addRow("&User name:", m_userName);
    form->addRow("&Password:", m_password);
    form->addRow("&From:", m_from);
    form->addRow("&To:", m_to);
    form->addRow("Su&bject:", m_subject);

    m_testButton = new QPushButton("Send &test e-mail", this);
    m_testButton->setAutoDefault(false);
    m_testResult = new QLabel(this);
    m_testResult->setWordWrap(true);
    m_testResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_testResult->setMinimumHeight(m_testResult->fontMetrics().lineSpacing() * 2);
    auto* testRow = new QHBoxLayout;
    testRow->addWidget(m_testButton);
    testRow->addStretch();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(testRow);
    layout->addWidget(m_testResult);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CEmailSettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CEmailSettingsDlg::reject);
    connect(m_testButton, &QPushButton::clicked, this, [this] { SendTestMail(); });
}

CEmailSettingsDlg::~CEmailSettingsDlg()
{
    stopTest();
}

void CEmailSettingsDlg::stopTest()
{
    if (!m_worker.joinable())
        return;
    m_sender->Abort();
    m_worker.join();
}

EmailValues CEmailSettingsDlg::values() const
{
    EmailValues v;
    v.server = s(m_server);
    v.userName = s(m_userName);
    v.password = s(m_password);
    v.from = s(m_from);
    v.to = s(m_to);
    v.subject = s(m_subject);
    v.security = m_security->currentData().toString().toStdString();
    return v;
}

QLineEdit* CEmailSettingsDlg::field(OptionsField which) const
{
    switch (which) {
    case OptionsField::EmailServer:
        return m_server;
    case OptionsField::EmailUserName:
        return m_userName;
    case OptionsField::EmailPassword:
        return m_password;
    case OptionsField::EmailFrom:
        return m_from;
    case OptionsField::EmailTo:
        return m_to;
    case OptionsField::EmailSubject:
        return m_subject;
    default:
        return nullptr;
    }
}

void CEmailSettingsDlg::accept()
{
    const EmailValues v = values();
    if (const OptionsCheck refusal =
            CheckEmailSettings({v.server, v.userName, v.password, v.from, v.to, v.subject})) {
        m_prompt.message(refusal->text, refusal->icon, Prompt::Buttons::Ok);
        if (QLineEdit* edit = field(refusal->field)) {
            edit->setFocus();
            edit->selectAll();
        }
        return;
    }
    stopTest();
    QDialog::accept();
}

void CEmailSettingsDlg::SendTestMail()
{
    if (isTesting())
        return;
    if (m_worker.joinable())
        m_worker.join(); // the previous one has finished
    m_sender = std::make_unique<TestMailSender>();
    const EmailValues v = values();
    if (v.to.find('@') == std::string::npos || v.from.find('@') == std::string::npos) {
        showTestResult(false, "Fill in the From and To addresses first.");
        return;
    }
    TestMailAccount account;
    account.server = v.server;
    account.userName = v.userName;
    account.password = v.password;
    account.from = v.from;
    account.to = v.to;
    account.security = v.security;
    m_testDone = false;
    m_testButton->setEnabled(false);
    m_testResult->setText("Sending a test e-mail to " + q(v.to) + "...");
    // The destructor joins the worker before this object goes, and a queued call to a
    // deleted object is dropped, so the worker may name this dialog as the receiver.
    m_worker = std::thread([this, account] {
        const TestMailResult result = m_sender->Send(account, m_senderName);
        QMetaObject::invokeMethod(
            this,
            [this, result] {
                m_testDone = true;
                showTestResult(result.sent, q(result.words));
            },
            Qt::QueuedConnection);
    });
}

void CEmailSettingsDlg::showTestResult(bool sent, const QString& words)
{
    m_testButton->setEnabled(true);
    m_testResult->setText(words);
    m_testResult->setStyleSheet(sent ? "" : "color: #b00000;");
    emit testFinished(sent);
}

} // namespace tw
