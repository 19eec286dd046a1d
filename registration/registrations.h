// The driver's registrations with the system, made by the install step.
#pragma once
#include <windows.h>

// ASIO driver, PCI bus value (9x only) and the uninstall entry.
void RegisterAsioDriver(const char* modulePath);
void WritePciBusValue();
void WriteUninstallEntry(const char* uninstallerPath);

// Multimedia driver slots (Windows NT).
void FormatSlotName(char* buffer, const char* kindWord, int number);
void WriteDriverDescription();
void ReorderDriverSlots();
void InstallAndEnableDriver();

// Plug and Play devices of the card (Windows 2000 and later).
BOOL RegisterPnpDevices();
