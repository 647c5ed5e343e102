#pragma once

#include <vector>

#include <QObject>
#include <QString>
#include <QStringList>

#include "sim/sim_model.h"

namespace tw::sim {

/// A scenario file: timed steps run against the model once started (see README.md).
class SimScript : public QObject
{
    Q_OBJECT

public:
    struct Step
    {
        qint64 atMs = 0;
        QStringList words;
        int line = 0;
    };

    /// Parses the file; false with a message naming the line on any error.
    bool load(const QString& path, QString* error);
    /// Parses text already read (what load() does after reading).
    bool parse(const QString& text, QString* error);
    const std::vector<Step>& steps() const { return m_steps; }

    /// Schedules every step relative to now.
    void start(SimModel& model);

Q_SIGNALS:
    void warning(const QString& text);
    void finished();

private:
    void run(SimModel& model, const Step& step);

    std::vector<Step> m_steps;
    bool m_started = false;
};

} // namespace tw::sim
