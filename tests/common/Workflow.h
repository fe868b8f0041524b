#ifndef WORKFLOW_H
#define WORKFLOW_H

#include "PanelDriver.h"

#include <QString>
#include <QStringList>

class SimulatedInstrument;

// How every update and restore ends its log, as PanelDriver::transcript()
// marks the coloured line.
inline const QStringList successBlock = { "[green] Firmware updated successfully.", recordLine,
                                          "You may now close the software." };
inline const QStringList failureBlock = { "[red] Firmware updated unsuccessfully.",
                                          "Check device connections and re-run the software.",
                                          "If problem persists, contact Corvane.", recordLine,
                                          "You may now close the software." };

// The success block of a write the instrument confirmed: what it reports,
// from the parts it holds.
QStringList successBlockOf(const SimulatedInstrument &sim);
// The same for an instrument of model that now holds the shipped firmware.
QStringList successBlockFor(const QString &model);
// In place of the success block where nothing answered after the write;
// its advice, in the window's words.
inline const QString checkAgain = QStringLiteral("Cycle its power, then press Check Versions.");
QStringList notConfirmedBlockOf(const SimulatedInstrument &sim);

// What a failed workflow says it left on the instrument, right after its
// red line.
inline const QString nothingTouched = QStringLiteral("Nothing was erased or written.");
inline const QString mayNotWork = QStringLiteral("The KD740 may not work until it is restored.");
// advice: in place of the line about the device's connections, for a run
// stopped before it touched the instrument.
QStringList failureBlockWith(const QStringList &state, const QString &advice = QString());
inline const QString imageAdvice = QStringLiteral("Reinstall the program, or use the images it shipped with.");
inline const QString batteryAdvice = QStringLiteral("Connect the PC to mains power and run the update again.");
inline const QString stoppedAdvice = QStringLiteral("Nothing was changed; run the update again when ready.");

// How a check that refuses its images ends, in both programs: the problem
// (red in the window), then what it left and what to do.
inline QStringList checkRefusal(const QString &problem)
{
    return { problem, nothingTouched, imageAdvice };
}

// Lets an expected log be written as the lines before a step plus its line.
QStringList operator+(const QStringList &lines, const QString &line);

// Picks the model in the next model selector; nothing when model is empty.
void chooseModelWhenAsked(const QString &model);

// Runs the check as the user would, answering the downgrade question with
// Yes when downgrade is set and the model selector with model when one is
// named, and fails the test, showing the log, unless the check leaves
// workflowButton enabled.
void checkAsUser(PanelDriver &driver, const QString &workflowButton, bool downgrade = false,
                 const QString &model = QString());

// Adds fault lines to the instrument once the check is over, so that they
// count only the workflow's calls.
void armFaults(SimulatedInstrument &sim, const QString &faults);

// What the first instrument holds for each "key value" entry of expected (a
// bare key works too), in the same form, so that a list of expected parts
// compares in one go.
QStringList fields(const SimulatedInstrument &sim, const QStringList &expected);

// Starts the trace afresh and clicks workflowButton, or with keys typed
// presses it where it has the focus in the active window; what the workflow
// wrote to the log, as PanelDriver::transcript() gives it, and optionally the
// milliseconds the click took.
QStringList runWorkflow(SimulatedInstrument &sim, PanelDriver &driver, const QString &workflowButton,
                        qint64 *elapsedMs = nullptr, const QStringList &keys = {});

// That a screen reader heard every line of a workflow, given as transcript()
// gives it, once, in its order, and apart from the busy dialog's steps
// nothing else.
void verifyAllAnnounced(PanelDriver &driver, const QStringList &transcript);

// Checks instrument in the window (answering the model selector with model),
// adds faults and runs workflowButton's workflow: the log must end with
// outcome, said to a screen reader line by line, and the window take no more
// clicks.
void verifyEndShown(const QString &instrument, const QString &workflowButton, const QString &model,
                    const QString &faults, const QStringList &outcome);

// After a write nothing confirmed: Check Versions has the focus, and once
// the instrument's power is cycled, the check it runs finds what was written.
void verifyCheckedAgain(PanelDriver &driver, SimulatedInstrument &sim);

// After an update or restore only the log takes input: its text can still be
// read and copied, while the buttons are disabled.
bool onlyLogEnabled(const PanelDriver &driver);

// A workflow runs once per start of the updater: afterwards only the log is
// enabled, and clicking each button writes nothing and calls nothing.
void verifyTakesNoMoreClicks(PanelDriver &driver, const SimulatedInstrument &sim);

// The lines of a text file without the final line break; none when it
// cannot be read.
QStringList readLines(const QString &path);

#endif
