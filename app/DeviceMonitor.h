// SPDX-License-Identifier: GPL-3.0-or-later
// Disc and drive changes of the machine's physical drives, read from udev on
// the user-interface thread and reported as the device-change codes the
// window understands (CR_DEVICE_ARRIVAL, CR_DEVICE_REMOVE_COMPLETE).
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

class QSocketNotifier;
struct udev;
struct udev_monitor;

namespace varrow {

// What one udev event of the block subsystem means to the window: a drive
// added or a medium changed is an arrival, a drive removed a removal. Events
// of devices other than CD drives mean nothing: loop devices and partitions
// come and go all the time on Linux.
std::optional<uint32_t> deviceChangeEvent(const QString& action, bool isCdDrive,
                                          bool mediumChanged);

class DeviceMonitor final : public QObject {
    Q_OBJECT
public:
    explicit DeviceMonitor(QObject* parent = nullptr);
    ~DeviceMonitor() override;
    Q_DISABLE_COPY_MOVE(DeviceMonitor)

    // False when udev could not be reached (no udev daemon, in a container).
    bool isActive() const { return notifier_ != nullptr; }

Q_SIGNALS:
    void deviceChanged(uint32_t event);

private:
    void readEvents();

    struct UdevDeleter {
        void operator()(udev* handle) const;
    };
    struct MonitorDeleter {
        void operator()(udev_monitor* handle) const;
    };

    std::unique_ptr<udev, UdevDeleter> udev_;
    std::unique_ptr<udev_monitor, MonitorDeleter> monitor_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace varrow
