#pragma once
// COM port names as the programs know them ("COM3") and the devices behind them.
#include <QList>
#include <QString>

namespace platform {

// The folder whose entries COMn name port devices (links to pseudo-terminals, say):
// $VENDRILL_PORTS_DIR when set, else $XDG_CONFIG_HOME/Vendrill/ports, with
// XDG_CONFIG_HOME defaulting to ~/.config.
QString ComPortsFolder();

// The device path of "COMn", n from 1 to 255: the ports folder's entry COMn when there
// is one, else COM1-COM32 = /dev/ttyS0-31, COM33-COM64 = /dev/ttyUSB0-31,
// COM65-COM96 = /dev/ttyACM0-31. Empty for any other name or number.
QString ResolveComPort(const QString& name);

// The numbers n of every COMn that resolves to an existing character device, ascending.
QList<int> ComPortList();

} // namespace platform
