#pragma once

#include "system/os_version.h"

// Tells systems from Windows Vista on from older ones by the kernel's major
// version. The function lookup is made on the first question only; a lookup
// that found nothing is not repeated.
class VistaProbe {
public:
    using Lookup = RtlGetVersionFn (*)();

    explicit VistaProbe(Lookup lookup) : lookup_(lookup) {}

    // True when RtlGetVersion is there, succeeds and reports 6 or more.
    bool IsVistaOrLater();

private:
    Lookup lookup_;
    bool lookedUp_ = false;
    RtlGetVersionFn rtlGetVersion_ = nullptr;
};

// The run's own probe.
bool IsVistaOrLater();

// The two registry settings that switch root certificate auto update off: the
// setup component (before Vista only) and the AuthRoot policy.
void CheckRootAutoUpdate();
void CheckRootAutoUpdate(VistaProbe& probe);
