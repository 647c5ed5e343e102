#pragma once

#include <memory>
#include <string>
#include <thread>

#include <QDialog>

#include "mainframe/options_checks.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tw {

class Prompt;
class TestMailSender;

/// The six e-mail values of the Voice Mail page, and the connection security.
struct EmailValues
{
    std::string server, userName, password, from, to, subject;
    std::string security = "automatic";
};

/// "E-mail Settings": the mail account and addresses, checked on OK (To, then From, must
/// hold "@"; user name and password at most 31 characters, subject 255), with "Send test
/// e-mail", which sends one mail with the values as they stand and shows the server's answer
/// in plain words. UI thread only.
class CEmailSettingsDlg : public QDialog
{
    Q_OBJECT

public:
    CEmailSettingsDlg(const EmailValues& values, Prompt& prompt, std::string senderName,
                      QWidget* parent = nullptr);
    ~CEmailSettingsDlg() override;

    EmailValues values() const;
    QLineEdit* field(OptionsField which) const;
    QComboBox* securityBox() const { return m_security; }
    QPushButton* testButton() const { return m_testButton; }
    QLabel* testResult() const { return m_testResult; }
    bool isTesting() const { return m_worker.joinable() && !m_testDone; }

    /// Sends the test mail in the background; testFinished() follows on this thread.
    void SendTestMail();
    void accept() override;

signals:
    void testFinished(bool sent);

private:
    void showTestResult(bool sent, const QString& words);
    void stopTest();

    Prompt& m_prompt;
    std::string m_senderName;
    QLineEdit* m_server;
    QLineEdit* m_userName;
    QLineEdit* m_password;
    QLineEdit* m_from;
    QLineEdit* m_to;
    QLineEdit* m_subject;
    QComboBox* m_security;
    QPushButton* m_testButton;
    QLabel* m_testResult;
    std::unique_ptr<TestMailSender> m_sender;
    std::thread m_worker;
    bool m_testDone = false;
};

} // namespace tw
