// How COM numbers name the serial devices of this system, in one place: the serial channel opens
// by it, the connection window numbers the ports it lists by it and makes the links that give a
// device a number.
#pragma once

#include <QString>

#include <functional>
#include <string>

namespace kvel {

// Where a "\\.\COM<n>" name (or, off Windows, a device path: any name with a '/', made
// absolute) leads on this system; empty when it names no port. Off Windows COM n is the device
// that dosdevices/comN in the working directory links to (Wine's convention), else
// /dev/ttyS<n-1>; a link whose device is gone still names it.
QString SystemPortPath(const std::string& name);

// The device at the end of `path`: a link's target, even when that is gone.
QString ResolvedDevice(const QString& path);

// The lowest COM number that SystemPortPath leads to `device` by; 0 when none does.
int ComNumberOf(const QString& device);

// The COM number a new dosdevices link would get: the lowest one that no link there and no
// `taken` number claims. 0 when none is left, with `error` saying so.
int FreeComNumber(const std::function<bool(int)>& taken, QString& error);

// Makes dosdevices/comN point at `device` for the FreeComNumber. The number, or 0 with `error`
// saying why.
int NameDevice(const QString& device, const std::function<bool(int)>& taken, QString& error);

} // namespace kvel
