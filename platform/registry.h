// Machine-wide settings: string values under HKEY_LOCAL_MACHINE on Windows.
//
// Linux has no registry; an INI file stands in for it. Its sections are the
// key paths, its entries the string values:
//
//   [SOFTWARE\Kalmoventis\VORNclient]
//   USRSHR=/opt/vorn/lib/libfilter.so;libother.so
//
// The file is $VORN_REGISTRY_FILE when that variable is set, otherwise
// /etc/vornodbc/registry.ini. Section and value names match without regard
// to case; a missing file is an empty registry.
#pragma once

#include <cstddef>

namespace plat {
namespace reg {

// Opens a key of the local machine for reading; null when it is absent.
void* openMachineKey(const char* path);
void closeKey(void* key);
// The size of a string value in bytes, its terminator included; false when
// the value is absent.
bool valueSize(void* key, const char* name, std::size_t& size);
// Reads a string value into the buffer (terminated); false when it is
// absent or does not fit.
bool readString(void* key, const char* name, char* buffer, std::size_t size);

}  // namespace reg
}  // namespace plat
