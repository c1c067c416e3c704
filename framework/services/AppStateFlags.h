// Four flag bytes of the application's state; the first stops drawing.
#pragma once

#include "framework/services/Service.h"
#include "framework/services/ServiceIds.h"

class AppStateFlags : public Service {
public:
    AppStateFlags() : Service(ServiceId::AppStateFlags) {}

    bool noDrawing() const { return m_flags[0] != 0; }

    uint8_t m_flags[4] = {};
};

AppStateFlags* getAppStateFlags();
