// The product name, the installation root and the named locations (folders) of the system.
//
// Results are returned in static buffers that the next call of the same function overwrites:
// callers copy what they keep. The functions are meant for one thread of a process (the main
// thread); they are not safe to call concurrently.
//
// Linux paths: the installation root is "/opt/<product name>" (the registry value "Root:"
// replaces it); a location without a variable resolves to "<root>/<NAME>", where only the
// appended location name is upper-cased.
#ifndef PARVEX_RUNTIME_INSTALL_ROOTS_H_
#define PARVEX_RUNTIME_INSTALL_ROOTS_H_

namespace kestrum {

/// Longest product name kept; a longer "ProductName" value counts as unreadable.
inline constexpr int kMaxProductName = 30;

/// Longest "Root:" value kept; a longer one counts as unreadable (the default root stays).
inline constexpr int kMaxRootValue = 258;

/// Default path of the embedded controller's vendor library; the environment variable
/// KESTRUM_VENDOR_LIBRARY names another.
#ifdef _WIN32
inline constexpr const char* kVendorLibraryPath = "c:\\WINDOWS\\XPacSDK.dll";
#else
inline constexpr const char* kVendorLibraryPath = "/opt/xpacsdk/lib/libXPacSDK.so";
#endif

/// Returns the product name (static, never empty), determined once per process: the first
/// readable "ProductName" of HKLM\SOFTWARE\Veltrane, then of HKLM\SOFTWARE\Veltrane\Kestrum;
/// "Kestrum" (or "Tarvo" on the embedded controller) when none or an empty one is found.
const char* GetProductName();

/// Returns the installation root (static): "/opt/<product name>", or the "Root:" value of
/// SOFTWARE\Veltrane\Kestrum (product key first) when it can be read.
const char* GetInstallRoot();

/// Returns the system drive letter: 'D' on the embedded controller, else 'C'. Linux has one
/// file tree; the letter only appears in names the system forms, never in a path.
char GetSystemDriveLetter();

/// Returns true when the embedded controller's vendor library (kVendorLibraryPath or
/// $KESTRUM_VENDOR_LIBRARY) can be loaded. Probed once per process; the library stays loaded.
bool IsEmbeddedController();

/// The error number of a location name longer than 249 characters.
inline constexpr int kLocationNameTooLong = 22;

/// Resolves a location name ("KSM_SAVED_VALUES", "SAVED_VALUES", or "DM2_SAVED_VALUES" read
/// as "KSM_SAVED_VALUES"): the value of the environment variable of that name (its case
/// ignored; a value "%\Hive\Key\Path\Value%" is a registry reference and gives that string
/// value when it can be read), else "<root>/<NAME>" with the name upper-cased and without
/// "KSM_". Returns a static buffer, or null with the error number set to kLocationNameTooLong for a
/// name longer than 249 characters.
const char* ResolveLocation(const char* name);

/// Returns the folder of a location (ResolveLocation). For the export folders
/// "REPLAY_OPTIONS", "EXPORTED_DATA" and "EXPORTED_IMAGES" the folder is created when missing,
/// and when the process may not write to it the result is
/// "<local application data>/Veltrane/<product name>/<name without KSM_>" (each folder
/// created as needed). Returns a static buffer, or null with the error number set when
/// ResolveLocation fails.
const char* GetFolder(const char* name);

/// Returns true when `host` names this computer: null, "", ".", "localhost", "127.0.0.1" or the
/// computer name (ignoring case), or a location whose host part is one of these. A text
/// beginning with "PROVIDER=" or that is a path ("/...", "\...", "X:...") is not a host: false.
bool IsLocalHost(const char* host);

/// Forgets what is determined once per process (product name, vendor-library probe, computer
/// name), so the next call determines it again. For tests and tools that switch instances.
void ForgetProcessSettings();

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_INSTALL_ROOTS_H_
