#include "FileAccess.h"

#include "SimulatedInstrument.h"

#include <QFile>

#include <csignal>

#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t nobody = 65534;

} // namespace

bool makeUnreadable(const QString &path)
{
    return QFile::setPermissions(path, QFileDevice::Permissions());
}

QString missingSpecialFile(SpecialFile)
{
    return QString();
}

// The signal that a write past the limit sends is ignored, so that the
// write fails instead.
QString limitFileSize(qint64 bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit {};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return QStringLiteral("no file size limit to read");
    limit.rlim_cur = bytes < 0 ? limit.rlim_max : static_cast<rlim_t>(bytes);
    return setrlimit(RLIMIT_FSIZE, &limit) == 0 ? QString() : QStringLiteral("the file size limit cannot be set");
}

bool replaceWithSpecialFile(const QString &path, SpecialFile kind)
{
    if (!QFile::remove(path))
        return false;
    switch (kind) {
    case SpecialFile::DanglingLink: return QFile::link(path + ".gone", path);
    case SpecialFile::Device: return QFile::link(QStringLiteral("/dev/null"), path);
    case SpecialFile::Fifo: return mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
    }
    return false;
}

// Root reads a file whatever its mode. The scratch directory is opened to the
// unprivileged user so that it still reaches the other images, the
// description and the trace.
UnprivilegedFileAccess::UnprivilegedFileAccess(const SimulatedInstrument &sim)
{
    if (geteuid() != 0)
        return;
    const auto browse = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
        | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
    const auto writable = browse | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    QFile::setPermissions(sim.dir(), writable);
    QFile::setPermissions(sim.imagePath(QString()), browse);
    setfsuid(nobody);
    m_changed = setfsuid(nobody) == int(nobody);
}

UnprivilegedFileAccess::~UnprivilegedFileAccess()
{
    if (m_changed)
        setfsuid(0);
}

bool UnprivilegedFileAccess::canRead(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}
