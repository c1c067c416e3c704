// A registered service whose operations do nothing: it stands in the registry
// for a device service this platform does not have, so callers need no test.
#pragma once

#include "framework/services/Service.h"
#include "framework/services/ServiceIds.h"

#include <cstdint>

class NullService : public Service {
public:
    static constexpr uint32_t kServiceId = ServiceId::NullService;

    NullService() : Service(kServiceId) {}
    // Clears the application's cached pointer when it names this service.
    ~NullService() override;

    virtual void run() {}
    virtual int query1() { return 0; }
    virtual int query2() { return 0; }
    virtual int query3() { return 0; }
    virtual int query4() { return 0; }
    virtual int query5() { return 0; }
};

// Makes and registers the null service; null when memory runs out.
NullService* createNullService();
// The application's null service, made on first use and cached in it.
NullService* getNullService();
// Lets getNullService make the null service.
void installNullServiceCreator();
