#include <QBoxLayout>
#include <QComboBox>
#include <QFormLayout>

#include "mainframe/settings.h"
#include "ui/options_layout.h"
#include "ui/options_pages.h"

namespace tw {
namespace {

void fillQuality(QComboBox* box, const std::vector<QualityChoice>& choices, int value)
{
    box->clear();
    for (const QualityChoice& choice : choices)
        box->addItem(QString::fromStdString(choice.text));
    box->setCurrentIndex(QualityChoiceIndex(choices, value));
}

} // namespace

CPPOptAudio::CPPOptAudio(const OptionsContext& context, QWidget* parent)
    : COptionsPage("Audio", context, parent)
{
    QBoxLayout* column = pageColumn(this);
    auto* form = new QFormLayout;
    recording = new QComboBox(this);
    email = new QComboBox(this);
    channels = new QComboBox(this);
    form->addRow("Voice quality for &recording:", recording);
    form->addRow("Voice quality for &e-mail attachment:", email);
    form->addRow("Nu&mber of channels for conversation records:", channels);
    column->addLayout(form);
    column->addStretch();
}

void CPPOptAudio::load(const CSettings& s)
{
    const auto choices = AudioQualityChoices(context().lameAvailable);
    fillQuality(recording, choices, s.nACodec);
    fillQuality(email, choices, s.nACodecForEmail);
    channels->clear();
    for (const std::string& text : ChannelChoices())
        channels->addItem(QString::fromStdString(text));
    channels->setCurrentIndex(s.nAFormatMode == 0 ? 0 : 1);
}

void CPPOptAudio::save(CSettings& s)
{
    s.nACodec = QualityValueOfText(recording->currentText().toStdString());
    s.nACodecForEmail = QualityValueOfText(email->currentText().toStdString());
    s.nAFormatMode = channels->currentIndex();
}

} // namespace tw
