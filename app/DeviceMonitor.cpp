// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceMonitor.h"

#include "CdRip_dll.h"

#include <QSocketNotifier>
#include <libudev.h>

namespace varrow {

namespace {

bool propertyIsOne(udev_device* device, const char* name) {
    const char* value = udev_device_get_property_value(device, name);
    return value != nullptr && QByteArrayView(value) == "1";
}

bool isCdDrive(udev_device* device) {
    if (propertyIsOne(device, "ID_CDROM"))
        return true;
    // A removal may come without the properties udev had added; the kernel
    // names SCSI CD drives sr0, sr1, ...
    const char* name = udev_device_get_sysname(device);
    return name != nullptr && QByteArrayView(name).startsWith("sr");
}

} // namespace

std::optional<uint32_t> deviceChangeEvent(const QString& action, bool isCdDrive,
                                          bool mediumChanged) {
    if (!isCdDrive)
        return std::nullopt;
    if (action == QLatin1String("add"))
        return CR_DEVICE_ARRIVAL;
    if (action == QLatin1String("remove"))
        return CR_DEVICE_REMOVE_COMPLETE;
    if (action == QLatin1String("change") && mediumChanged)
        return CR_DEVICE_ARRIVAL;
    return std::nullopt;
}

void DeviceMonitor::UdevDeleter::operator()(udev* handle) const {
    udev_unref(handle);
}

void DeviceMonitor::MonitorDeleter::operator()(udev_monitor* handle) const {
    udev_monitor_unref(handle);
}

DeviceMonitor::DeviceMonitor(QObject* parent)
    : QObject(parent)
    , udev_(udev_new()) {
    if (!udev_)
        return;
    monitor_.reset(udev_monitor_new_from_netlink(udev_.get(), "udev"));
    if (!monitor_)
        return;
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor_.get(), "block", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_.get()) < 0) {
        monitor_.reset();
        return;
    }
    const int descriptor = udev_monitor_get_fd(monitor_.get());
    if (descriptor < 0) {
        monitor_.reset();
        return;
    }
    notifier_ = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &DeviceMonitor::readEvents);
}

DeviceMonitor::~DeviceMonitor() {
    // The notifier must let go of the socket before the monitor closes it.
    delete notifier_;
}

void DeviceMonitor::readEvents() {
    // The socket does not block: read until the queue is empty.
    while (udev_device* device = udev_monitor_receive_device(monitor_.get())) {
        const char* action = udev_device_get_action(device);
        const bool mediumChanged = propertyIsOne(device, "DISK_MEDIA_CHANGE") ||
                                   propertyIsOne(device, "SDEV_MEDIA_CHANGE");
        const std::optional<uint32_t> event = deviceChangeEvent(
            QString::fromLatin1(action != nullptr ? action : ""), isCdDrive(device), mediumChanged);
        udev_device_unref(device);
        if (event)
            Q_EMIT deviceChanged(*event);
    }
}

} // namespace varrow
