#include "app/launcher/QuickHandOver.h"

#include <dbus/dbus.h>

#include <cstring>
#include <memory>

namespace kelpie::QuickHandOver {

namespace {

// The running Kelpie's object on the session bus (as it exports it).
constexpr const char* service = "io.kelpie.Kelpie";
constexpr const char* path = "/io/kelpie/Kelpie";
constexpr const char* interface = "io.kelpie.Kelpie";
// As long as the toolkit's hand-over waits for an owner that is busy.
constexpr int timeoutMs = 10'000;

struct ConnectionClose {
    void operator()(DBusConnection* connection) const
    {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
};
struct MessageUnref {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};

} // namespace

bool wanted(int argc, const char* const argv[])
{
    return argc == 2 && std::strcmp(argv[1], "--capture-now") == 0;
}

bool captureNow()
{
    DBusError error;
    dbus_error_init(&error);
    // A private connection, closed here: the program that may follow opens
    // its own.
    std::unique_ptr<DBusConnection, ConnectionClose> bus(
        dbus_bus_get_private(DBUS_BUS_SESSION, &error));
    if (!bus) {
        dbus_error_free(&error);
        return false;
    }
    dbus_connection_set_exit_on_disconnect(bus.get(), false);
    std::unique_ptr<DBusMessage, MessageUnref> call(
        dbus_message_new_method_call(service, path, interface, "CaptureNow"));
    if (!call)
        return false;
    // No owner means no Kelpie: the bus says so at once instead of
    // starting one.
    dbus_message_set_auto_start(call.get(), false);
    std::unique_ptr<DBusMessage, MessageUnref> reply(
        dbus_connection_send_with_reply_and_block(bus.get(), call.get(), timeoutMs, &error));
    const bool taken = reply && !dbus_error_is_set(&error);
    dbus_error_free(&error);
    return taken;
}

} // namespace kelpie::QuickHandOver
