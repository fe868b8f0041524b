#include "session/Reports.h"

QString checkTitle()
{
    return QStringLiteral("Checking Firmware Versions...");
}

QString updateTitle()
{
    return QStringLiteral("Updating Firmware");
}

QString restoreTitle()
{
    return QStringLiteral("Restoring Device");
}

QStringList bootstrapIntroLines()
{
    return { QStringLiteral("Failed to open KD740 boot device."), QStringLiteral("Looking to bootstrap KD740.") };
}

QStringList notDetectedLines()
{
    return { QStringLiteral("Failed to detect device."),
             QStringLiteral("Cycle the power on the KD740, restart the firmware updater,  and try again."),
             QStringLiteral("If you continue to receive this message, contact Corvane.") };
}

namespace {

const ReportLine closeProgram { QStringLiteral("You may now close the software."), LineTone::Normal,
                                Instruction::CloseProgram };
const ReportLine pressUpdate { QStringLiteral("Press Update to continue."), LineTone::Normal,
                               Instruction::PressUpdate };

} // namespace

QVector<ReportLine> needsRestoreLines(const DeviceStatus &status)
{
    return { { QStringLiteral("Attempting to bootstrap KD740 firmware.") },
             { QString::asprintf("Found serial %d", static_cast<int>(status.serial)) },
             { QStringLiteral("Firmware can now be restored."), LineTone::Normal, Instruction::CanProceed },
             { QStringLiteral("Press Restore to continue."), LineTone::Normal, Instruction::PressRestore } };
}

QStringList foundLines(const DeviceStatus &status)
{
    return { QStringLiteral("Found ") + deviceTypeName(status.deviceType),
             QString::asprintf("Serial %d, with firmware ", static_cast<int>(status.serial))
                 + foundFirmwareText(status) };
}

QVector<ReportLine> offerLines(UpdateOffer offer, bool downgradeAccepted)
{
    switch (offer) {
    case UpdateOffer::Downgrade:
        if (!downgradeAccepted)
            return { { QStringLiteral("Cancelling operation.") } };
        return { { QStringLiteral("Firmware can now be updated."), LineTone::Normal, Instruction::CanProceed },
                 pressUpdate };
    case UpdateOffer::Update: return { { QStringLiteral("Firmware requires update.") }, pressUpdate };
    case UpdateOffer::None: break;
    }
    return { { QStringLiteral("Firmware does not require update.") } };
}

// A run stopped before it touched the instrument has nothing to do with
// its connections.
QString failureAdvice(RunEnd::Kind end)
{
    switch (end) {
    case RunEnd::Kind::ImageUnusable:
        return QStringLiteral("Reinstall the program, or use the images it shipped with.");
    case RunEnd::Kind::LowBattery: return QStringLiteral("Connect the PC to mains power and run the update again.");
    case RunEnd::Kind::Stopped: return QStringLiteral("Nothing was changed; run the update again when ready.");
    case RunEnd::Kind::NoRecord:
        return QStringLiteral("Make room for the record or let its folder be written, then run the update again.");
    default: break;
    }
    return QStringLiteral("Check device connections and re-run the software.");
}

QVector<ReportLine> outcomeLines(RunEnd::Kind end, const QStringList &stateAfterFailure, const QString &recordLine)
{
    QVector<ReportLine> lines;
    if (end == RunEnd::Kind::Success) {
        lines.append({ QStringLiteral("Firmware updated successfully."), LineTone::Success });
    } else {
        lines.append({ QStringLiteral("Firmware updated unsuccessfully."), LineTone::Failure });
        // A technician must not take a half-written instrument for an intact one.
        for (const QString &line : stateAfterFailure)
            lines.append({ line });
        lines.append({ failureAdvice(end) });
        lines.append({ QStringLiteral("If problem persists, contact Corvane.") });
    }
    if (!recordLine.isEmpty())
        lines.append({ recordLine });
    lines.append(closeProgram);
    return lines;
}

QString reportedFirmware(const DeviceStatus &after)
{
    if (!after.fpgaVersionDerived)
        return QStringLiteral("firmware ") + versionString(after.deviceFirmware);
    QStringList read;
    for (const PartStep &part : updateSequence(after.deviceType).parts) {
        if (versionRead(after, part.part))
            read << QStringLiteral("%1 version %2")
                        .arg(QLatin1String(part.name))
                        .arg(partVersion(after.deviceFirmware, part.part));
    }
    return read.join(QStringLiteral(", ")) + QStringLiteral(", and its FPGA loaded");
}

QVector<ReportLine> imageRefusalLines(const QString &problem)
{
    return { { problem, LineTone::Failure },
             { QStringLiteral("Nothing was erased or written.") },
             { failureAdvice(RunEnd::Kind::ImageUnusable) } };
}

QString confirmedLine(const DeviceStatus &before, const DeviceStatus &after)
{
    return QStringLiteral("The %1 now reports %2.").arg(deviceTypeName(before.deviceType), reportedFirmware(after));
}

QVector<ReportLine> notConfirmedLines(const DeviceStatus &status, const QString &recordLine)
{
    QVector<ReportLine> lines {
        { QStringLiteral("Firmware written; not confirmed."), LineTone::Warning },
        { QStringLiteral("The %1 did not answer after the write.").arg(deviceTypeName(status.deviceType)) },
        { QStringLiteral("Cycle its power, then press Check Versions."), LineTone::Normal, Instruction::CheckAgain }
    };
    if (!recordLine.isEmpty())
        lines.append({ recordLine });
    lines.append(closeProgram);
    return lines;
}

QString answerLine(const QString &answer, const QString &by)
{
    return QStringLiteral("answer: ") + answer
        + (by.isEmpty() ? QString() : QStringLiteral(" (") + by + QLatin1Char(')'));
}
