// The write filter of the embedded controller: its system volume discards writes at restart
// unless they are committed. The first process after start-up that writes to the registry
// commits the volume and disables the filter around its write; every later write runs as is.
//
// The commands are "ewfmgr c: -commitanddisable -live" and "ewfmgr c: -enable", found on the
// PATH. "First since start-up" is decided by the volatile registry key HKLM\SOFTWARE\EWF: the
// process that creates it commits.
#ifndef PARVEX_RUNTIME_WRITE_FILTER_H_
#define PARVEX_RUNTIME_WRITE_FILTER_H_

namespace kestrum {

/// Prepares a registry write. Off the embedded controller, or when this process already ran
/// this step, returns 1 at once. Otherwise creates the volatile key SOFTWARE\EWF; when this
/// process created it, runs the commit command, waits for it and notes that this process
/// disabled the filter. Returns 1 to go on with the write, or 0 (platform's last error and error
/// number set) when the command cannot be started.
int BeginProtectedWrite();

/// Ends a registry write: when this process disabled the filter, runs the enable command, waits
/// for it and clears the note. Returns 1, or 0 (platform's last error and error number set) when
/// the command cannot be started.
int EndProtectedWrite();

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_WRITE_FILTER_H_
