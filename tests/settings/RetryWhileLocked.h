#pragma once

#include "settings/PreferencesStore.h"

namespace kelpie::test {

// Other writers hold the settings lock only briefly, and the store waits for
// them only a moment; a writer that may wait longer tries again.
template<typename Write> Status<PreferencesError> retryWhileLocked(Write write)
{
    for (;;) {
        auto written = write();
        if (written || written.error() != PreferencesError::locked)
            return written;
    }
}

} // namespace kelpie::test
