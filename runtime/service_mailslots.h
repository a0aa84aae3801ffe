// The mailslots of the alarm service ("xalarms", for alarm records) and of the derived-value
// service ("derived", for the prefixes of changed tables).
//
// Each is looked for once per process: the alarm service when the data processor "ALARM"
// exists and is present, the derived-value service when "DERIVED" does, with up to ten
// attempts 100 ms apart. A service that starts after the look-up is not used. Forgetting the
// shared areas (ForgetSharedAreas) starts a new look-up, for tools and tests that build one
// instance after another.
#ifndef PARVEX_RUNTIME_SERVICE_MAILSLOTS_H_
#define PARVEX_RUNTIME_SERVICE_MAILSLOTS_H_

namespace kestrum {

/// Mailslot names of the two services.
inline constexpr char kAlarmServiceMailslot[] = "xalarms";
inline constexpr char kDerivedServiceMailslot[] = "derived";
/// Data processors whose presence announces the services.
inline constexpr char kAlarmProcessorName[] = "ALARM";
inline constexpr char kDerivedProcessorName[] = "DERIVED";
/// Attempts to open "derived" and the pause between them.
inline constexpr int kDerivedOpenAttempts = 10;
inline constexpr int kDerivedOpenPauseMs = 100;

/// Returns the handle (for WriteExactly, owned by the library) of the alarm service's
/// mailslot, or -1 when the service is not available to this process. Never changes the
/// caller's error number.
int AlarmServiceHandle();

/// Returns the handle of the derived-value service's mailslot, or -1. The first call may take
/// up to a second when "DERIVED" is present but its mailslot is not open yet. Never changes the
/// caller's error number.
int DerivedServiceHandle();

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_SERVICE_MAILSLOTS_H_
