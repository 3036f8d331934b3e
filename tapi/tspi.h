// The TSPI and TUISPI entry points of a telephony service provider and the callbacks TAPI hands
// to it, with the TAPI 2.x parameters in their order. The provider defines these functions; the
// telephony host binds them by name from the loaded module (see QRVN_TSPI_FUNCTIONS and the
// PFN_ types). Every entry point returns 0 or a negative LINEERR_ / PHONEERR_ code; an
// asynchronous one (taking dwRequestID) returns dwRequestID when it has started the request and
// reports the result later through ASYNC_COMPLETION.
#pragma once

#include "tapi/tapi.h"

// Marks an entry point as exported from the provider module even though the project builds with
// hidden visibility, so that the definitions need no further decoration.
#if defined(__GNUC__) || defined(__clang__)
#define TSPIAPI __attribute__((visibility("default")))
#else
#define TSPIAPI
#endif

extern "C" {

// ---------------------------------------------------------------------------------------------
// Callbacks given to the provider
// ---------------------------------------------------------------------------------------------

// Line events (LINE_ messages) for a line opened by TSPI_lineOpen, and LINE_CREATE / LINE_REMOVE
// through the lpfnLineCreateProc of TSPI_providerEnumDevices.
typedef void (*LINEEVENT)(HTAPILINE htLine, HTAPICALL htCall, DWORD dwMsg, DWORD_PTR dwParam1,
                          DWORD_PTR dwParam2, DWORD_PTR dwParam3);
// Phone events for a phone opened by TSPI_phoneOpen (never sent by this provider); the
// parameters are pointer-sized like those of LINEEVENT.
typedef void (*PHONEEVENT)(HTAPIPHONE htPhone, DWORD dwMsg, DWORD_PTR dwParam1, DWORD_PTR dwParam2,
                           DWORD_PTR dwParam3);
// Completion of an asynchronous request: 0 for success or a negative LINEERR_ code.
typedef void (*ASYNC_COMPLETION)(DRV_REQUESTID dwRequestID, LONG lResult);
// Lets a TUISPI dialog exchange data with the provider (arrives at
// TSPI_providerGenericDialogData).
typedef LONG (*TUISPIDLLCALLBACK)(DWORD_PTR dwObjectID, DWORD dwObjectType, LPVOID lpParams,
                                  DWORD dwSize);

// ---------------------------------------------------------------------------------------------
// Provider functions
// ---------------------------------------------------------------------------------------------

TSPIAPI LONG TSPI_providerEnumDevices(DWORD dwPermanentProviderID, LPDWORD lpdwNumLines,
                                      LPDWORD lpdwNumPhones, HPROVIDER hProvider,
                                      LINEEVENT lpfnLineCreateProc, PHONEEVENT lpfnPhoneCreateProc);
TSPIAPI LONG TSPI_providerInit(DWORD dwTSPIVersion, DWORD dwPermanentProviderID,
                               DWORD dwLineDeviceIDBase, DWORD dwPhoneDeviceIDBase,
                               DWORD_PTR dwNumLines, DWORD_PTR dwNumPhones,
                               ASYNC_COMPLETION lpfnCompletionProc, LPDWORD lpdwTSPIOptions);
TSPIAPI LONG TSPI_providerShutdown(DWORD dwTSPIVersion, DWORD dwPermanentProviderID);
// TSPI_providerInstall, _Remove and _Config are the pre-2.0 UI entry points, still exported.
TSPIAPI LONG TSPI_providerInstall(HWND hwndOwner, DWORD dwPermanentProviderID);
TSPIAPI LONG TSPI_providerRemove(HWND hwndOwner, DWORD dwPermanentProviderID);
TSPIAPI LONG TSPI_providerConfig(HWND hwndOwner, DWORD dwPermanentProviderID);
TSPIAPI LONG TSPI_providerCreateLineDevice(DWORD_PTR dwTempID, DWORD dwDeviceID);
TSPIAPI LONG TSPI_providerCreatePhoneDevice(DWORD_PTR dwTempID, DWORD dwDeviceID);
TSPIAPI LONG TSPI_providerFreeDialogInstance(HDRVDIALOGINSTANCE hdDlgInst);
TSPIAPI LONG TSPI_providerGenericDialogData(DWORD_PTR dwObjectID, DWORD dwObjectType,
                                            LPVOID lpParams, DWORD dwSize);
// lpszUIDLLName receives the path of the module that serves the TUISPI functions, in UTF-16.
TSPIAPI LONG TSPI_providerUIIdentify(LPWSTR lpszUIDLLName);

// ---------------------------------------------------------------------------------------------
// UI functions (run in the process of the configuring application)
// ---------------------------------------------------------------------------------------------

TSPIAPI LONG TUISPI_providerConfig(TUISPIDLLCALLBACK lpfnUIDLLCallback, HWND hwndOwner,
                                   DWORD dwPermanentProviderID);
TSPIAPI LONG TUISPI_providerInstall(TUISPIDLLCALLBACK lpfnUIDLLCallback, HWND hwndOwner,
                                    DWORD dwPermanentProviderID);
TSPIAPI LONG TUISPI_providerRemove(TUISPIDLLCALLBACK lpfnUIDLLCallback, HWND hwndOwner,
                                   DWORD dwPermanentProviderID);

// ---------------------------------------------------------------------------------------------
// Line functions
// ---------------------------------------------------------------------------------------------

TSPIAPI LONG TSPI_lineAddToConference(DRV_REQUESTID dwRequestID, HDRVCALL hdConfCall,
                                      HDRVCALL hdConsultCall);
TSPIAPI LONG TSPI_lineAnswer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCSTR lpsUserUserInfo,
                             DWORD dwSize);
