// The owned parts of a provider instance and the process-wide table that makes them.
// The instance drives its PBX session, its event intake and its configuration exchange only
// through these interfaces; the subsystems that implement them install their factories in
// PartFactories() (see InstallInstanceParts), and until one is installed a placeholder gives
// the smallest honest answer (a session start-up that fails, so Open unbinds the link).
#pragma once

#include <cstdint>
#include <memory>

#include "provider/core/message_codec.h"
#include "tapi/tspi.h"

namespace qrvn::provider {

class CVN2448Driver;

// Session start-up results.
inline constexpr int32_t kStartUpFailed = 0;
inline constexpr int32_t kStartUpReady = 1;
inline constexpr int32_t kLineCountChanged = 999;

struct AddressRecord;
struct GroupEntry;

// Line kinds of the device model.
enum LineKind : uint32_t {
  kLineSystem = 0,
  kLineExtension = 1,
  kLineTrunk = 2,
  kLineDoorPhone = 10,
  kLineDisa = 11,
  kLinePaging = 12,
  kLineQueue = 33,  // the queue lines and TR
  kLineRm = 34,
  kLineBv = 35,
};

// One line device record of the device model. Event posting relies on the first five fields.
struct LineDevice {
  HTAPILINE htLine = nullptr;              // TAPI's handle of the open line (or the record itself)
  LINEEVENT eventProc = nullptr;           // the line's event callback while it is open
  uint32_t lineIndex = 0;                  // the record's own index (device ID - line device base)
  uint16_t lineControlFlag = 0;            // bit 0: shown to applications as out of service
  LINEDEVSTATUS* devStatus = nullptr;      // the line's prepared LINEDEVSTATUS block
  LINEDEVCAPS* devCaps = nullptr;          // the line's prepared LINEDEVCAPS block
  AddressRecord** addressTable = nullptr;  // room for 4 addresses; only the first is used
  GroupEntry* groups = nullptr;            // queue lines: the line's group table
  uint32_t groupCount = 0;
  uint32_t location = 0;        // (unit << 16) | card, 0 where not given
  uint32_t lineKind = 0;        // LineKind; also the device kind byte of the line's parameters
  LineDevice* table = nullptr;  // the line-device table itself
  uint32_t providerSlot = 0;
  CVN2448Driver* instance = nullptr;
  uint32_t requestCount = 0;   // TSPI requests in progress on this line
  uint16_t suspendedMark = 0;  // 1 while out of service by a PBX suspension
  uint16_t deviceNumber = 0;   // the PBX device number: low 16 bits of the permanent line ID
  uint32_t permanentLineId = 0;
  const uint8_t* rawRecord = nullptr;  // extensions and trunks: the PBX's record in the raw area
  char namePrefix[8] = {};             // "EXT", "CO", "TR", ...
  char name[16] = {};                  // prefix and suffix: "EXT0001"
};

// The device directory of an instance (device parameters <-> line addresses).
class DeviceDirectory {
 public:
  virtual ~DeviceDirectory() = default;
};

// The PBX session of an instance: codec context, start-up, event registration, close and
// the line device model.
class PbxSession : public CodecSession {
 public:
  using CodecSession::CodecSession;
  // Opens the session and builds the device model: kStartUpFailed, kStartUpReady or
  // kLineCountChanged.
  virtual int32_t StartUp(uint32_t permanentProviderId, uint32_t slot) = 0;
  // Asks the PBX for the events of all monitored devices: 1 done, 0 failed.
  virtual int32_t RegisterEvents() = 0;
  // Sends the closing requests at Close: 1 done, 0 failed.
  virtual int32_t CloseSession() = 0;
  // Releases the device tables and call records.
  virtual void ReleaseDevices() = 0;
  // True once start-up has counted the PBX's line devices.
  virtual bool LinesCounted() const = 0;
  // The number of line devices of the model.
  virtual uint32_t LineCount() const = 0;
  // The line device record with this index, or null.
  virtual LineDevice* Line(uint32_t index) = 0;
  // The PBX's system status (2 normal, 5 messages lost; 0 before the first report).
  virtual uint32_t PbxSystemStatus() const = 0;
};

// The event intake of an instance: inbound queue and its two threads.
class NoticeAnalyzer {
 public:
  virtual ~NoticeAnalyzer() = default;
  // Starts the analyzer and keep-alive threads; false when either does not come up.
  virtual bool Start(ASYNC_COMPLETION completion) = 0;
  // Asks the analyzer thread to end and waits for it.
  virtual void StopAnalyzer() = 0;
  // Asks the keep-alive thread to end and waits for it.
  virtual void StopKeepAlive() = 0;
  // Clears both run flags without waiting (library unload).
  virtual void ClearRunFlags() = 0;
  // Queues one event from the link driver's receive thread; nonzero when queued.
  virtual int32_t OnReceive(const uint8_t* message, int32_t length) = 0;
};

// The configuration exchange of a running instance with its configuration dialog.
class ConfigExchange {
 public:
  virtual ~ConfigExchange() = default;
  // Answers TSPI_providerGenericDialogData for this instance.
  virtual LONG Answer(LPVOID params, DWORD size) = 0;
};

// Makers of the parts, and the few operations of other subsystems that the lifecycle runs.
struct InstancePartFactories {
  std::unique_ptr<DeviceDirectory> (*makeDirectory)(CVN2448Driver& owner);
  std::unique_ptr<PbxSession> (*makeSession)(CVN2448Driver& owner);
  std::unique_ptr<NoticeAnalyzer> (*makeAnalyzer)(CVN2448Driver& owner);
  std::unique_ptr<ConfigExchange> (*makeConfigExchange)(CVN2448Driver& owner);
  // Posts a line event of one line of an instance (LINE_LINEDEVSTATE at link loss, ...).
  void (*postLineEvent)(CVN2448Driver& owner, uint32_t lineIndex, HTAPICALL htCall, DWORD msg,
                        DWORD_PTR param1, DWORD_PTR param2, DWORD_PTR param3);
  // Closes one open line at shutdown, waiting for its requests (TSPI_lineClose).
  LONG (*closeLine)(HDRVLINE hdLine);
  // Answers the configuration dialog of a provider that has no instance (registry only).
  LONG (*registryDialogData)(DWORD permanentProviderId, LPVOID params, DWORD size);
};

// The factories in use by this process.
InstancePartFactories& PartFactories();
// The placeholder factories of a provider whose subsystems are not installed.
InstancePartFactories PlaceholderParts();
// Puts the factories of the installed subsystems into PartFactories() (library load).
void InstallInstanceParts();

}  // namespace qrvn::provider
