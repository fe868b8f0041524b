#include "JsonOutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

QString toneName(LineTone tone)
{
    switch (tone) {
    case LineTone::Success: return QStringLiteral("success");
    case LineTone::Failure: return QStringLiteral("failure");
    case LineTone::Warning: return QStringLiteral("warning");
    case LineTone::Normal: break;
    }
    return QStringLiteral("normal");
}

} // namespace

JsonOutput::JsonOutput(bool quiet)
    : quiet(quiet)
{
}

void JsonOutput::write(const QString &event, QJsonObject object)
{
    object.insert(QStringLiteral("event"), event);
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void JsonOutput::line(const QString &text, LineTone tone)
{
    write(QStringLiteral("line"), { { QStringLiteral("text"), text }, { QStringLiteral("tone"), toneName(tone) } });
}

void JsonOutput::step(const StepEvent &event)
{
    reportedMinutes = -1;
    reportedPercent = -1;
    if (event.text.isEmpty())
        return;
    QJsonObject object { { QStringLiteral("text"), event.text } };
    if (event.index > 0) {
        object.insert(QStringLiteral("index"), event.index);
        object.insert(QStringLiteral("count"), event.count);
        object.insert(QStringLiteral("part"), event.part);
        object.insert(QStringLiteral("expected_seconds"), event.expectedSeconds);
    }
    write(QStringLiteral("step"), object);
}

void JsonOutput::progress(const ProgressEvent &event)
{
    if (quiet
        || (event.seconds / 60 <= reportedMinutes && event.percent == reportedPercent && event.step == reportedStep))
        return;
    reportedMinutes = event.seconds / 60;
    reportedPercent = event.percent;
    reportedStep = event.step;
    QJsonObject object { { QStringLiteral("step"), event.step },
                         { QStringLiteral("elapsed"), event.elapsed },
                         { QStringLiteral("seconds"), event.seconds } };
    if (event.percent >= 0)
        object.insert(QStringLiteral("percent"), event.percent);
    write(QStringLiteral("progress"), object);
}

void JsonOutput::call(const CallEvent &event)
{
    write(QStringLiteral("call"),
          { { QStringLiteral("name"), event.name },
            { QStringLiteral("arguments"), event.arguments },
            { QStringLiteral("status"), event.status },
            { QStringLiteral("milliseconds"), event.microseconds / 1000.0 } });
}

void JsonOutput::instrument(const InstrumentFindings &event)
{
    QJsonArray parts;
    for (const PartVersions &part : event.parts) {
        // A boot-mode instrument tells no versions.
        const QJsonValue found = part.found < 0 ? QJsonValue() : QJsonValue(part.found);
        parts.append(QJsonObject { { QStringLiteral("part"), part.part },
                                   { QStringLiteral("found"), found },
                                   { QStringLiteral("shipped"), part.shipped } });
    }
    QJsonObject found { { QStringLiteral("model"), event.model },
                        { QStringLiteral("serial"), event.serial },
                        { QStringLiteral("link"), event.link },
                        { QStringLiteral("parts"), parts },
                        { QStringLiteral("firmware_found"),
                          event.firmwareFound.isEmpty() ? QJsonValue() : QJsonValue(event.firmwareFound) },
                        { QStringLiteral("firmware_shipped"), event.firmwareShipped },
                        { QStringLiteral("offer"), event.offer } };
    if (event.imagesSigner.isEmpty()) {
        found.insert(QStringLiteral("images"), QStringLiteral("unsigned"));
    } else {
        found.insert(QStringLiteral("images"), QStringLiteral("signed"));
        found.insert(QStringLiteral("key"), event.imagesSigner);
        found.insert(QStringLiteral("comment"), event.imagesComment);
    }
    write(QStringLiteral("instrument"), found);
}

void JsonOutput::record(const QString &path)
{
    write(QStringLiteral("record"), { { QStringLiteral("path"), path } });
}

void JsonOutput::notice(const QString &text)
{
    write(QStringLiteral("notice"), { { QStringLiteral("text"), text } });
}

void JsonOutput::outcome(const Outcome &outcome)
{
    QJsonObject object { { QStringLiteral("result"), outcome.result },
                         { QStringLiteral("exit"), outcome.exitCode },
                         { QStringLiteral("record_complete"), outcome.recordComplete } };
    if (!outcome.message.isEmpty())
        object.insert(QStringLiteral("message"), outcome.message);
    if (!outcome.failedPart.isEmpty())
        object.insert(QStringLiteral("part"), outcome.failedPart);
    if (!outcome.failedCall.isEmpty())
        object.insert(QStringLiteral("call"), outcome.failedCall);
    if (outcome.batteryPercent >= 0)
        object.insert(QStringLiteral("battery"), outcome.batteryPercent);
    // Logged outside the PC, they anchor the records' chain.
    if (!outcome.recordPath.isEmpty())
        object.insert(QStringLiteral("record"), outcome.recordPath);
    if (!outcome.recordDigest.isEmpty())
        object.insert(QStringLiteral("record_sha256"), outcome.recordDigest);
    if (!outcome.parts.isEmpty()) {
        QJsonArray parts;
        // null: not known (boot mode), or nothing answered after the write.
        const auto version = [](int value) { return value < 0 ? QJsonValue() : QJsonValue(value); };
        for (const PartState &part : outcome.parts) {
            QJsonObject state { { QStringLiteral("part"), part.part },
                                { QStringLiteral("state"), part.state },
                                { QStringLiteral("shipped"), version(part.shipped) },
                                { QStringLiteral("found"), version(part.found) },
                                { QStringLiteral("read_back"), version(part.readBack) } };
            // A version that cannot be read: only whether the part loaded.
            if (!part.readBackLoad.isEmpty())
                state.insert(QStringLiteral("read_back_status"), part.readBackLoad);
            parts.append(state);
        }
        object.insert(QStringLiteral("parts"), parts);
    }
    if (!outcome.reported.isEmpty())
        object.insert(QStringLiteral("reported"), QJsonArray::fromStringList(outcome.reported));
    if (!outcome.disagreements.isEmpty())
        object.insert(QStringLiteral("disagreements"), QJsonArray::fromStringList(outcome.disagreements));
    write(QStringLiteral("outcome"), object);
}
