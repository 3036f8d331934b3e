// The provider-level TSPI entry points: enumeration, initialisation, shutdown and the small
// provider functions.
#include <string>

#include "platform/message_box.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "provider/core/cvn2448_driver.h"
#include "provider/core/process.h"
#include "tapi/tspi.h"

namespace qrvn::provider {
namespace {

inline constexpr DWORD kLowestTspiVersion = 0x20001;
// TSPI_providerGenericDialogData object type naming a permanent provider ID.
inline constexpr DWORD kDialogObjectProvider = 3;
inline constexpr size_t kUiNameChars = 256;

// A slot chosen for EnumDevices or Init, with the values to put back if Init fails.
struct SlotChoice {
  int index = -1;
  uint32_t savedProviderId = 0;
  uint32_t savedInUse = 0;
};

// Finds the provider's slot, or reserves the first free one for it.
SlotChoice ChooseSlot(uint32_t permanentProviderId) {
  platform::SemaphoreLock lock(Process().globalSemaphore);
  SlotChoice choice;
  choice.index = FindProviderSlot(permanentProviderId);
  if (choice.index >= 0) {
    ProviderSlot& slot = Process().providerTable[choice.index];
    choice.savedProviderId = slot.permanentProviderId;
    choice.savedInUse = slot.inUse;
    return choice;
  }
  for (uint32_t i = 0; i < kProviderSlots; ++i) {
    ProviderSlot& slot = Process().providerTable[i];
    if (slot.inUse == 0) {
      slot.inUse = 1;
      slot.permanentProviderId = permanentProviderId;
      choice.index = static_cast<int>(i);
      return choice;
    }
  }
  return choice;
}

void PutBack(const SlotChoice& choice) {
  ProviderSlot& slot = Process().providerTable[choice.index];
  slot.permanentProviderId = choice.savedProviderId;
  slot.inUse = choice.savedInUse;
}

uint32_t StoredLineCount(uint32_t permanentProviderId) {
  platform::RegistryKey key;
  uint32_t count = 0;
  if (platform::RegistryKey::Open(ProviderKeyName(permanentProviderId), platform::RegAccess::Read,
                                  key) == platform::RegResult::Ok) {
    key.QueryDword("LINEENUMDEV", count);
  }
  return count;
}

// Takes an instance out of its slot and destroys it; the slot keeps its saved values.
void DiscardInstance(ProviderSlot& slot, CVN2448Driver* instance, bool close) {
  slot.instance = nullptr;
  if (close) instance->Close();
  instance->providerSemaphore.reset();
  CVN2448Driver::Destroy(instance);
}

}  // namespace
}  // namespace qrvn::provider

using namespace qrvn::provider;