TSPIAPI LONG TSPI_lineBlindTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall,
                                    LPCWSTR lpszDestAddress, DWORD dwCountryCode);
TSPIAPI LONG TSPI_lineClose(HDRVLINE hdLine);
TSPIAPI LONG TSPI_lineCloseCall(HDRVCALL hdCall);
TSPIAPI LONG TSPI_lineCompleteCall(DRV_REQUESTID dwRequestID, HDRVCALL hdCall,
                                   LPDWORD lpdwCompletionID, DWORD dwCompletionMode,
                                   DWORD dwMessageID);
TSPIAPI LONG TSPI_lineCompleteTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall,
                                       HDRVCALL hdConsultCall, HTAPICALL htConfCall,
                                       LPHDRVCALL lphdConfCall, DWORD dwTransferMode);
TSPIAPI LONG TSPI_lineDevSpecific(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD dwAddressID,
                                  HDRVCALL hdCall, LPVOID lpParams, DWORD dwSize);
TSPIAPI LONG TSPI_lineDial(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCWSTR lpszDestAddress,
                           DWORD dwCountryCode);
TSPIAPI LONG TSPI_lineDrop(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCSTR lpsUserUserInfo,
                           DWORD dwSize);
TSPIAPI LONG TSPI_lineForward(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD bAllAddresses,
                              DWORD dwAddressID, const LINEFORWARDLIST* lpForwardList,
                              DWORD dwNumRingsNoAnswer, HTAPICALL htConsultCall,
                              LPHDRVCALL lphdConsultCall, const LINECALLPARAMS* lpCallParams);
// Synchronous: the result arrives as LINE_GATHERDIGITS; lpsDigits is a UTF-16 buffer of
// dwNumDigits units.
TSPIAPI LONG TSPI_lineGatherDigits(HDRVCALL hdCall, DWORD dwEndToEndID, DWORD dwDigitModes,
                                   LPWSTR lpsDigits, DWORD dwNumDigits,
                                   LPCWSTR lpszTerminationDigits, DWORD dwFirstDigitTimeout,
                                   DWORD dwInterDigitTimeout);
TSPIAPI LONG TSPI_lineGetAddressCaps(DWORD dwDeviceID, DWORD dwAddressID, DWORD dwTSPIVersion,
                                     DWORD dwExtVersion, LPLINEADDRESSCAPS lpAddressCaps);
TSPIAPI LONG TSPI_lineGetAddressID(HDRVLINE hdLine, LPDWORD lpdwAddressID, DWORD dwAddressMode,
                                   LPCWSTR lpsAddress, DWORD dwSize);
TSPIAPI LONG TSPI_lineGetAddressStatus(HDRVLINE hdLine, DWORD dwAddressID,
                                       LPLINEADDRESSSTATUS lpAddressStatus);
