// Vesk.Sys: stand-in for the card's Windows NT kernel-mode driver, a PE image
// of the native subsystem without imports. It drives no hardware: if the
// system ever starts it, DriverEntry refuses with STATUS_NO_SUCH_DEVICE and
// the driver is unloaded again.

using NTSTATUS = long;
constexpr NTSTATUS StatusNoSuchDevice = static_cast<NTSTATUS>(0xC000000EL);

extern "C" NTSTATUS __stdcall DriverEntry(void* /*driverObject*/, void* /*registryPath*/)
{
    return StatusNoSuchDevice;
}