extern "C" {

LONG TSPI_providerEnumDevices(DWORD dwPermanentProviderID, LPDWORD lpdwNumLines,
                              LPDWORD lpdwNumPhones, HPROVIDER /*hProvider*/,
                              LINEEVENT /*lpfnLineCreateProc*/,
                              PHONEEVENT /*lpfnPhoneCreateProc*/) {
  if (!ProcessAttached() || lpdwNumLines == nullptr || lpdwNumPhones == nullptr) {
    return LINEERR_OPERATIONFAILED;
  }
  SlotChoice choice = ChooseSlot(dwPermanentProviderID);
  if (choice.index < 0) return LINEERR_OPERATIONFAILED;
  uint32_t lines = 0;
  CVN2448Driver* instance = Process().providerTable[choice.index].instance.load();
  if (instance != nullptr && instance->session != nullptr && instance->session->LinesCounted()) {
    lines = instance->session->LineCount();
  } else {
    lines = StoredLineCount(dwPermanentProviderID);
  }
  if (lines == 0) lines = kDefaultLineCount;
  *lpdwNumLines = lines;
  *lpdwNumPhones = 0;
  return 0;
}

LONG TSPI_providerInit(DWORD dwTSPIVersion, DWORD dwPermanentProviderID, DWORD dwLineDeviceIDBase,
                       DWORD dwPhoneDeviceIDBase, DWORD_PTR dwNumLines, DWORD_PTR dwNumPhones,
                       ASYNC_COMPLETION lpfnCompletionProc, LPDWORD lpdwTSPIOptions) {
  if (dwTSPIVersion < kLowestTspiVersion) return LINEERR_INCOMPATIBLEAPIVERSION;
  if (!ProcessAttached() || lpdwTSPIOptions == nullptr) return LINEERR_OPERATIONFAILED;

  SlotChoice choice = ChooseSlot(dwPermanentProviderID);
  if (choice.index < 0) return LINEERR_OPERATIONFAILED;
  ProviderSlot& slot = Process().providerTable[choice.index];
  if (slot.instance.load() != nullptr) return LINEERR_OPERATIONFAILED;
  const uint32_t slotIndex = static_cast<uint32_t>(choice.index);

  CVN2448Driver* instance = CVN2448Driver::Create(slotIndex);
  if (instance == nullptr) {
    PutBack(choice);
    return LINEERR_OPERATIONFAILED;
  }
  slot.instance = instance;
  slot.inUse = 1;
  instance->permanentProviderId = dwPermanentProviderID;

  ReadInitValues(dwPermanentProviderID, instance->config);
  instance->pbxType = instance->config.pbxType;

  instance->lineDeviceIdBase = dwLineDeviceIDBase;
  instance->phoneDeviceIdBase = dwPhoneDeviceIDBase;
  slot.lineBase = dwLineDeviceIDBase;
  slot.lineCount = static_cast<uint32_t>(dwNumLines);
  slot.phoneBase = dwPhoneDeviceIDBase;
  slot.phoneCount = static_cast<uint32_t>(dwNumPhones);
  if (instance->numberOfLines == 0) instance->SetLineCount(static_cast<uint32_t>(dwNumLines));
  if (instance->numberOfPhones == 0) instance->numberOfPhones = static_cast<uint32_t>(dwNumPhones);

  instance->providerSemaphore = std::make_unique<qrvn::platform::BinarySemaphore>(true);

  if (!instance->Open(dwPermanentProviderID, slotIndex, lpfnCompletionProc)) {
    DiscardInstance(slot, instance, false);
    PutBack(choice);
    return LINEERR_OPERATIONFAILED;
  }

  if (dwNumLines == instance->numberOfLines) {
    *lpdwTSPIOptions = 0;
    return 0;
  }

  // The PBX offers another number of line devices than the telephony service was told:
  // record it for the next start and refuse this one.
  qrvn::platform::RegistryKey key;
  if (qrvn::platform::RegistryKey::Create(ProviderKeyName(dwPermanentProviderID), key) ==
      qrvn::platform::RegResult::Ok) {
    key.SetDword("LINEENUMDEV", instance->numberOfLines);
  }
  uint32_t initMsgWait = instance->config.initMsgWait;
  DiscardInstance(slot, instance, true);
  PutBack(choice);
  if (initMsgWait != 0) {
    qrvn::platform::ShowMessageBox("SystemChange.\nPlease Reboot.", "Tervolin QR-VN TSP Message",
                                   qrvn::platform::MessageBoxButtons::Ok);
  }
  return LINEERR_OPERATIONFAILED;
}

LONG TSPI_providerShutdown(DWORD dwTSPIVersion, DWORD dwPermanentProviderID) {
  WriteProviderLog("TSPI_providerShutdown() Start");
  WriteProviderLog("TSPI_providerShutdown() 001");
  if (dwTSPIVersion < kLowestTspiVersion) {
    WriteProviderLog("TSPI_providerShutdown() 002");
    return LINEERR_INCOMPATIBLEAPIVERSION;
  }
  int index = ProcessAttached() ? FindProviderSlot(dwPermanentProviderID) : -1;
  if (index < 0 || Process().providerTable[index].inUse == 0) {
    WriteProviderLog("TSPI_providerShutdown() 003");
    WriteProviderLog("TSPI_providerShutdown() End");
    return 0;
  }
  ProviderSlot& slot = Process().providerTable[index];
  CVN2448Driver* instance = slot.instance.load();
  WriteProviderLog("TSPI_providerShutdown() 004");
  if (instance != nullptr && instance->session != nullptr) {
    for (uint32_t line = 0; line < instance->numberOfLines; ++line) {
      LineDevice* record = instance->session->Line(line);
      if (record != nullptr) PartFactories().closeLine(reinterpret_cast<HDRVLINE>(record));
    }
  }
  WriteProviderLog("TSPI_providerShutdown() 005");
  if (instance != nullptr) instance->Close();
  WriteProviderLog("TSPI_providerShutdown() 006");
  if (instance != nullptr) instance->providerSemaphore.reset();
  WriteProviderLog("TSPI_providerShutdown() 007");
  slot.instance = nullptr;
  CVN2448Driver::Destroy(instance);
  WriteProviderLog("TSPI_providerShutdown() 008");
  slot.lineBase = 0;
  slot.lineCount = 0;
  slot.phoneBase = 0;
  slot.phoneCount = 0;
  slot.permanentProviderId = kUnusedProviderId;
  slot.inUse = 0;
  WriteProviderLog("TSPI_providerShutdown() 009");
  WriteProviderLog("TSPI_providerShutdown() End");
  return 0;
}

LONG TSPI_providerRemove(HWND /*hwndOwner*/, DWORD dwPermanentProviderID) {
  qrvn::platform::DeleteRegistryKey(ProviderKeyName(dwPermanentProviderID));
  return 0;
}

LONG TSPI_providerConfig(HWND /*hwndOwner*/, DWORD /*dwPermanentProviderID*/) {
  return 0;
}

LONG TSPI_providerCreateLineDevice(DWORD_PTR /*dwTempID*/, DWORD /*dwDeviceID*/) {
  return LINEERR_OPERATIONFAILED;
}

LONG TSPI_providerCreatePhoneDevice(DWORD_PTR /*dwTempID*/, DWORD /*dwDeviceID*/) {
  return LINEERR_OPERATIONFAILED;
}

LONG TSPI_providerFreeDialogInstance(HDRVDIALOGINSTANCE /*hdDlgInst*/) {
  return 0;
}

LONG TSPI_providerGenericDialogData(DWORD_PTR dwObjectID, DWORD dwObjectType, LPVOID lpParams,
                                    DWORD dwSize) {
  if (dwObjectType != kDialogObjectProvider) return 0;
  if (!ProcessAttached()) return LINEERR_OPERATIONFAILED;
  DWORD providerId = static_cast<DWORD>(dwObjectID);
  int index = FindProviderSlot(providerId);
  if (index < 0) {
    PartFactories().registryDialogData(providerId, lpParams, dwSize);
    return 0;
  }
  CVN2448Driver* instance = Process().providerTable[index].instance.load();
  if (instance == nullptr || instance->configExchange == nullptr) return LINEERR_OPERATIONFAILED;
  return instance->configExchange->Answer(lpParams, dwSize);
}

LONG TSPI_providerUIIdentify(LPWSTR lpszUIDLLName) {
  if (lpszUIDLLName == nullptr) return LINEERR_OPERATIONFAILED;
  // This module serves as its own user-interface module: its path with the file name
  // spelled the Windows way.
  std::string path =
      qrvn::platform::ModulePathOf(reinterpret_cast<const void*>(&TSPI_providerUIIdentify));
  size_t slash = path.find_last_of('/');
  std::string name =
      (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "QRVNTAPI.TSP";
  std::u16string wide;
  if (!qrvn::platform::AnsiToUtf16(name, wide)) wide = u"QRVNTAPI.TSP";
  if (wide.size() > kUiNameChars - 1) wide.resize(kUiNameChars - 1);
  wide.copy(lpszUIDLLName, wide.size());
  lpszUIDLLName[wide.size()] = u'\0';
  return 0;
}

}  // extern "C"