TSPIAPI LONG TSPI_lineGetCallAddressID(HDRVCALL hdCall, LPDWORD lpdwAddressID);
TSPIAPI LONG TSPI_lineGetCallInfo(HDRVCALL hdCall, LPLINECALLINFO lpCallInfo);
TSPIAPI LONG TSPI_lineGetCallStatus(HDRVCALL hdCall, LPLINECALLSTATUS lpCallStatus);
TSPIAPI LONG TSPI_lineGetDevCaps(DWORD dwDeviceID, DWORD dwTSPIVersion, DWORD dwExtVersion,
                                 LPLINEDEVCAPS lpLineDevCaps);
TSPIAPI LONG TSPI_lineGetDevConfig(DWORD dwDeviceID, LPVARSTRING lpDeviceConfig,
                                   LPCWSTR lpszDeviceClass);
TSPIAPI LONG TSPI_lineGetExtensionID(DWORD dwDeviceID, DWORD dwTSPIVersion,
                                     LPLINEEXTENSIONID lpExtensionID);
TSPIAPI LONG TSPI_lineGetIcon(DWORD dwDeviceID, LPCWSTR lpszDeviceClass, LPHICON lphIcon);
TSPIAPI LONG TSPI_lineGetID(HDRVLINE hdLine, DWORD dwAddressID, HDRVCALL hdCall, DWORD dwSelect,
                            LPVARSTRING lpDeviceID, LPCWSTR lpszDeviceClass, HANDLE hTargetProcess);
TSPIAPI LONG TSPI_lineGetLineDevStatus(HDRVLINE hdLine, LPLINEDEVSTATUS lpLineDevStatus);
TSPIAPI LONG TSPI_lineGetNumAddressIDs(HDRVLINE hdLine, LPDWORD lpdwNumAddressIDs);
TSPIAPI LONG TSPI_lineHold(DRV_REQUESTID dwRequestID, HDRVCALL hdCall);
TSPIAPI LONG TSPI_lineMakeCall(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, HTAPICALL htCall,
                               LPHDRVCALL lphdCall, LPCWSTR lpszDestAddress, DWORD dwCountryCode,
                               const LINECALLPARAMS* lpCallParams);
TSPIAPI LONG TSPI_lineNegotiateExtVersion(DWORD dwDeviceID, DWORD dwTSPIVersion, DWORD dwLowVersion,
                                          DWORD dwHighVersion, LPDWORD lpdwExtVersion);
// dwDeviceID may be INITIALIZE_NEGOTIATION.
TSPIAPI LONG TSPI_lineNegotiateTSPIVersion(DWORD dwDeviceID, DWORD dwLowVersion,
                                           DWORD dwHighVersion, LPDWORD lpdwTSPIVersion);
TSPIAPI LONG TSPI_lineOpen(DWORD dwDeviceID, HTAPILINE htLine, LPHDRVLINE lphdLine,
                           DWORD dwTSPIVersion, LINEEVENT lpfnEventProc);
TSPIAPI LONG TSPI_linePark(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, DWORD dwParkMode,
                           LPCWSTR lpszDirAddress, LPVARSTRING lpNonDirAddress);
TSPIAPI LONG TSPI_linePickup(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD dwAddressID,
                             HTAPICALL htCall, LPHDRVCALL lphdCall, LPCWSTR lpszDestAddress,
                             LPCWSTR lpszGroupID);
TSPIAPI LONG TSPI_lineRedirect(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCWSTR lpszDestAddress,
                               DWORD dwCountryCode);
TSPIAPI LONG TSPI_lineRemoveFromConference(DRV_REQUESTID dwRequestID, HDRVCALL hdCall);
TSPIAPI LONG TSPI_lineSelectExtVersion(HDRVLINE hdLine, DWORD dwExtVersion);
TSPIAPI LONG TSPI_lineSetAppSpecific(HDRVCALL hdCall, DWORD dwAppSpecific);
TSPIAPI LONG TSPI_lineSetCallData(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPVOID lpCallData,
                                  DWORD dwSize);
TSPIAPI LONG TSPI_lineSetCallParams(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, DWORD dwBearerMode,
                                    DWORD dwMinRate, DWORD dwMaxRate,
                                    const LINEDIALPARAMS* lpDialParams);
TSPIAPI LONG TSPI_lineSetCallTreatment(DRV_REQUESTID dwRequestID, HDRVCALL hdCall,
                                       DWORD dwTreatment);
