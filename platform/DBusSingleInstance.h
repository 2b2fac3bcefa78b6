#pragma once

#include "platform/SingleInstance.h"

#include <QString>

#include <memory>

namespace kelpie {

// The session's one Kelpie over the session D-Bus: the owner of the name
// io.kelpie.Kelpie exports the object /io/kelpie/Kelpie with the interface
// io.kelpie.Kelpie, whose method CaptureNow() a later process calls. The
// name is never queued for and never replaced, so of two processes that
// start together exactly one owns it; the bus frees it when the owner ends.
class DBusSingleInstance final : public SingleInstance {
public:
    static QString serviceName();   // io.kelpie.Kelpie
    static QString objectPath();    // /io/kelpie/Kelpie
    static QString interfaceName(); // io.kelpie.Kelpie

    DBusSingleInstance();
    ~DBusSingleInstance() override;

    Result<bool, Error> claim() override;
    Status<Error> handOver(Request request) override;

private:
    class Adaptor;
    std::unique_ptr<Adaptor> m_adaptor;
    bool m_owner = false;
};

} // namespace kelpie
