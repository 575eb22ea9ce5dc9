// The modules of the process as base, size and file name, kept up to date outside the crash
// path, so that an emergency report can name the module an address falls in when it may ask
// neither the loader, the heap nor the debug-help library.
//
// Filled when it is started (at module load, from the process-status library) and then kept by
// the loader's own notices of every load and unload (LdrRegisterDllNotification, where the
// system has it; without it the table keeps the modules of start-up). A fixed table in static
// memory: nothing is allocated, and a look-up reads it without locks. A module loaded while
// the table is full is not listed.
#pragma once

#include <windows.h>

#include <cstddef>

// Fills the table and registers for the loader's notices. Called with the loader lock held
// (module start-up), as the notices are: the table is only ever written by one thread at a time.
void StartModuleTable(HMODULE process_status) noexcept;
// Unregisters the notices; the table stays as it is.
void StopModuleTable() noexcept;

// The module holding the address: its file name and the offset from its base. False (outputs
// untouched) when no listed module holds it.
bool FindListedModule(DWORD address, const char** name, DWORD* offset) noexcept;

// Adds or removes one module by hand (what the loader's notices do); for a system without them
// and for the tests.
void ListModule(DWORD base, DWORD size, const char* name) noexcept;
void UnlistModule(DWORD base) noexcept;

constexpr std::size_t kListedModules = 512;
constexpr std::size_t kListedNameSize = 64;