// Obsolete (a location change is now LINEDEVSTATE_TRANSLATECHANGE) but still exported.
TSPIAPI LONG TSPI_lineSetCurrentLocation(DWORD dwLocation);
TSPIAPI LONG TSPI_lineSetDefaultMediaDetection(HDRVLINE hdLine, DWORD dwMediaModes);
TSPIAPI LONG TSPI_lineSetDevConfig(DWORD dwDeviceID, LPCVOID lpDeviceConfig, DWORD dwSize,
                                   LPCWSTR lpszDeviceClass);
TSPIAPI LONG TSPI_lineSetLineDevStatus(DRV_REQUESTID dwRequestID, HDRVLINE hdLine,
                                       DWORD dwStatusToChange, DWORD fStatus);
TSPIAPI LONG TSPI_lineSetStatusMessages(HDRVLINE hdLine, DWORD dwLineStates, DWORD dwAddressStates);
TSPIAPI LONG TSPI_lineSetTerminal(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD dwAddressID,
                                  HDRVCALL hdCall, DWORD dwSelect, DWORD dwTerminalModes,
                                  DWORD dwTerminalID, DWORD bEnable);
TSPIAPI LONG TSPI_lineSetupConference(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, HDRVLINE hdLine,
                                      HTAPICALL htConfCall, LPHDRVCALL lphdConfCall,
                                      HTAPICALL htConsultCall, LPHDRVCALL lphdConsultCall,
                                      DWORD dwNumParties, const LINECALLPARAMS* lpCallParams);
TSPIAPI LONG TSPI_lineSetupTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall,
                                    HTAPICALL htConsultCall, LPHDRVCALL lphdConsultCall,
                                    const LINECALLPARAMS* lpCallParams);
TSPIAPI LONG TSPI_lineSwapHold(DRV_REQUESTID dwRequestID, HDRVCALL hdActiveCall,
                               HDRVCALL hdHeldCall);
TSPIAPI LONG TSPI_lineUncompleteCall(DRV_REQUESTID dwRequestID, HDRVLINE hdLine,
                                     DWORD dwCompletionID);
TSPIAPI LONG TSPI_lineUnhold(DRV_REQUESTID dwRequestID, HDRVCALL hdCall);
TSPIAPI LONG TSPI_lineUnpark(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD dwAddressID,
                             HTAPICALL htCall, LPHDRVCALL lphdCall, LPCWSTR lpszDestAddress);

// ---------------------------------------------------------------------------------------------
// Phone functions
// ---------------------------------------------------------------------------------------------

TSPIAPI LONG TSPI_phoneClose(HDRVPHONE hdPhone);
TSPIAPI LONG TSPI_phoneDevSpecific(DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone, LPVOID lpParams,
                                   DWORD dwSize);
TSPIAPI LONG TSPI_phoneGetButtonInfo(HDRVPHONE hdPhone, DWORD dwButtonLampID,
                                     LPPHONEBUTTONINFO lpButtonInfo);
TSPIAPI LONG TSPI_phoneGetData(HDRVPHONE hdPhone, DWORD dwDataID, LPVOID lpData, DWORD dwSize);
TSPIAPI LONG TSPI_phoneGetDevCaps(DWORD dwDeviceID, DWORD dwTSPIVersion, DWORD dwExtVersion,
                                  LPPHONECAPS lpPhoneCaps);
TSPIAPI LONG TSPI_phoneGetDisplay(HDRVPHONE hdPhone, LPVARSTRING lpDisplay);
TSPIAPI LONG TSPI_phoneGetExtensionID(DWORD dwDeviceID, DWORD dwTSPIVersion,
                                      LPPHONEEXTENSIONID lpExtensionID);
TSPIAPI LONG TSPI_phoneGetGain(HDRVPHONE hdPhone, DWORD dwHookSwitchDev, LPDWORD lpdwGain);
TSPIAPI LONG TSPI_phoneGetHookSwitch(HDRVPHONE hdPhone, LPDWORD lpdwHookSwitchDevs);
TSPIAPI LONG TSPI_phoneGetID(HDRVPHONE hdPhone, LPVARSTRING lpDeviceID, LPCWSTR lpszDeviceClass,
                             HANDLE hTargetProcess);
