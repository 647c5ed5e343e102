// The Options dialog: the pages' checks keep the user on the page with their message, the
// Audio page's lists with and without LAME, Cancel and pages never shown change nothing, the
// greeting page's own file, and the E-mail Settings dialog with its test mail against a
// loopback SMTP server.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "mainframe/greeting_choice.h"
#include "mainframe/settings.h"
#include "platform/scripted_prompt.h"
#include "tests/mail/smtp_server_process.h"
#include "ui/email_settings_dialog.h"
#include "ui/options_dialog.h"
#include "ui/options_pages.h"
#include "ui_test_util.h"

using namespace tw;

class OptionsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    ScriptedPrompt m_prompt;
    OptionsContext m_context;

    std::string lastMessage() const
    {
        return m_prompt.messages().empty() ? "" : m_prompt.messages().back().text;
    }

private slots:
    void init()
    {
        m_prompt = ScriptedPrompt();
        m_context = OptionsContext();
        m_context.prompt = &m_prompt;
        m_context.greetingFolder = m_dir.path().toStdString();
        m_context.previewOutput = test::FakeOutputFactory();
    }

    void numbersOutOfRangeKeepTheVoiceMailPage()
    {
        CSettings copy;
        CPSOpt dialog(copy, m_context);
        QVERIFY(dialog.ShowPage(1));
        auto* page = dialog.find<CPPOptVoiceMail>();
        page->waitingPeriod->setText("31");
        QVERIFY(!dialog.ShowPage(2));
        QCOMPARE(dialog.currentPage(), 1);
        QCOMPARE(lastMessage(), std::string("Please enter an integer between 0 and 30."));
        page->waitingPeriod->setText("30");
        page->maxLength->setText("29");
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected)); // still open
        QCOMPARE(lastMessage(), std::string("Please enter an integer between 30 and 300."));
        page->maxLength->setText("300");
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(copy.nVoiceMailWaitingPeriod, 30);
        QCOMPARE(copy.nVoiceMailMaxLength, 300);
    }

    void mailingWithAnEmptyServerKeepsThePage()
    {
        CSettings copy;
        copy.EmailUserName = "alice";
        copy.EmailFrom = "me@example.com";
        copy.EmailTo = "bob@example.com";
        CPSOpt dialog(copy, m_context);
        dialog.ShowPage(1);
        auto* page = dialog.find<CPPOptVoiceMail>();
        page->emailVoiceMail->setChecked(true);
        QVERIFY(!dialog.ShowPage(0));
        QCOMPARE(lastMessage(), std::string("The e-mail setting is not completed yet."));
        QCOMPARE(m_prompt.messages().back().icon, Prompt::Icon::Information);

        // The server filled in through the E-mail Settings dialog; password stays empty.
        page->runEmailDialog = [](CEmailSettingsDlg& emailDialog) {
            emailDialog.field(OptionsField::EmailServer)->setText("mail.example.com");
            emailDialog.accept();
            return emailDialog.result();
        };
        page->EditEmailSettings();
        QVERIFY(page->emailEdited());
        QVERIFY(dialog.ShowPage(0));
        dialog.accept();
        QCOMPARE(copy.EmailServer, std::string("mail.example.com"));
        QVERIFY(copy.fVoiceMailEmail);
    }

    void transferWithoutANameKeepsThePage()
    {
        CSettings copy;
        CPSOpt dialog(copy, m_context);
        dialog.ShowPage(3);
        auto* page = dialog.find<CPPOptCallTransfer>();
        page->enable->setChecked(true);
        QVERIFY(!dialog.ShowPage(4));
        QCOMPARE(dialog.currentPage(), 3);
        QCOMPARE(
            lastMessage(),
            std::string("You must assign a Skype name or a telephone number for call transfer."));
        page->skypeName->setText("echo123");
        QVERIFY(dialog.ShowPage(4));
    }

    void audioChoicesWithAndWithoutLame()
    {
        CSettings copy;
        copy.nACodec = 3;
        copy.nACodecForEmail = 4;
        {
            CPSOpt dialog(copy, m_context);
            dialog.ShowPage(5);
            auto* page = dialog.find<CPPOptAudio>();
            QCOMPARE(page->recording->count(), 4);
            QCOMPARE(page->recording->currentText(), QString("Acceptable"));
            QCOMPARE(page->email->currentText(), QString("Good")); // no LAME here
            QCOMPARE(page->channels->currentText(), QString("Double"));
            page->recording->setCurrentText("Normal (mp3)");
            page->channels->setCurrentIndex(0);
            dialog.accept();
        }
        QCOMPARE(copy.nACodec, 2);
        QCOMPARE(copy.nACodecForEmail, 1);
        QCOMPARE(copy.nAFormatMode, 0);

        m_context.lameAvailable = true;
        copy.nACodecForEmail = 4;
        CPSOpt dialog(copy, m_context);
        dialog.ShowPage(5);
        auto* page = dialog.find<CPPOptAudio>();
        QCOMPARE(page->email->count(), 5);
        QCOMPARE(page->email->itemText(4), QString("LAME mp3"));
        QCOMPARE(page->email->currentText(), QString("LAME mp3"));
    }

    void cancelAndPagesNeverShownChangeNothing()
    {
        CSettings copy;
        copy.nACodec = 4; // LAME gone meanwhile: the Audio page would show "Good"
        copy.nVoiceMailWaitingPeriod = 12;
        {
            CPSOpt dialog(copy, m_context);
            dialog.find<CPPOptGeneral>()->alwaysOnTop->setChecked(true);
            dialog.ShowPage(1);
            dialog.find<CPPOptVoiceMail>()->waitingPeriod->setText("25");
            dialog.reject();
        }
        QVERIFY(!copy.fAlwaysOnTop);
        QCOMPARE(copy.nVoiceMailWaitingPeriod, 12);
        {
            CPSOpt dialog(copy, m_context);
            dialog.find<CPPOptGeneral>()->alwaysOnTop->setChecked(true);
            dialog.find<CPPOptVoiceMail>()->waitingPeriod->setText("25"); // never shown
            dialog.accept();
        }
        QVERIFY(copy.fAlwaysOnTop);
        QCOMPARE(copy.nVoiceMailWaitingPeriod, 12);
        QCOMPARE(copy.nACodec, 4);
    }

    void theDesktopNotificationSwitchIsOnTheGeneralPage()
    {
        CSettings copy;
        QVERIFY(copy.fDesktopNotify);
        CPSOpt dialog(copy, m_context);
        auto* page = dialog.find<CPPOptGeneral>();
        QVERIFY(page->desktopNotify->isChecked());
        page->desktopNotify->setChecked(false);
        dialog.accept();
        QVERIFY(!copy.fDesktopNotify);
    }

    void choosingThePendingFileItselfOnlySaysSo()
    {
        const std::string pending = m_dir.filePath("file1.wav").toStdString();
        QVERIFY(test::WriteFile(pending, "not touched"));
        CSettings copy;
        CPSOpt dialog(copy, m_context);
        dialog.ShowPage(1);
        auto* page = dialog.find<CPPOptVoiceMail>();
        m_prompt.queueChoice(pending);
        page->load_->click();
        QCOMPARE(m_prompt.messages().size(), size_t(1));
        QCOMPARE(lastMessage(), std::string(kTextAlreadyGreetingFile));
        QVERIFY(!page->greeting().filePending());
    }

    void theRecordedKindFallsBackWhenTheRecorderIsCancelled()
    {
        int runs = 0;
        m_context.recorder = [&](const std::string&, bool&) {
            ++runs;
            return false;
        };
        CSettings copy;
        CPSOpt dialog(copy, m_context);
        dialog.ShowPage(1);
        auto* page = dialog.find<CPPOptVoiceMail>();
        page->kindRecorded->click();
        QCOMPARE(runs, 1);
        QVERIFY(page->kindList->isChecked());
        dialog.accept();
        QCOMPARE(copy.nGreetingType, 0);
    }

    void thePreviewPlaysTheChosenGreetingAndStops()
    {
        const QString list = "[Greeting]\nnNumOfGreeting=1\nName1=Hello\nFile1=hello.wav\n";
        QVERIFY(test::WriteFile(m_dir.filePath("greeting.ini").toStdString(), list.toUtf8()));
        QVERIFY(QFile::copy(QString(TW_SOURCE_DIR) + "/data/greetings/beep.wav",
                            m_dir.filePath("hello.wav")));
        CSettings copy;
        CPSOpt dialog(copy, m_context);
        dialog.ShowPage(1);
        auto* page = dialog.find<CPPOptVoiceMail>();
        QCOMPARE(page->greetingList->currentText(), QString("Hello"));
        page->play->click();
        QVERIFY(page->isPlaying());
        page->stop->click();
        QVERIFY(!page->isPlaying());
        page->play->click();
        QVERIFY(page->isPlaying());
        QVERIFY(dialog.ShowPage(0)); // leaving the page stops it
        QVERIFY(!page->isPlaying());
        QVERIFY(m_prompt.messages().empty());
        QFile::remove(m_dir.filePath("greeting.ini"));
    }

    void emailAddressesAreCheckedToFirst()
    {
        EmailValues values{"smtp", "alice", "", "no-at", "also-no-at", "Default", "automatic"};
        CEmailSettingsDlg dialog(values, m_prompt, "Tellwick");
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(lastMessage(), std::string("The receiver address is not valid!"));
        dialog.field(OptionsField::EmailTo)->setText("bob@example.com");
        dialog.accept();
        QCOMPARE(lastMessage(), std::string("The sender address is not valid!"));
        dialog.field(OptionsField::EmailFrom)->setText("me@example.com");
        dialog.securityBox()->setCurrentIndex(2);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.values().security, std::string("tls"));
    }

    void theTestMailReachesTheServerAndAWrongPasswordIsSaidSo()
    {
        test::SmtpServerProcess server({"--user", "alice", "--password", "s3cret"});
        QVERIFY(server.isRunning());
        EmailValues values{server.address(),  "alice",   "wrong",    "me@example.com",
                           "bob@example.com", "Default", "automatic"};
        CEmailSettingsDlg dialog(values, m_prompt, "Tellwick");
        QSignalSpy finished(&dialog, &CEmailSettingsDlg::testFinished);
        dialog.testButton()->click();
        QVERIFY(finished.wait(15000));
        QCOMPARE(finished.takeFirst().at(0).toBool(), false);
        QVERIFY2(dialog.testResult()->text().contains("refused the user name or password"),
                 qPrintable(dialog.testResult()->text()));
        QCOMPARE(server.messageCount(), size_t(0));

        dialog.field(OptionsField::EmailPassword)->setText("s3cret");
        dialog.testButton()->click();
        QVERIFY(finished.wait(15000));
        QCOMPARE(finished.takeFirst().at(0).toBool(), true);
        QVERIFY2(dialog.testResult()->text().contains("250"),
                 qPrintable(dialog.testResult()->text()));
        QCOMPARE(server.messageCount(), size_t(1));
    }
};

QTEST_MAIN(OptionsTest)
#include "options_test.moc"
