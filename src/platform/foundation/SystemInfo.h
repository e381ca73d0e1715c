#pragma once
// Facts about the machine the process runs on, in the shape the platform's kernel
// information interface gives them: named values ("hw.machine", "hw.model", ...),
// the hardware group's numbered items (always as 64-bit values) and the
// link-layer address of a network interface.
//
// Tests and sandboxes can pin the machine name, the model name, any hardware item
// and the name of the primary network interface (a sandbox has no "en0").
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace SystemInfo {

// Numbered items of the hardware group.
inline constexpr int HW_MACHINE = 1;
inline constexpr int HW_MODEL = 2;
inline constexpr int HW_NCPU = 3;
inline constexpr int HW_PHYSMEM = 5;
inline constexpr int HW_USERMEM = 6;
inline constexpr int HW_BUS_FREQ = 14;
inline constexpr int HW_CPU_FREQ = 15;

// Named string values: "hw.machine" (the kernel's machine name, e.g. x86_64),
// "hw.model" (the board or product name the firmware reports, else the machine
// name), "kern.ostype", "kern.osrelease", "kern.version", "kern.hostname".
// nullopt for a name this system does not know.
std::optional<std::string> valueForName(const std::string& name);

// Numbered hardware items as 64-bit values: HW_NCPU (configured processors),
// HW_PHYSMEM (bytes of memory), HW_USERMEM (bytes available to programs),
// HW_CPU_FREQ (Hz, when the kernel reports it). nullopt when unknown, including
// HW_BUS_FREQ, which Linux does not report, and the string items.
std::optional<std::uint64_t> hardwareValue(int selector);

// The largest socket buffer a program may ask for, in bytes.
std::optional<std::uint64_t> maxSocketBufferSize();

// The index of the named interface, 0 when there is none.
unsigned interfaceIndex(const std::string& name);
// The six-byte link-layer address of the named interface; nullopt when the
// interface does not exist or has no such address.
std::optional<std::array<std::uint8_t, 6>> hardwareAddress(const std::string& name);

// The interface the platform calls the primary one: "en0" unless pinned.
std::string primaryInterfaceName();

// Pinned values; nullopt goes back to the machine's own.
void setMachineName(std::optional<std::string> name);
void setModelName(std::optional<std::string> name);
void setPrimaryInterfaceName(std::optional<std::string> name);
void setHardwareValue(int selector, std::optional<std::uint64_t> value);
// Drops every pinned value.
void resetOverrides();

}  // namespace SystemInfo