TSPIAPI LONG TSPI_phoneGetIcon(DWORD dwDeviceID, LPCWSTR lpszDeviceClass, LPHICON lphIcon);
TSPIAPI LONG TSPI_phoneGetLamp(HDRVPHONE hdPhone, DWORD dwButtonLampID, LPDWORD lpdwLampMode);
TSPIAPI LONG TSPI_phoneGetRing(HDRVPHONE hdPhone, LPDWORD lpdwRingMode, LPDWORD lpdwVolume);
TSPIAPI LONG TSPI_phoneGetStatus(HDRVPHONE hdPhone, LPPHONESTATUS lpPhoneStatus);
TSPIAPI LONG TSPI_phoneGetVolume(HDRVPHONE hdPhone, DWORD dwHookSwitchDev, LPDWORD lpdwVolume);
TSPIAPI LONG TSPI_phoneNegotiateExtVersion(DWORD dwDeviceID, DWORD dwTSPIVersion,
                                           DWORD dwLowVersion, DWORD dwHighVersion,
                                           LPDWORD lpdwExtVersion);
TSPIAPI LONG TSPI_phoneNegotiateTSPIVersion(DWORD dwDeviceID, DWORD dwLowVersion,
                                            DWORD dwHighVersion, LPDWORD lpdwTSPIVersion);
TSPIAPI LONG TSPI_phoneOpen(DWORD dwDeviceID, HTAPIPHONE htPhone, LPHDRVPHONE lphdPhone,
                            DWORD dwTSPIVersion, PHONEEVENT lpfnEventProc);
TSPIAPI LONG TSPI_phoneSelectExtVersion(HDRVPHONE hdPhone, DWORD dwExtVersion);
TSPIAPI LONG TSPI_phoneSetButtonInfo(DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone,
                                     DWORD dwButtonLampID, const PHONEBUTTONINFO* lpButtonInfo);
TSPIAPI LONG TSPI_phoneSetData(DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone, DWORD dwDataID,
                               LPCVOID lpData, DWORD dwSize);
TSPIAPI LONG TSPI_phoneSetDisplay(DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone, DWORD dwRow,
                                  DWORD dwColumn, LPCWSTR lpsDisplay, DWORD dwSize);
TSPIAPI LONG TSPI_phoneSetGain(DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone, DWORD dwHookSwitchDev,
                               DWORD dwGain);
TSPIAPI LONG TSPI_phoneSetHookSwitch(DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone,
                                     DWORD dwHookSwitchDevs, DWORD dwHookSwitchMode);
TSPIAPI LONG TSPI_phoneSetLamp(DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone, DWORD dwButtonLampID,
                               DWORD dwLampMode);
TSPIAPI LONG TSPI_phoneSetRing(DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone, DWORD dwRingMode,
                               DWORD dwVolume);
TSPIAPI LONG TSPI_phoneSetStatusMessages(HDRVPHONE hdPhone, DWORD dwPhoneStates,
                                         DWORD dwButtonModes, DWORD dwButtonStates);
TSPIAPI LONG TSPI_phoneSetVolume(DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone,
                                 DWORD dwHookSwitchDev, DWORD dwVolume);

}  // extern "C"

// ---------------------------------------------------------------------------------------------
// Binding by name
// ---------------------------------------------------------------------------------------------

// Every entry point above, in alphabetical order: X(name) once per function. The host uses it
// to look each one up in a loaded provider; QRVN_TSPI_FUNCTIONS(X) expands to all of them.
#define QRVN_TSPI_PROVIDER_FUNCTIONS(X) \
  X(TSPI_providerConfig)                \
  X(TSPI_providerCreateLineDevice)      \
  X(TSPI_providerCreatePhoneDevice)     \
  X(TSPI_providerEnumDevices)           \
  X(TSPI_providerFreeDialogInstance)    \
  X(TSPI_providerGenericDialogData)     \
  X(TSPI_providerInit)                  \
  X(TSPI_providerInstall)               \
  X(TSPI_providerRemove)                \
  X(TSPI_providerShutdown)              \
  X(TSPI_providerUIIdentify)

#define QRVN_TUISPI_FUNCTIONS(X) \
  X(TUISPI_providerConfig)       \
  X(TUISPI_providerInstall)      \
  X(TUISPI_providerRemove)

