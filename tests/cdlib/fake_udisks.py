#!/usr/bin/python3
"""udisks2 as the disk service tests talk to: one drive holding the block
device sr0, on the bus named by DBUS_SYSTEM_BUS_ADDRESS. Every call is noted
in the log file; Unmount answers as told (ok, notmounted or busy)."""
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

LOG, UNMOUNT = sys.argv[1], sys.argv[2]
BLOCK = '/org/freedesktop/UDisks2/block_devices/sr0'
DRIVE = '/org/freedesktop/UDisks2/drives/VARROW_FAKE_DRIVE'


def note(text):
    with open(LOG, 'a') as log:
        log.write(text + '\n')


class Block(dbus.service.Object):
    @dbus.service.method('org.freedesktop.DBus.Properties', in_signature='ss', out_signature='v')
    def Get(self, interface, name):
        if interface == 'org.freedesktop.UDisks2.Block' and name == 'Drive':
            return dbus.ObjectPath(DRIVE)
        raise dbus.exceptions.DBusException('no such property',
                                            name='org.freedesktop.DBus.Error.InvalidArgs')

    @dbus.service.method('org.freedesktop.UDisks2.Filesystem', in_signature='a{sv}')
    def Unmount(self, options):
        note('unmount')
        if UNMOUNT == 'notmounted':
            raise dbus.exceptions.DBusException(
                'not mounted', name='org.freedesktop.UDisks2.Error.NotMounted')
        if UNMOUNT == 'busy':
            raise dbus.exceptions.DBusException(
                'target is busy', name='org.freedesktop.UDisks2.Error.DeviceBusy')


class Drive(dbus.service.Object):
    @dbus.service.method('org.freedesktop.UDisks2.Drive', in_signature='a{sv}')
    def Eject(self, options):
        note('eject')


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(os.environ['DBUS_SYSTEM_BUS_ADDRESS'])
name = dbus.service.BusName('org.freedesktop.UDisks2', bus)
objects = [Block(bus, BLOCK), Drive(bus, DRIVE)]
note('ready')
GLib.MainLoop().run()
