#include "power/WriteGuard.h"

#include <utility>

void WriteGuard::deferEnd()
{
    if (std::exchange(endRequested, true))
        return;
    emit endDeferred(QStringLiteral("Closing when the firmware write has ended."));
}
