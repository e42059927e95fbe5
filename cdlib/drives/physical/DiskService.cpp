// SPDX-License-Identifier: GPL-3.0-or-later
#include "drives/physical/DiskService.h"

#include <cctype>
#include <dbus/dbus.h>
#include <filesystem>
#include <memory>
#include <string_view>

namespace cdlib {

namespace {

constexpr int kCallTimeoutMs = 20000;
constexpr const char* kService = "org.freedesktop.UDisks2";
constexpr const char* kBlockFolder = "/org/freedesktop/UDisks2/block_devices/";

struct ConnectionCloser {
    void operator()(DBusConnection* connection) const {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
};
using Connection = std::unique_ptr<DBusConnection, ConnectionCloser>;

struct MessageUnref {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

class Error final {
public:
    Error() { dbus_error_init(&error_); }
    ~Error() { dbus_error_free(&error_); }
    Error(const Error&) = delete;
    Error& operator=(const Error&) = delete;
    DBusError* get() { return &error_; }
    bool set() const { return dbus_error_is_set(&error_) != 0; }
    std::string_view name() const { return error_.name != nullptr ? error_.name : ""; }

private:
    DBusError error_;
};

// udisks names a block device's object after its kernel name, with every
// character other than a letter or digit written as _xx.
std::string blockObjectOf(const std::string& devicePath) {
    std::string object = kBlockFolder;
    for (const char c : std::filesystem::path(devicePath).filename().string()) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            object += c;
        } else {
            static const char hex[] = "0123456789abcdef";
            object += '_';
            object += hex[(static_cast<unsigned char>(c) >> 4) & 0xf];
            object += hex[static_cast<unsigned char>(c) & 0xf];
        }
    }
    return object;
}

// A method call whose only argument is an empty options dictionary.
Message optionsCall(const std::string& object, const char* interface, const char* method) {
    Message message(dbus_message_new_method_call(kService, object.c_str(), interface, method));
    if (!message) {
        return nullptr;
    }
    dbus_message_set_allow_interactive_authorization(message.get(), TRUE);
    DBusMessageIter arguments;
    DBusMessageIter options;
    dbus_message_iter_init_append(message.get(), &arguments);
    if (!dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, "{sv}", &options) ||
        !dbus_message_iter_close_container(&arguments, &options)) {
        return nullptr;
    }
    return message;
}

Message call(DBusConnection* connection, DBusMessage* message, Error& error) {
    return Message(dbus_connection_send_with_reply_and_block(connection, message, kCallTimeoutMs,
                                                             error.get()));
}

// The object path of the drive that holds the block device.
std::string driveOf(DBusConnection* connection, const std::string& block) {
    Message message(dbus_message_new_method_call(kService, block.c_str(),
                                                 "org.freedesktop.DBus.Properties", "Get"));
    if (!message) {
        return {};
    }
    const char* interface = "org.freedesktop.UDisks2.Block";
    const char* property = "Drive";
    if (!dbus_message_append_args(message.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                                  &property, DBUS_TYPE_INVALID)) {
        return {};
    }
    Error error;
    const Message reply = call(connection, message.get(), error);
    DBusMessageIter iter;
    DBusMessageIter variant;
    if (!reply || !dbus_message_iter_init(reply.get(), &iter) ||
        dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_VARIANT) {
        return {};
    }
    dbus_message_iter_recurse(&iter, &variant);
    if (dbus_message_iter_get_arg_type(&variant) != DBUS_TYPE_OBJECT_PATH) {
        return {};
    }
    const char* drive = nullptr;
    dbus_message_iter_get_basic(&variant, &drive);
    return drive != nullptr && std::string_view(drive) != "/" ? drive : std::string();
}

} // namespace

bool ejectWithUdisks(const std::string& devicePath) {
    Error error;
    Connection connection(dbus_bus_get_private(DBUS_BUS_SYSTEM, error.get()));
    if (!connection) {
        return false;
    }
    dbus_connection_set_exit_on_disconnect(connection.get(), FALSE);
    const std::string block = blockObjectOf(devicePath);
    const std::string drive = driveOf(connection.get(), block);
    if (drive.empty()) {
        return false;
    }
    if (const Message unmount =
            optionsCall(block, "org.freedesktop.UDisks2.Filesystem", "Unmount")) {
        Error unmountError;
        call(connection.get(), unmount.get(), unmountError);
        // A disc with nothing mounted answers NotMounted, one without a file
        // system has no such interface; both may still be ejected.
        if (unmountError.set() &&
            unmountError.name() != "org.freedesktop.UDisks2.Error.NotMounted" &&
            unmountError.name() != "org.freedesktop.DBus.Error.UnknownMethod" &&
            unmountError.name() != "org.freedesktop.DBus.Error.UnknownInterface") {
            return false;
        }
    } else {
        return false;
    }
    const Message eject = optionsCall(drive, "org.freedesktop.UDisks2.Drive", "Eject");
    if (!eject) {
        return false;
    }
    Error ejectError;
    return call(connection.get(), eject.get(), ejectError) != nullptr && !ejectError.set();
}

} // namespace cdlib
