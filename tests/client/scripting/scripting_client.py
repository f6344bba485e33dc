#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Rest Watch developers
"""A script driving the Rest Watch window over D-Bus with python3-dbus, as users' scripts do.

    scripting_client.py ADDRESS COMMAND [ARGUMENTS]

Commands: slice (every slice property), entries PAGE (all entries of the database, PAGE at a
time), events LOCATION LENGTH, page LOCATION LENGTH (one database call), set-start DATE,
set-end DATE, export JSON. Prints one JSON value; a D-Bus error prints
{"error": NAME, "message": TEXT}. Pages come as columns and are printed as a list of entries.
"""
import json
import sys

import dbus

NAME = "com.klvr.restwatch"
DATABASE = "com.klvr.restwatch.Database"
SLICE = "com.klvr.restwatch.LogSlice"


COLUMNS = ("index", "date", "summary", "monitor", "group", "visible")


def rows(page):
    """A page's columns as one dictionary per entry; every column must be as long as the others."""
    lengths = {name: len(page[name]) for name in COLUMNS}
    if len(set(lengths.values())) != 1:
        raise ValueError("columns of different lengths: %r" % lengths)
    return [dict(zip(COLUMNS, values)) for values in zip(*(page[name] for name in COLUMNS))]


def main():
    bus = dbus.bus.BusConnection(sys.argv[1])
    command, arguments = sys.argv[2], sys.argv[3:]
    database = bus.get_object(NAME, "/com/klvr/restwatch/database")
    visible_slice = bus.get_object(NAME, "/com/klvr/restwatch/visibleSlice")
    try:
        if command == "slice":
            result = visible_slice.GetAll(SLICE, dbus_interface=dbus.PROPERTIES_IFACE)
        elif command == "entries":
            page = int(arguments[0])
            count = database.Get(DATABASE, "count", dbus_interface=dbus.PROPERTIES_IFACE)
            result = {"count": count, "entries": []}
            location = 0
            while True:
                entries = rows(database.entries(dbus.UInt32(location), dbus.UInt32(page), dbus_interface=DATABASE))
                if not entries:
                    break
                result["entries"].extend(entries)
                location += len(entries)
        elif command == "page":
            result = rows(database.entries(dbus.UInt32(int(arguments[0])), dbus.UInt32(int(arguments[1])),
                                           dbus_interface=DATABASE))
        elif command == "events":
            result = rows(visible_slice.events(dbus.UInt32(int(arguments[0])), dbus.UInt32(int(arguments[1])),
                                               dbus_interface=SLICE))
        elif command == "set-start":
            visible_slice.setStartingDay(arguments[0], dbus_interface=SLICE)
            result = visible_slice.Get(SLICE, "start", dbus_interface=dbus.PROPERTIES_IFACE)
        elif command == "set-end":
            visible_slice.setEndingDay(arguments[0], dbus_interface=SLICE)
            result = visible_slice.Get(SLICE, "end", dbus_interface=dbus.PROPERTIES_IFACE)
        elif command == "export":
            visible_slice.Export(dbus.Dictionary(json.loads(arguments[0]), signature="sv"), dbus_interface=SLICE)
            result = {"written": True}
        else:
            sys.exit("unknown command " + command)
    except dbus.exceptions.DBusException as error:
        result = {"error": error.get_dbus_name(), "message": error.get_dbus_message()}
    json.dump(result, sys.stdout)


if __name__ == "__main__":
    main()