#define QRVN_TSPI_LINE_FUNCTIONS(X)    \
  X(TSPI_lineAddToConference)          \
  X(TSPI_lineAnswer)                   \
  X(TSPI_lineBlindTransfer)            \
  X(TSPI_lineClose)                    \
  X(TSPI_lineCloseCall)                \
  X(TSPI_lineCompleteCall)             \
  X(TSPI_lineCompleteTransfer)         \
  X(TSPI_lineDevSpecific)              \
  X(TSPI_lineDial)                     \
  X(TSPI_lineDrop)                     \
  X(TSPI_lineForward)                  \
  X(TSPI_lineGatherDigits)             \
  X(TSPI_lineGetAddressCaps)           \
  X(TSPI_lineGetAddressID)             \
  X(TSPI_lineGetAddressStatus)         \
  X(TSPI_lineGetCallAddressID)         \
  X(TSPI_lineGetCallInfo)              \
  X(TSPI_lineGetCallStatus)            \
  X(TSPI_lineGetDevCaps)               \
  X(TSPI_lineGetDevConfig)             \
  X(TSPI_lineGetExtensionID)           \
  X(TSPI_lineGetIcon)                  \
  X(TSPI_lineGetID)                    \
  X(TSPI_lineGetLineDevStatus)         \
  X(TSPI_lineGetNumAddressIDs)         \
  X(TSPI_lineHold)                     \
  X(TSPI_lineMakeCall)                 \
  X(TSPI_lineNegotiateExtVersion)      \
  X(TSPI_lineNegotiateTSPIVersion)     \
  X(TSPI_lineOpen)                     \
  X(TSPI_linePark)                     \
  X(TSPI_linePickup)                   \
  X(TSPI_lineRedirect)                 \
  X(TSPI_lineRemoveFromConference)     \
  X(TSPI_lineSelectExtVersion)         \
  X(TSPI_lineSetAppSpecific)           \
  X(TSPI_lineSetCallData)              \
  X(TSPI_lineSetCallParams)            \
  X(TSPI_lineSetCallTreatment)         \
  X(TSPI_lineSetCurrentLocation)       \
  X(TSPI_lineSetDefaultMediaDetection) \
  X(TSPI_lineSetDevConfig)             \
  X(TSPI_lineSetLineDevStatus)         \
  X(TSPI_lineSetStatusMessages)        \
  X(TSPI_lineSetTerminal)              \
  X(TSPI_lineSetupConference)          \
  X(TSPI_lineSetupTransfer)            \
  X(TSPI_lineSwapHold)                 \
  X(TSPI_lineUncompleteCall)           \
  X(TSPI_lineUnhold)                   \
  X(TSPI_lineUnpark)

#define QRVN_TSPI_PHONE_FUNCTIONS(X) \
  X(TSPI_phoneClose)                 \
  X(TSPI_phoneDevSpecific)           \
  X(TSPI_phoneGetButtonInfo)         \
  X(TSPI_phoneGetData)               \
  X(TSPI_phoneGetDevCaps)            \
  X(TSPI_phoneGetDisplay)            \
  X(TSPI_phoneGetExtensionID)        \
  X(TSPI_phoneGetGain)               \
  X(TSPI_phoneGetHookSwitch)         \
  X(TSPI_phoneGetID)                 \
  X(TSPI_phoneGetIcon)               \
  X(TSPI_phoneGetLamp)               \
  X(TSPI_phoneGetRing)               \
  X(TSPI_phoneGetStatus)             \
  X(TSPI_phoneGetVolume)             \
  X(TSPI_phoneNegotiateExtVersion)   \
  X(TSPI_phoneNegotiateTSPIVersion)  \
  X(TSPI_phoneOpen)                  \
  X(TSPI_phoneSelectExtVersion)      \
  X(TSPI_phoneSetButtonInfo)         \
  X(TSPI_phoneSetData)               \
  X(TSPI_phoneSetDisplay)            \
  X(TSPI_phoneSetGain)               \
  X(TSPI_phoneSetHookSwitch)         \
  X(TSPI_phoneSetLamp)               \
  X(TSPI_phoneSetRing)               \
  X(TSPI_phoneSetStatusMessages)     \
  X(TSPI_phoneSetVolume)

#define QRVN_TSPI_FUNCTIONS(X)    \
  QRVN_TSPI_PROVIDER_FUNCTIONS(X) \
  QRVN_TSPI_LINE_FUNCTIONS(X)     \
  QRVN_TSPI_PHONE_FUNCTIONS(X)    \
  QRVN_TUISPI_FUNCTIONS(X)

// PFN_<name>: the pointer type of each entry point, for binding it from a loaded module.
#define QRVN_TSPI_DECLARE_PFN(name) using PFN_##name = decltype(&name);
QRVN_TSPI_FUNCTIONS(QRVN_TSPI_DECLARE_PFN)
#undef QRVN_TSPI_DECLARE_PFN
