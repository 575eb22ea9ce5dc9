// The emergency report: what the crashing thread writes itself when the full report cannot be
// written in this process (the thread holds the loader lock or the process heap's lock, or
// crashed inside the heap) or did not get written (the writer crashed or ran out of time).
//
// It needs no heap, no loader lock and no debug-help: everything it uses is prepared when the
// module is loaded (the "ErrorLogs" folder as a native path, the number of reports to keep,
// the native file functions, a text buffer in static memory), the module names come from the
// module table (moduletable.h), and the files are written with the native file calls, which
// allocate nothing in the process. The options are those read at load, not at the crash.
//
// The report: the header, a line saying it is an emergency report and why, the exception (code,
// name, address with the module and offset it falls in), the crashing thread's registers and a
// raw call stack: the instruction pointer, then each value on the thread's stack that is a return
// address into a listed module ("address module+offset"), at most kEmergencyStackLines of them.
// It goes into Log1.log of the "ErrorLogs" folder, rotated as the full report rotates, or, when
// a full report had already begun there, after what that one wrote.
#pragma once

#include <windows.h>

#include <cstddef>

// Computes the folder and reads the options, as a full report would (the report folder of the
// crash handler; when empty, "UserDataPath" or the executable's folder), and looks up the
// native file functions. At module load.
void PrepareEmergencyReport(const char* report_folder) noexcept;

// Writes the report. rotate: move the older reports up first (false when a full report has
// already rotated them and begun Log1.log). True when the text was written.
bool WriteEmergencyReport(const EXCEPTION_POINTERS* pointers, DWORD thread_id, const char* reason,
                          bool rotate) noexcept;

constexpr std::size_t kEmergencyStackLines = 256;
