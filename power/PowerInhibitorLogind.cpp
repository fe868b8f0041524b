#include "power/PowerInhibitor.h"

#include "catalogue/OutsideText.h"
#include "power/SystemBus.h"

#include <QString>
#include <QStringList>

#include <iterator>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {

// logind may ask polkit before it answers; a system that takes longer than
// this, from connecting to the last answer, only means the write goes on
// unprotected.
constexpr std::chrono::milliseconds answerLimit(3000);

// Asked for separately, so that a system that refuses one still grants the
// other. With logind's default LidSwitchIgnoreInhibited=yes a sleep lock
// does not stop the suspend that closing a laptop's lid starts; only the
// lid's own lock does.
const char *const locks[] = { "sleep:shutdown:idle", "handle-lid-switch" };

} // namespace

PowerInhibitor::PowerInhibitor(std::uintptr_t window)
    : window(window)
{
}

PowerInhibitor::~PowerInhibitor()
{
    release();
}

// logind keeps each lock for as long as the descriptor it hands back is open
// anywhere; the copies kept here are not passed on to child processes.
std::string PowerInhibitor::hold(const std::function<bool()> &givesUp)
{
    static_assert(sizeof held / sizeof held[0] == std::size(locks), "one descriptor per lock");
    std::vector<SystemBus::Call> calls;
    for (const char *what : locks) {
        calls.push_back({ "org.freedesktop.login1",
                          "/org/freedesktop/login1",
                          "org.freedesktop.login1.Manager",
                          "Inhibit",
                          { what, "KD740 Firmware Updater", "Writing firmware to the KD740", "block" } });
    }
    const std::vector<SystemBus::Answer> answers = SystemBus::callForDescriptors(calls, answerLimit, givesUp);

    // A reason may be the bus's or logind's own words: they are shown as text.
    const auto reason = [&](std::size_t i) { return untrustedText(QString::fromStdString(answers[i].problem)); };
    QStringList problems;
    for (std::size_t i = 0; i < answers.size(); ++i) {
        held[i] = answers[i].descriptor;
        if (held[i] < 0)
            problems << QString::fromLatin1(locks[i]) + QStringLiteral(": ") + reason(i);
    }
    // Nothing reached logind: one reason says it all.
    if (problems.size() == static_cast<int>(answers.size()) && answers.front().problem == answers.back().problem)
        problems = QStringList(reason(0));
    // A run that stopped writes nothing: there is nothing to warn of.
    if (problems.isEmpty() || (givesUp && givesUp()))
        return std::string();
    const QString warning = QStringLiteral("Cannot keep the PC awake while firmware is written: ")
        + problems.join(QStringLiteral("; "));
    return warning.toStdString();
}

void PowerInhibitor::release()
{
    for (int &descriptor : held) {
        if (descriptor >= 0)
            close(std::exchange(descriptor, -1));
    }
}
