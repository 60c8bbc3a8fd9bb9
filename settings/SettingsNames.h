// File, folder, resource and element names of the settings and of the built-in firmware.
#pragma once

namespace SettingsNames {

constexpr char SettingsFile[] = "/Settings.xml";
constexpr char FirmwareFolder[] = "/firmware";
// The built-in firmware: the same name in the resources and in the firmware folder.
constexpr char TessunHexFile[] = "TessunFix_1_0_31.hex";
constexpr char ResourceFormat[] = ":/hex/%s";

constexpr char RootElement[] = "Settings";
constexpr char PathHexFileElement[] = "SettingsPathHexFile";
constexpr char UsbDevNameElement[] = "SettingsUsbDevName";
constexpr char DebugComModeElement[] = "SettingsDebugComMode";
// The mode is stored as a blank followed by the decimal number.
constexpr char DebugComModeFormat[] = " %u";

} // namespace SettingsNames
