#pragma once

// The texts ErrorMsg gives hosts when a call fails, other than Init's refusals
// of its arguments (those live beside the checks in channel_names.cpp and
// channel_paths.cpp). Hosts see these texts and match on them, so they do not
// change, even where a name in them (MapFile, WriteInd, FindFirstFile,
// CreateDirectory) is not what the code calls on the platform at hand.
namespace zeb::messages {

// The shared counter: the reason a counter error text gives, then the report.
constexpr char kCounterCreateFailed[] = "Could not create file-mapping object.";
constexpr char kCounterMapFailed[] = "Could not map view of file.";
constexpr char kCounterFailed[] = "MapFile: %s";
constexpr char kCounterRejoinFailed[] = "%s: MapFile: %s";
constexpr char kCounterForeign[] =
    "Shared counter %s is not this channel's: its owner or access is not one that %s allows.";
constexpr char kCounterBusy[] = "Shared counter %s stayed locked by another process.";
constexpr char kClaimedElsewhere[] = "%s: another master named %s is running on this machine.";
constexpr char kClaimLockFailed[] = "Init: could not lock %s file.";

constexpr char kCreateDirectoryFailed[] = "%s: CreateDirectory %s failed";
constexpr char kDirectoryUnprotected[] =
    "%s: directory %s may be written by other users but has no sticky bit.";
constexpr char kIndexOpenFailed[] = "WriteInd: could not open %s file.";
constexpr char kIndexWriteFailed[] = "WriteInd: WriteFile %s error.";

constexpr char kInitListFailed[] = "Init: could not list %s directory.";
constexpr char kInitIndexUnreadable[] = "Init: could not read %s file.";

constexpr char kWriteNotInitialised[] = "Write: could not get MapFile pointer.";
constexpr char kWriteNoNumberLeft[] = "Write: no record number is left after %d.";
constexpr char kWriteOpenFailed[] = "Write: could not open %s file.";
constexpr char kWriteFailed[] = "Write: WriteFile %s failed.";
constexpr char kWriteListFailed[] = "Write: could not list %s directory.";

constexpr char kReadNotInitialised[] = "Read: could not get MapFile pointer.";
constexpr char kReadNoRoot[] = "Read: root directory not found: %s";
constexpr char kReadNoMasterDirectory[] = "Read: master directory not found: %s";
constexpr char kReadNoSystemDirectory[] = "Read: system directory not found: %s";
constexpr char kReadListFailed[] = "Read: FindFirstFile failed.";
constexpr char kReadOpenFailed[] = "Read: could not open %s file.";
constexpr char kReadFailed[] = "Read: ReadFile %s error.";
constexpr char kReadUnknown[] = "Read: unknown exception";
constexpr char kReadCursorAhead[] = "Read: cursor %d is above the published count %d.";

constexpr char kCommitNotInitialised[] = "Commit: Init has not been called.";

}  // namespace zeb::messages
