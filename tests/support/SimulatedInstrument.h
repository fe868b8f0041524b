#ifndef SIMULATEDINSTRUMENT_H
#define SIMULATEDINSTRUMENT_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// One simulated instrument setup for a test: a scratch directory holding the
// shipped images under firmware/, made the current directory, with the
// simulator pointed at a description and a trace file inside it. Everything
// it changes is put back when it goes away.
class SimulatedInstrument
{
public:
    static constexpr int Erased = -1;

    SimulatedInstrument();
    ~SimulatedInstrument();
    SimulatedInstrument(const SimulatedInstrument &) = delete;
    SimulatedInstrument &operator=(const SimulatedInstrument &) = delete;

    bool isValid() const;
    QString dir() const;
    QString imagePath(const QString &name) const;
    QString descriptionPath() const;

    void setDescription(const QString &text);
    QString description() const;
    // A value of the index-th instrument as the simulator last wrote it,
    // e.g. field(0, "fpga") == "erased"; empty if not there.
    QString field(int index, const QString &key) const;

    // Makes the simulator load the description afresh on its next call, as
    // a newly started updater would: counters, handles and trace numbering
    // start over, the instruments stay as they were left.
    void restart();

    QStringList trace() const;
    // The trace's calls without their status; an image in a run's private
    // folder as "<copy>/NAME".
    QStringList calls() const;
    // The calls up to the read-back that follows a write (its looks start
    // with the first list or open after the last clear, write or preset),
    // and the read-back's calls.
    QStringList writeCalls() const;
    QStringList readBackCalls() const;
    void clearTrace();

    static QString usbInstrument(int model, int serial, int boot, int run, int fpga,
                                 const QString &state = QStringLiteral("normal"));
    static QString netInstrument(int serial, int fx3, int fpga, const QString &state = QStringLiteral("normal"));
    static QString fail(const QString &call, int use = 0);
    // Reports success and changes nothing.
    static QString lost(const QString &call, int use = 0);
    static QString badStatus(const QString &call, int use = 0);
    static QString vanishAfter(int calls);

private:
    struct SavedVariable
    {
        const char *name;
        bool wasSet;
        QByteArray value;
    };

    void setVariable(const char *name, const QByteArray &value);

    QTemporaryDir m_dir;
    QString m_previousDir;
    QList<SavedVariable> m_saved;
};

#endif
