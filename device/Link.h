#ifndef LINK_H
#define LINK_H

#include "catalogue/Catalogue.h"
#include "catalogue/DeviceStatus.h"
#include "device/Unread.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

class LibraryProgress;

// The parts a sequence writes. A network model's FX3 program is its boot part.
enum class FirmwarePart { Boot, Run, Fpga };

// What the calls of one run share.
struct PartSession
{
    const DeviceStatus &status;
    // The boot image a bootstrap on opening loads, as the library is given it.
    const QByteArray bootImage;
    LibraryProgress &progress;
    int handle = unread::handle;
};

// How a sequence reaches the instrument.
enum class OpenMode {
    Found, // the instrument the check found, by its serial
    InBootMode, // whatever answers in boot mode, bootstrapped into it where the link can
};

enum class OpenResult { Opened, NotListed, Failed };

// The calls of one way of reaching an instrument, USB or the network. The
// calls return the library's status.
class Link
{
public:
    virtual ~Link() = default;

    // Looks for an instrument of its kind and reads what it is and holds
    // into status, each line it has to say told to say. False: none of its
    // kind answered, and another link may look.
    virtual bool detect(DeviceStatus &status, const std::function<void(const QString &)> &say) const = 0;

    virtual OpenResult open(PartSession &session, OpenMode mode) const = 0;
    // Starts an instrument that answers nothing from image and reads its
    // serial from flash; the handle is closed after every attempt. True
    // when both calls succeeded.
    virtual bool bootstrap(const char *image, std::int32_t *serial) const = 0;
    virtual int clear(PartSession &session, FirmwarePart part) const = 0;
    // serial: what the part is written with, where its call takes one.
    virtual int write(PartSession &session, FirmwarePart part, const char *image, int serial) const = 0;
    // The last call once the parts are written. Its status is not examined.
    virtual void finish(PartSession &session) const = 0;
    // finish() only lets go of the instrument, so it is also safe after a failure.
    virtual bool finishOnlyReleases() const = 0;
};

const Link &usbLink();
const Link &networkLink();
const Link &linkFor(LinkKind kind);
// The links a check looks through, in order: a network instrument answers
// the device list without being opened, and the USB link's last look is
// for whatever answers in boot mode.
std::vector<const Link *> linksToLookThrough();

#endif
