#include "TextOutput.h"

#include "Terminal.h"

#include "catalogue/OutsideText.h"

namespace {

const char *const successEscape = "\x1b[32m";
const char *const failureEscape = "\x1b[31m";
const char *const warningEscape = "\x1b[33m";
const char *const resetEscape = "\x1b[0m";

// Anyone who asks for no colour, in the common way, gets none.
bool colourWanted()
{
    return qEnvironmentVariableIsEmpty("NO_COLOR") && prepareTerminal(stdout);
}

// The progress as one line: what is being done, and for how long.
QString progressLine(const ProgressEvent &event)
{
    return event.step + QStringLiteral(" - ") + event.elapsed;
}

// The progress line within columns (0: any width), shortened in its words:
// the percentage and the elapsed time stay whole, even where nothing else fits.
QString fittedProgressLine(const StepEvent &step, const ProgressEvent &event, int columns)
{
    const QString elapsed = event.elapsed.section(QLatin1Char(','), 0, 0); // "2:35 elapsed"
    const QString clock = elapsed.section(QLatin1Char(' '), 0, 0); // "2:35"
    const QString percent = event.percent >= 0 ? QStringLiteral("%1 % ").arg(event.percent) : QString();
    const QString what = step.index > 0 ? QStringLiteral("%1/%2 %3").arg(step.index).arg(step.count).arg(step.part)
                                        : step.text;
    const QStringList candidates { progressLine(event), event.step + QStringLiteral(" - ") + elapsed,
                                   what + QLatin1Char(' ') + percent + clock, percent + clock };
    for (const QString &candidate : candidates) {
        // A line that wraps could not be rewritten in place.
        if (columns <= 0 || candidate.size() < columns)
            return candidate;
    }
    return candidates.last();
}

// Only the program's own escapes (the colours) reach the terminal.
QByteArray terminalText(const QString &text)
{
    return shownLine(text).toUtf8();
}

void writeLine(std::FILE *stream, const QByteArray &text)
{
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

TextOutput::TextOutput(bool quiet)
    : quiet(quiet)
    , colour(colourWanted())
    , progressInPlace(isTerminal(stderr))
{
}

TextOutput::~TextOutput()
{
    hideProgress();
}

void TextOutput::line(const QString &text, LineTone tone)
{
    if (quiet)
        return;
    hideProgress();
    QByteArray bytes = terminalText(text);
    if (colour && tone != LineTone::Normal)
        bytes = (tone == LineTone::Success       ? successEscape
                     : tone == LineTone::Warning ? warningEscape
                                                 : failureEscape)
            + bytes + resetEscape;
    writeLine(stdout, bytes);
}

void TextOutput::step(const StepEvent &event)
{
    reportedMinutes = -1;
    currentStep = event;
    if (event.text.isEmpty()) {
        hideProgress();
        shownProgress.clear();
    }
}

void TextOutput::progress(const ProgressEvent &event)
{
    if (quiet)
        return;
    if (progressInPlace) {
        showProgress(fittedProgressLine(currentStep, event, terminalColumns(stderr)));
    } else if (event.seconds / 60 > reportedMinutes) {
        reportedMinutes = event.seconds / 60;
        writeLine(stderr, terminalText(progressLine(event)));
    }
}

void TextOutput::call(const CallEvent &)
{
}

// The log lines tell what the check found.
void TextOutput::instrument(const InstrumentFindings &)
{
}

// The log has the record's line.
void TextOutput::record(const QString &)
{
}

void TextOutput::notice(const QString &text)
{
    hideProgress();
    writeLine(stderr, QByteArrayLiteral("kd740-flash: ") + terminalText(text));
}

void TextOutput::outcome(const Outcome &outcome)
{
    hideProgress();
    shownProgress.clear();
    if (!outcome.message.isEmpty() && !outcome.logSaidIt)
        writeLine(stderr, QByteArrayLiteral("kd740-flash: ") + terminalText(outcome.message));
}

void TextOutput::showProgress(const QString &text)
{
    const QByteArray bytes = terminalText(text);
    QByteArray shown = '\r' + bytes;
    // What is left of a longer line before is blanked.
    if (shownProgress.size() > bytes.size())
        shown += QByteArray(shownProgress.size() - bytes.size(), ' ');
    std::fwrite(shown.constData(), 1, static_cast<size_t>(shown.size()), stderr);
    std::fflush(stderr);
    shownProgress = bytes;
}

// The log lines go above the progress line, which stays the last one. What
// it said is out of date by then (a step already over, its time): the next
// progress draws it afresh.
void TextOutput::hideProgress()
{
    if (!progressInPlace || shownProgress.isEmpty())
        return;
    const QByteArray blank = '\r' + QByteArray(shownProgress.size(), ' ') + '\r';
    std::fwrite(blank.constData(), 1, static_cast<size_t>(blank.size()), stderr);
    std::fflush(stderr);
    shownProgress.clear();
}
