// TAPI 2.x definitions shared by the telephony service provider and the telephony host: base
// types and handles, line messages, constants by family and the structures passed across the
// TSPI. Structures have the TAPI 2.0/2.1 layout, the one a provider fills after negotiating
// TSPI version 0x00020001; members added by later TAPI versions are listed as comments only.
// Every structure holds 32-bit fields (and 16-bit ones inside GUID and SYSTEMTIME) at their
// natural alignment and no pointers, so the layout is the same on 32- and 64-bit builds.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------------------------
// Base types
// ---------------------------------------------------------------------------------------------

using DWORD = uint32_t;
using LONG = int32_t;
using WORD = uint16_t;
using BYTE = uint8_t;
using BOOL = int32_t;
using DWORD_PTR = uintptr_t;

using LPVOID = void*;
using LPCVOID = const void*;
using LPDWORD = DWORD*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = char16_t*;
using LPCWSTR = const char16_t*;

// HLINE and HCALL are 32-bit values wherever they appear (LINECALLINFO.hLine); they are not
// the pointer-sized TSPI handles below.
using HLINE = DWORD;
using HCALL = DWORD;

// Opaque pointer-sized handles. Each is a pointer to its own incomplete type so that a line
// handle cannot be passed where a call handle is expected.
struct HDRVLINE_tag;
using HDRVLINE = HDRVLINE_tag*;  // the provider's line
struct HDRVCALL_tag;
using HDRVCALL = HDRVCALL_tag*;  // the provider's call
struct HDRVPHONE_tag;
using HDRVPHONE = HDRVPHONE_tag*;  // the provider's phone
struct HDRVDIALOGINSTANCE_tag;
using HDRVDIALOGINSTANCE = HDRVDIALOGINSTANCE_tag*;  // the provider's UI dialog instance
struct HTAPILINE_tag;
using HTAPILINE = HTAPILINE_tag*;  // TAPI's line, given back in line events
struct HTAPICALL_tag;
using HTAPICALL = HTAPICALL_tag*;  // TAPI's call, given back in line events
struct HTAPIPHONE_tag;
using HTAPIPHONE = HTAPIPHONE_tag*;  // TAPI's phone, given back in phone events
struct HTAPIDIALOGINSTANCE_tag;
using HTAPIDIALOGINSTANCE = HTAPIDIALOGINSTANCE_tag*;  // TAPI's UI dialog instance
struct HPROVIDER_tag;
using HPROVIDER = HPROVIDER_tag*;  // TAPI's handle of a provider instance
struct HWND_tag;
using HWND = HWND_tag*;  // a window (owner of a dialog or message box)
struct HICON_tag;
using HICON = HICON_tag*;  // an icon
using HANDLE = void*;      // a generic system object (the target process of TSPI_lineGetID)

using LPHDRVLINE = HDRVLINE*;
using LPHDRVCALL = HDRVCALL*;
using LPHDRVPHONE = HDRVPHONE*;
using LPHICON = HICON*;

// Identifies an asynchronous request; TAPI issues 0x00000001..0x7FFFFFFF.
using DRV_REQUESTID = DWORD;

static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(WORD) == 2 && sizeof(BYTE) == 1);
static_assert(sizeof(DWORD_PTR) == sizeof(void*));
static_assert(sizeof(HDRVLINE) == sizeof(void*) && sizeof(HTAPICALL) == sizeof(void*));
static_assert(sizeof(HLINE) == 4 && sizeof(HCALL) == 4);

// ---------------------------------------------------------------------------------------------
// Versions (high word major, low word minor)
// ---------------------------------------------------------------------------------------------

inline constexpr DWORD TAPI_VERSION1_4 = 0x00010004;
inline constexpr DWORD TAPI_VERSION2_0 = 0x00020000;
inline constexpr DWORD TAPI_VERSION2_1 = 0x00020001;  // the TSPI version this system negotiates
inline constexpr DWORD TAPI_VERSION2_2 = 0x00020002;
inline constexpr DWORD TAPI_VERSION3_0 = 0x00030000;
inline constexpr DWORD TAPI_VERSION3_1 = 0x00030001;

// ---------------------------------------------------------------------------------------------
// Special values
// ---------------------------------------------------------------------------------------------

// dwDeviceID of TSPI_lineNegotiateTSPIVersion / TSPI_phoneNegotiateTSPIVersion before any
// device is known.
inline constexpr DWORD INITIALIZE_NEGOTIATION = 0xFFFFFFFF;
// The line mapper device ID of the application interface; never passed to a provider.
inline constexpr DWORD LINEMAPPER = 0xFFFFFFFF;

// ---------------------------------------------------------------------------------------------
// Line messages: dwMsg of LINEEVENT
// ---------------------------------------------------------------------------------------------

inline constexpr DWORD LINE_ADDRESSSTATE = 0;
inline constexpr DWORD LINE_CALLINFO = 1;
inline constexpr DWORD LINE_CALLSTATE = 2;
inline constexpr DWORD LINE_CLOSE = 3;
inline constexpr DWORD LINE_DEVSPECIFIC = 4;
inline constexpr DWORD LINE_DEVSPECIFICFEATURE = 5;
inline constexpr DWORD LINE_GATHERDIGITS = 6;
inline constexpr DWORD LINE_GENERATE = 7;
inline constexpr DWORD LINE_LINEDEVSTATE = 8;
inline constexpr DWORD LINE_MONITORDIGITS = 9;
inline constexpr DWORD LINE_MONITORMEDIA = 10;
inline constexpr DWORD LINE_MONITORTONE = 11;
// Application level only: a provider reports completions through ASYNC_COMPLETION.
inline constexpr DWORD LINE_REPLY = 12;
inline constexpr DWORD LINE_CREATE = 19;
inline constexpr DWORD LINE_REMOVE = 25;
// Messages only a provider sends (TSPI messages), numbered from 500 in the order TAPI lists them;
// the provider's event trace shows LINE_NEWCALL as 500 and LINE_CALLDEVSPECIFIC as 501.
inline constexpr DWORD LINE_NEWCALL = 500;
inline constexpr DWORD LINE_CALLDEVSPECIFIC = 501;
inline constexpr DWORD LINE_CALLDEVSPECIFICFEATURE = 502;
inline constexpr DWORD LINE_CREATEDIALOGINSTANCE = 503;
inline constexpr DWORD LINE_SENDDIALOGINSTANCEDATA = 504;

// ---------------------------------------------------------------------------------------------
// Constants by family. Every family is complete; members introduced after TAPI 2.1 say so.
// ---------------------------------------------------------------------------------------------

// Line error codes: the negative LONG results of TSPI line functions and completions.
inline constexpr LONG LINEERR_ALLOCATED = static_cast<LONG>(0x80000001);
inline constexpr LONG LINEERR_BADDEVICEID = static_cast<LONG>(0x80000002);
inline constexpr LONG LINEERR_BEARERMODEUNAVAIL = static_cast<LONG>(0x80000003);
inline constexpr LONG LINEERR_CALLUNAVAIL = static_cast<LONG>(0x80000005);
inline constexpr LONG LINEERR_COMPLETIONOVERRUN = static_cast<LONG>(0x80000006);
inline constexpr LONG LINEERR_CONFERENCEFULL = static_cast<LONG>(0x80000007);
inline constexpr LONG LINEERR_DIALBILLING = static_cast<LONG>(0x80000008);
inline constexpr LONG LINEERR_DIALDIALTONE = static_cast<LONG>(0x80000009);
inline constexpr LONG LINEERR_DIALPROMPT = static_cast<LONG>(0x8000000A);
inline constexpr LONG LINEERR_DIALQUIET = static_cast<LONG>(0x8000000B);
inline constexpr LONG LINEERR_INCOMPATIBLEAPIVERSION = static_cast<LONG>(0x8000000C);
inline constexpr LONG LINEERR_INCOMPATIBLEEXTVERSION = static_cast<LONG>(0x8000000D);
inline constexpr LONG LINEERR_INIFILECORRUPT = static_cast<LONG>(0x8000000E);
inline constexpr LONG LINEERR_INUSE = static_cast<LONG>(0x8000000F);
inline constexpr LONG LINEERR_INVALADDRESS = static_cast<LONG>(0x80000010);
inline constexpr LONG LINEERR_INVALADDRESSID = static_cast<LONG>(0x80000011);
inline constexpr LONG LINEERR_INVALADDRESSMODE = static_cast<LONG>(0x80000012);
inline constexpr LONG LINEERR_INVALADDRESSSTATE = static_cast<LONG>(0x80000013);
inline constexpr LONG LINEERR_INVALAPPHANDLE = static_cast<LONG>(0x80000014);
inline constexpr LONG LINEERR_INVALAPPNAME = static_cast<LONG>(0x80000015);
inline constexpr LONG LINEERR_INVALBEARERMODE = static_cast<LONG>(0x80000016);
inline constexpr LONG LINEERR_INVALCALLCOMPLMODE = static_cast<LONG>(0x80000017);
inline constexpr LONG LINEERR_INVALCALLHANDLE = static_cast<LONG>(0x80000018);
inline constexpr LONG LINEERR_INVALCALLPARAMS = static_cast<LONG>(0x80000019);
inline constexpr LONG LINEERR_INVALCALLPRIVILEGE = static_cast<LONG>(0x8000001A);
inline constexpr LONG LINEERR_INVALCALLSELECT = static_cast<LONG>(0x8000001B);
inline constexpr LONG LINEERR_INVALCALLSTATE = static_cast<LONG>(0x8000001C);
inline constexpr LONG LINEERR_INVALCALLSTATELIST = static_cast<LONG>(0x8000001D);
inline constexpr LONG LINEERR_INVALCARD = static_cast<LONG>(0x8000001E);
inline constexpr LONG LINEERR_INVALCOMPLETIONID = static_cast<LONG>(0x8000001F);
inline constexpr LONG LINEERR_INVALCONFCALLHANDLE = static_cast<LONG>(0x80000020);
inline constexpr LONG LINEERR_INVALCONSULTCALLHANDLE = static_cast<LONG>(0x80000021);
inline constexpr LONG LINEERR_INVALCOUNTRYCODE = static_cast<LONG>(0x80000022);
inline constexpr LONG LINEERR_INVALDEVICECLASS = static_cast<LONG>(0x80000023);
inline constexpr LONG LINEERR_INVALDEVICEHANDLE = static_cast<LONG>(0x80000024);
inline constexpr LONG LINEERR_INVALDIALPARAMS = static_cast<LONG>(0x80000025);
inline constexpr LONG LINEERR_INVALDIGITLIST = static_cast<LONG>(0x80000026);
inline constexpr LONG LINEERR_INVALDIGITMODE = static_cast<LONG>(0x80000027);
inline constexpr LONG LINEERR_INVALDIGITS = static_cast<LONG>(0x80000028);
inline constexpr LONG LINEERR_INVALEXTVERSION = static_cast<LONG>(0x80000029);
inline constexpr LONG LINEERR_INVALGROUPID = static_cast<LONG>(0x8000002A);
inline constexpr LONG LINEERR_INVALLINEHANDLE = static_cast<LONG>(0x8000002B);
inline constexpr LONG LINEERR_INVALLINESTATE = static_cast<LONG>(0x8000002C);
inline constexpr LONG LINEERR_INVALLOCATION = static_cast<LONG>(0x8000002D);
inline constexpr LONG LINEERR_INVALMEDIALIST = static_cast<LONG>(0x8000002E);
inline constexpr LONG LINEERR_INVALMEDIAMODE = static_cast<LONG>(0x8000002F);
inline constexpr LONG LINEERR_INVALMESSAGEID = static_cast<LONG>(0x80000030);
inline constexpr LONG LINEERR_INVALPARAM = static_cast<LONG>(0x80000032);
inline constexpr LONG LINEERR_INVALPARKID = static_cast<LONG>(0x80000033);
inline constexpr LONG LINEERR_INVALPARKMODE = static_cast<LONG>(0x80000034);
inline constexpr LONG LINEERR_INVALPOINTER = static_cast<LONG>(0x80000035);
inline constexpr LONG LINEERR_INVALPRIVSELECT = static_cast<LONG>(0x80000036);
inline constexpr LONG LINEERR_INVALRATE = static_cast<LONG>(0x80000037);
inline constexpr LONG LINEERR_INVALREQUESTMODE = static_cast<LONG>(0x80000038);
inline constexpr LONG LINEERR_INVALTERMINALID = static_cast<LONG>(0x80000039);
inline constexpr LONG LINEERR_INVALTERMINALMODE = static_cast<LONG>(0x8000003A);
inline constexpr LONG LINEERR_INVALTIMEOUT = static_cast<LONG>(0x8000003B);
inline constexpr LONG LINEERR_INVALTONE = static_cast<LONG>(0x8000003C);
inline constexpr LONG LINEERR_INVALTONELIST = static_cast<LONG>(0x8000003D);
inline constexpr LONG LINEERR_INVALTONEMODE = static_cast<LONG>(0x8000003E);
inline constexpr LONG LINEERR_INVALTRANSFERMODE = static_cast<LONG>(0x8000003F);
inline constexpr LONG LINEERR_LINEMAPPERFAILED = static_cast<LONG>(0x80000040);
inline constexpr LONG LINEERR_NOCONFERENCE = static_cast<LONG>(0x80000041);
inline constexpr LONG LINEERR_NODEVICE = static_cast<LONG>(0x80000042);
inline constexpr LONG LINEERR_NODRIVER = static_cast<LONG>(0x80000043);
inline constexpr LONG LINEERR_NOMEM = static_cast<LONG>(0x80000044);
inline constexpr LONG LINEERR_NOREQUEST = static_cast<LONG>(0x80000045);
inline constexpr LONG LINEERR_NOTOWNER = static_cast<LONG>(0x80000046);
inline constexpr LONG LINEERR_NOTREGISTERED = static_cast<LONG>(0x80000047);
inline constexpr LONG LINEERR_OPERATIONFAILED = static_cast<LONG>(0x80000048);
inline constexpr LONG LINEERR_OPERATIONUNAVAIL = static_cast<LONG>(0x80000049);
inline constexpr LONG LINEERR_RATEUNAVAIL = static_cast<LONG>(0x8000004A);
inline constexpr LONG LINEERR_RESOURCEUNAVAIL = static_cast<LONG>(0x8000004B);
inline constexpr LONG LINEERR_REQUESTOVERRUN = static_cast<LONG>(0x8000004C);
inline constexpr LONG LINEERR_STRUCTURETOOSMALL = static_cast<LONG>(0x8000004D);
inline constexpr LONG LINEERR_TARGETNOTFOUND = static_cast<LONG>(0x8000004E);
inline constexpr LONG LINEERR_TARGETSELF = static_cast<LONG>(0x8000004F);
inline constexpr LONG LINEERR_UNINITIALIZED = static_cast<LONG>(0x80000050);
inline constexpr LONG LINEERR_USERUSERINFOTOOBIG = static_cast<LONG>(0x80000051);
inline constexpr LONG LINEERR_REINIT = static_cast<LONG>(0x80000052);
inline constexpr LONG LINEERR_ADDRESSBLOCKED = static_cast<LONG>(0x80000053);
inline constexpr LONG LINEERR_BILLINGREJECTED = static_cast<LONG>(0x80000054);
inline constexpr LONG LINEERR_INVALFEATURE = static_cast<LONG>(0x80000055);
inline constexpr LONG LINEERR_NOMULTIPLEINSTANCE = static_cast<LONG>(0x80000056);
inline constexpr LONG LINEERR_INVALAGENTID = static_cast<LONG>(0x80000057);
inline constexpr LONG LINEERR_INVALAGENTGROUP = static_cast<LONG>(0x80000058);
inline constexpr LONG LINEERR_INVALPASSWORD = static_cast<LONG>(0x80000059);
inline constexpr LONG LINEERR_INVALAGENTSTATE = static_cast<LONG>(0x8000005A);
inline constexpr LONG LINEERR_INVALAGENTACTIVITY = static_cast<LONG>(0x8000005B);
inline constexpr LONG LINEERR_DIALVOICEDETECT = static_cast<LONG>(0x8000005C);
inline constexpr LONG LINEERR_USERCANCELLED =
    static_cast<LONG>(0x8000005D);  // since TAPI 2.2 (newer than the negotiated 2.1)
inline constexpr LONG LINEERR_INVALADDRESSTYPE =
    static_cast<LONG>(0x8000005E);  // since TAPI 3.0 (newer than the negotiated 2.1)
inline constexpr LONG LINEERR_INVALAGENTSESSIONSTATE =
    static_cast<LONG>(0x8000005F);  // since TAPI 2.2 (newer than the negotiated 2.1)

// Phone error codes (the provider answers every phone function with PHONEERR_DISCONNECTED).
inline constexpr LONG PHONEERR_ALLOCATED = static_cast<LONG>(0x90000001);
inline constexpr LONG PHONEERR_BADDEVICEID = static_cast<LONG>(0x90000002);
inline constexpr LONG PHONEERR_INCOMPATIBLEAPIVERSION = static_cast<LONG>(0x90000003);
inline constexpr LONG PHONEERR_INCOMPATIBLEEXTVERSION = static_cast<LONG>(0x90000004);
inline constexpr LONG PHONEERR_INIFILECORRUPT = static_cast<LONG>(0x90000005);
inline constexpr LONG PHONEERR_INUSE = static_cast<LONG>(0x90000006);
inline constexpr LONG PHONEERR_INVALAPPHANDLE = static_cast<LONG>(0x90000007);
inline constexpr LONG PHONEERR_INVALAPPNAME = static_cast<LONG>(0x90000008);
inline constexpr LONG PHONEERR_INVALBUTTONLAMPID = static_cast<LONG>(0x90000009);
inline constexpr LONG PHONEERR_INVALBUTTONMODE = static_cast<LONG>(0x9000000A);
inline constexpr LONG PHONEERR_INVALBUTTONSTATE = static_cast<LONG>(0x9000000B);
inline constexpr LONG PHONEERR_INVALDATAID = static_cast<LONG>(0x9000000C);
inline constexpr LONG PHONEERR_INVALDEVICECLASS = static_cast<LONG>(0x9000000D);
inline constexpr LONG PHONEERR_INVALEXTVERSION = static_cast<LONG>(0x9000000E);
inline constexpr LONG PHONEERR_INVALHOOKSWITCHDEV = static_cast<LONG>(0x9000000F);
inline constexpr LONG PHONEERR_INVALHOOKSWITCHMODE = static_cast<LONG>(0x90000010);
inline constexpr LONG PHONEERR_INVALLAMPMODE = static_cast<LONG>(0x90000011);
inline constexpr LONG PHONEERR_INVALPARAM = static_cast<LONG>(0x90000012);
inline constexpr LONG PHONEERR_INVALPHONEHANDLE = static_cast<LONG>(0x90000013);
inline constexpr LONG PHONEERR_INVALPHONESTATE = static_cast<LONG>(0x90000014);
inline constexpr LONG PHONEERR_INVALPOINTER = static_cast<LONG>(0x90000015);
inline constexpr LONG PHONEERR_INVALPRIVILEGE = static_cast<LONG>(0x90000016);
inline constexpr LONG PHONEERR_INVALRINGMODE = static_cast<LONG>(0x90000017);
inline constexpr LONG PHONEERR_NODEVICE = static_cast<LONG>(0x90000018);
inline constexpr LONG PHONEERR_NODRIVER = static_cast<LONG>(0x90000019);
inline constexpr LONG PHONEERR_NOMEM = static_cast<LONG>(0x9000001A);
inline constexpr LONG PHONEERR_OPERATIONFAILED = static_cast<LONG>(0x9000001C);
inline constexpr LONG PHONEERR_OPERATIONUNAVAIL = static_cast<LONG>(0x9000001D);
inline constexpr LONG PHONEERR_RESOURCEUNAVAIL = static_cast<LONG>(0x9000001F);
inline constexpr LONG PHONEERR_REQUESTOVERRUN = static_cast<LONG>(0x90000020);
inline constexpr LONG PHONEERR_STRUCTURETOOSMALL = static_cast<LONG>(0x90000021);
inline constexpr LONG PHONEERR_UNINITIALIZED = static_cast<LONG>(0x90000022);
inline constexpr LONG PHONEERR_REINIT = static_cast<LONG>(0x90000023);
inline constexpr LONG PHONEERR_DISCONNECTED = static_cast<LONG>(0x90000024);

// LINEADDRESSCAPS.dwAddrCapFlags bits.
inline constexpr DWORD LINEADDRCAPFLAGS_FWDNUMRINGS = 0x00000001;
inline constexpr DWORD LINEADDRCAPFLAGS_PICKUPGROUPID = 0x00000002;
inline constexpr DWORD LINEADDRCAPFLAGS_SECURE = 0x00000004;
inline constexpr DWORD LINEADDRCAPFLAGS_BLOCKIDDEFAULT = 0x00000008;
inline constexpr DWORD LINEADDRCAPFLAGS_BLOCKIDOVERRIDE = 0x00000010;
inline constexpr DWORD LINEADDRCAPFLAGS_DIALED = 0x00000020;
inline constexpr DWORD LINEADDRCAPFLAGS_ORIGOFFHOOK = 0x00000040;
inline constexpr DWORD LINEADDRCAPFLAGS_DESTOFFHOOK = 0x00000080;
inline constexpr DWORD LINEADDRCAPFLAGS_FWDCONSULT = 0x00000100;
inline constexpr DWORD LINEADDRCAPFLAGS_SETUPCONFNULL = 0x00000200;
inline constexpr DWORD LINEADDRCAPFLAGS_AUTORECONNECT = 0x00000400;
inline constexpr DWORD LINEADDRCAPFLAGS_COMPLETIONID = 0x00000800;
inline constexpr DWORD LINEADDRCAPFLAGS_TRANSFERHELD = 0x00001000;
inline constexpr DWORD LINEADDRCAPFLAGS_TRANSFERMAKE = 0x00002000;
inline constexpr DWORD LINEADDRCAPFLAGS_CONFERENCEHELD = 0x00004000;
inline constexpr DWORD LINEADDRCAPFLAGS_CONFERENCEMAKE = 0x00008000;
inline constexpr DWORD LINEADDRCAPFLAGS_PARTIALDIAL = 0x00010000;
inline constexpr DWORD LINEADDRCAPFLAGS_FWDSTATUSVALID = 0x00020000;
inline constexpr DWORD LINEADDRCAPFLAGS_FWDINTEXTADDR = 0x00040000;
inline constexpr DWORD LINEADDRCAPFLAGS_FWDBUSYNAADDR = 0x00080000;
inline constexpr DWORD LINEADDRCAPFLAGS_ACCEPTTOALERT = 0x00100000;
inline constexpr DWORD LINEADDRCAPFLAGS_CONFDROP = 0x00200000;
inline constexpr DWORD LINEADDRCAPFLAGS_PICKUPCALLWAIT = 0x00400000;
inline constexpr DWORD LINEADDRCAPFLAGS_PREDICTIVEDIALER = 0x00800000;
inline constexpr DWORD LINEADDRCAPFLAGS_QUEUE = 0x01000000;
inline constexpr DWORD LINEADDRCAPFLAGS_ROUTEPOINT = 0x02000000;
inline constexpr DWORD LINEADDRCAPFLAGS_HOLDMAKESNEW = 0x04000000;
inline constexpr DWORD LINEADDRCAPFLAGS_NOINTERNALCALLS = 0x08000000;
inline constexpr DWORD LINEADDRCAPFLAGS_NOEXTERNALCALLS = 0x10000000;
inline constexpr DWORD LINEADDRCAPFLAGS_SETCALLINGID = 0x20000000;
inline constexpr DWORD LINEADDRCAPFLAGS_ACDGROUP =
    0x40000000;  // since TAPI 2.2 (newer than the negotiated 2.1)
inline constexpr DWORD LINEADDRCAPFLAGS_NOPSTNADDRESSTRANSLATION =
    0x80000000;  // since TAPI 3.0 (newer than the negotiated 2.1)

// Ways of naming an address (TSPI_lineGetAddressID, LINEDEVCAPS.dwAddressModes).
inline constexpr DWORD LINEADDRESSMODE_ADDRESSID = 0x00000001;
inline constexpr DWORD LINEADDRESSMODE_DIALABLEADDR = 0x00000002;

// LINEADDRESSCAPS.dwAddressSharing.
inline constexpr DWORD LINEADDRESSSHARING_PRIVATE = 0x00000001;
inline constexpr DWORD LINEADDRESSSHARING_BRIDGEDEXCL = 0x00000002;
inline constexpr DWORD LINEADDRESSSHARING_BRIDGEDNEW = 0x00000004;
inline constexpr DWORD LINEADDRESSSHARING_BRIDGEDSHARED = 0x00000008;
inline constexpr DWORD LINEADDRESSSHARING_MONITORED = 0x00000010;

// Address status changes (LINE_ADDRESSSTATE dwParam2, dwAddressStates masks).
inline constexpr DWORD LINEADDRESSSTATE_OTHER = 0x00000001;
inline constexpr DWORD LINEADDRESSSTATE_DEVSPECIFIC = 0x00000002;
inline constexpr DWORD LINEADDRESSSTATE_INUSEZERO = 0x00000004;
inline constexpr DWORD LINEADDRESSSTATE_INUSEONE = 0x00000008;
inline constexpr DWORD LINEADDRESSSTATE_INUSEMANY = 0x00000010;
inline constexpr DWORD LINEADDRESSSTATE_NUMCALLS = 0x00000020;
inline constexpr DWORD LINEADDRESSSTATE_FORWARD = 0x00000040;
inline constexpr DWORD LINEADDRESSSTATE_TERMINALS = 0x00000080;
inline constexpr DWORD LINEADDRESSSTATE_CAPSCHANGE = 0x00000100;

// Address features (dwAddressFeatures).
inline constexpr DWORD LINEADDRFEATURE_FORWARD = 0x00000001;
inline constexpr DWORD LINEADDRFEATURE_MAKECALL = 0x00000002;
inline constexpr DWORD LINEADDRFEATURE_PICKUP = 0x00000004;
inline constexpr DWORD LINEADDRFEATURE_SETMEDIACONTROL = 0x00000008;
inline constexpr DWORD LINEADDRFEATURE_SETTERMINAL = 0x00000010;
inline constexpr DWORD LINEADDRFEATURE_SETUPCONF = 0x00000020;
inline constexpr DWORD LINEADDRFEATURE_UNCOMPLETECALL = 0x00000040;
inline constexpr DWORD LINEADDRFEATURE_UNPARK = 0x00000080;
inline constexpr DWORD LINEADDRFEATURE_PICKUPHELD =
    0x00000100;  // since TAPI 2.2 (newer than the negotiated 2.1)
inline constexpr DWORD LINEADDRFEATURE_PICKUPGROUP =
    0x00000200;  // since TAPI 2.2 (newer than the negotiated 2.1)
inline constexpr DWORD LINEADDRFEATURE_PICKUPDIRECT =
    0x00000400;  // since TAPI 2.2 (newer than the negotiated 2.1)
inline constexpr DWORD LINEADDRFEATURE_PICKUPWAITING =
    0x00000800;  // since TAPI 2.2 (newer than the negotiated 2.1)
inline constexpr DWORD LINEADDRFEATURE_FORWARDFWD =
    0x00001000;  // since TAPI 2.2 (newer than the negotiated 2.1)
inline constexpr DWORD LINEADDRFEATURE_FORWARDDND =
    0x00002000;  // since TAPI 2.2 (newer than the negotiated 2.1)

// What answering another call does to an active one (LINEDEVCAPS.dwAnswerMode).
inline constexpr DWORD LINEANSWERMODE_NONE = 0x00000001;
inline constexpr DWORD LINEANSWERMODE_DROP = 0x00000002;
inline constexpr DWORD LINEANSWERMODE_HOLD = 0x00000004;

// Bearer modes.
inline constexpr DWORD LINEBEARERMODE_VOICE = 0x00000001;
inline constexpr DWORD LINEBEARERMODE_SPEECH = 0x00000002;
inline constexpr DWORD LINEBEARERMODE_MULTIUSE = 0x00000004;
inline constexpr DWORD LINEBEARERMODE_DATA = 0x00000008;
inline constexpr DWORD LINEBEARERMODE_ALTSPEECHDATA = 0x00000010;
inline constexpr DWORD LINEBEARERMODE_NONCALLSIGNALING = 0x00000020;
inline constexpr DWORD LINEBEARERMODE_PASSTHROUGH = 0x00000040;
inline constexpr DWORD LINEBEARERMODE_RESTRICTEDDATA = 0x00000080;

// Busy signal kinds (LINECALLSTATE_BUSY mode).
inline constexpr DWORD LINEBUSYMODE_STATION = 0x00000001;
inline constexpr DWORD LINEBUSYMODE_TRUNK = 0x00000002;
inline constexpr DWORD LINEBUSYMODE_UNKNOWN = 0x00000004;
inline constexpr DWORD LINEBUSYMODE_UNAVAIL = 0x00000008;

// Conditions under which a call completion may be requested.
inline constexpr DWORD LINECALLCOMPLCOND_BUSY = 0x00000001;
inline constexpr DWORD LINECALLCOMPLCOND_NOANSWER = 0x00000002;

// Call completion modes (TSPI_lineCompleteCall).
inline constexpr DWORD LINECALLCOMPLMODE_CAMPON = 0x00000001;
inline constexpr DWORD LINECALLCOMPLMODE_CALLBACK = 0x00000002;
inline constexpr DWORD LINECALLCOMPLMODE_INTRUDE = 0x00000004;
inline constexpr DWORD LINECALLCOMPLMODE_MESSAGE = 0x00000008;

// Call features (dwCallFeatures).
inline constexpr DWORD LINECALLFEATURE_ACCEPT = 0x00000001;
inline constexpr DWORD LINECALLFEATURE_ADDTOCONF = 0x00000002;
inline constexpr DWORD LINECALLFEATURE_ANSWER = 0x00000004;
inline constexpr DWORD LINECALLFEATURE_BLINDTRANSFER = 0x00000008;
inline constexpr DWORD LINECALLFEATURE_COMPLETECALL = 0x00000010;
inline constexpr DWORD LINECALLFEATURE_COMPLETETRANSF = 0x00000020;
inline constexpr DWORD LINECALLFEATURE_DIAL = 0x00000040;
inline constexpr DWORD LINECALLFEATURE_DROP = 0x00000080;
inline constexpr DWORD LINECALLFEATURE_GATHERDIGITS = 0x00000100;
inline constexpr DWORD LINECALLFEATURE_GENERATEDIGITS = 0x00000200;
inline constexpr DWORD LINECALLFEATURE_GENERATETONE = 0x00000400;
inline constexpr DWORD LINECALLFEATURE_HOLD = 0x00000800;
inline constexpr DWORD LINECALLFEATURE_MONITORDIGITS = 0x00001000;
inline constexpr DWORD LINECALLFEATURE_MONITORMEDIA = 0x00002000;
inline constexpr DWORD LINECALLFEATURE_MONITORTONES = 0x00004000;
inline constexpr DWORD LINECALLFEATURE_PARK = 0x00008000;
inline constexpr DWORD LINECALLFEATURE_PREPAREADDCONF = 0x00010000;
inline constexpr DWORD LINECALLFEATURE_REDIRECT = 0x00020000;
inline constexpr DWORD LINECALLFEATURE_REMOVEFROMCONF = 0x00040000;
inline constexpr DWORD LINECALLFEATURE_SECURECALL = 0x00080000;
inline constexpr DWORD LINECALLFEATURE_SENDUSERUSER = 0x00100000;
inline constexpr DWORD LINECALLFEATURE_SETCALLPARAMS = 0x00200000;
inline constexpr DWORD LINECALLFEATURE_SETMEDIACONTROL = 0x00400000;
inline constexpr DWORD LINECALLFEATURE_SETTERMINAL = 0x00800000;
inline constexpr DWORD LINECALLFEATURE_SETUPCONF = 0x01000000;
inline constexpr DWORD LINECALLFEATURE_SETUPTRANSFER = 0x02000000;
inline constexpr DWORD LINECALLFEATURE_SWAPHOLD = 0x04000000;
inline constexpr DWORD LINECALLFEATURE_UNHOLD = 0x08000000;
inline constexpr DWORD LINECALLFEATURE_RELEASEUSERUSERINFO = 0x10000000;
inline constexpr DWORD LINECALLFEATURE_SETTREATMENT = 0x20000000;
inline constexpr DWORD LINECALLFEATURE_SETQOS = 0x40000000;
inline constexpr DWORD LINECALLFEATURE_SETCALLDATA = 0x80000000;

// Extended call features (dwCallFeatures2).
inline constexpr DWORD LINECALLFEATURE2_NOHOLDCONFERENCE = 0x00000001;
inline constexpr DWORD LINECALLFEATURE2_ONESTEPTRANSFER = 0x00000002;
inline constexpr DWORD LINECALLFEATURE2_COMPLCAMPON = 0x00000004;
inline constexpr DWORD LINECALLFEATURE2_COMPLCALLBACK = 0x00000008;
inline constexpr DWORD LINECALLFEATURE2_COMPLINTRUDE = 0x00000010;
inline constexpr DWORD LINECALLFEATURE2_COMPLMESSAGE = 0x00000020;
inline constexpr DWORD LINECALLFEATURE2_TRANSFERNORM = 0x00000040;
inline constexpr DWORD LINECALLFEATURE2_TRANSFERCONF = 0x00000080;
inline constexpr DWORD LINECALLFEATURE2_PARKDIRECT = 0x00000100;
inline constexpr DWORD LINECALLFEATURE2_PARKNONDIRECT = 0x00000200;

// Call information changes (LINE_CALLINFO dwParam1, dwCallInfoStates).
inline constexpr DWORD LINECALLINFOSTATE_OTHER = 0x00000001;
inline constexpr DWORD LINECALLINFOSTATE_DEVSPECIFIC = 0x00000002;
inline constexpr DWORD LINECALLINFOSTATE_BEARERMODE = 0x00000004;
inline constexpr DWORD LINECALLINFOSTATE_RATE = 0x00000008;
inline constexpr DWORD LINECALLINFOSTATE_MEDIAMODE = 0x00000010;
inline constexpr DWORD LINECALLINFOSTATE_APPSPECIFIC = 0x00000020;
inline constexpr DWORD LINECALLINFOSTATE_CALLID = 0x00000040;
inline constexpr DWORD LINECALLINFOSTATE_RELATEDCALLID = 0x00000080;
inline constexpr DWORD LINECALLINFOSTATE_ORIGIN = 0x00000100;
inline constexpr DWORD LINECALLINFOSTATE_REASON = 0x00000200;
inline constexpr DWORD LINECALLINFOSTATE_COMPLETIONID = 0x00000400;
inline constexpr DWORD LINECALLINFOSTATE_NUMOWNERINCR = 0x00000800;
inline constexpr DWORD LINECALLINFOSTATE_NUMOWNERDECR = 0x00001000;
inline constexpr DWORD LINECALLINFOSTATE_NUMMONITORS = 0x00002000;
inline constexpr DWORD LINECALLINFOSTATE_TRUNK = 0x00004000;
inline constexpr DWORD LINECALLINFOSTATE_CALLERID = 0x00008000;
inline constexpr DWORD LINECALLINFOSTATE_CALLEDID = 0x00010000;
inline constexpr DWORD LINECALLINFOSTATE_CONNECTEDID = 0x00020000;
inline constexpr DWORD LINECALLINFOSTATE_REDIRECTIONID = 0x00040000;
inline constexpr DWORD LINECALLINFOSTATE_REDIRECTINGID = 0x00080000;
inline constexpr DWORD LINECALLINFOSTATE_DISPLAY = 0x00100000;
inline constexpr DWORD LINECALLINFOSTATE_USERUSERINFO = 0x00200000;
inline constexpr DWORD LINECALLINFOSTATE_HIGHLEVELCOMP = 0x00400000;
inline constexpr DWORD LINECALLINFOSTATE_LOWLEVELCOMP = 0x00800000;
inline constexpr DWORD LINECALLINFOSTATE_CHARGINGINFO = 0x01000000;
inline constexpr DWORD LINECALLINFOSTATE_TERMINAL = 0x02000000;
inline constexpr DWORD LINECALLINFOSTATE_DIALPARAMS = 0x04000000;
inline constexpr DWORD LINECALLINFOSTATE_MONITORMODES = 0x08000000;
inline constexpr DWORD LINECALLINFOSTATE_TREATMENT = 0x10000000;
inline constexpr DWORD LINECALLINFOSTATE_QOS = 0x20000000;
inline constexpr DWORD LINECALLINFOSTATE_CALLDATA = 0x40000000;

// LINECALLINFO.dwOrigin.
inline constexpr DWORD LINECALLORIGIN_OUTBOUND = 0x00000001;
inline constexpr DWORD LINECALLORIGIN_INTERNAL = 0x00000002;
inline constexpr DWORD LINECALLORIGIN_EXTERNAL = 0x00000004;
inline constexpr DWORD LINECALLORIGIN_UNKNOWN = 0x00000010;
inline constexpr DWORD LINECALLORIGIN_UNAVAIL = 0x00000020;
inline constexpr DWORD LINECALLORIGIN_CONFERENCE = 0x00000040;
inline constexpr DWORD LINECALLORIGIN_INBOUND = 0x00000080;

// LINECALLPARAMS.dwCallParamFlags.
inline constexpr DWORD LINECALLPARAMFLAGS_SECURE = 0x00000001;
inline constexpr DWORD LINECALLPARAMFLAGS_IDLE = 0x00000002;
inline constexpr DWORD LINECALLPARAMFLAGS_BLOCKID = 0x00000004;
inline constexpr DWORD LINECALLPARAMFLAGS_ORIGOFFHOOK = 0x00000008;
inline constexpr DWORD LINECALLPARAMFLAGS_DESTOFFHOOK = 0x00000010;
inline constexpr DWORD LINECALLPARAMFLAGS_NOHOLDCONFERENCE = 0x00000020;
inline constexpr DWORD LINECALLPARAMFLAGS_PREDICTIVEDIAL = 0x00000040;
inline constexpr DWORD LINECALLPARAMFLAGS_ONESTEPTRANSFER = 0x00000080;

// Party ID flags (dwCallerIDFlags, dwCalledIDFlags, ...).
inline constexpr DWORD LINECALLPARTYID_BLOCKED = 0x00000001;
inline constexpr DWORD LINECALLPARTYID_OUTOFAREA = 0x00000002;
inline constexpr DWORD LINECALLPARTYID_NAME = 0x00000004;
inline constexpr DWORD LINECALLPARTYID_ADDRESS = 0x00000008;
inline constexpr DWORD LINECALLPARTYID_PARTIAL = 0x00000010;
inline constexpr DWORD LINECALLPARTYID_UNKNOWN = 0x00000020;
inline constexpr DWORD LINECALLPARTYID_UNAVAIL = 0x00000040;

// Call privileges (LINECALLSTATUS.dwCallPrivilege).
inline constexpr DWORD LINECALLPRIVILEGE_NONE = 0x00000001;
inline constexpr DWORD LINECALLPRIVILEGE_MONITOR = 0x00000002;
inline constexpr DWORD LINECALLPRIVILEGE_OWNER = 0x00000004;

// LINECALLINFO.dwReason.
inline constexpr DWORD LINECALLREASON_DIRECT = 0x00000001;
inline constexpr DWORD LINECALLREASON_FWDBUSY = 0x00000002;
inline constexpr DWORD LINECALLREASON_FWDNOANSWER = 0x00000004;
inline constexpr DWORD LINECALLREASON_FWDUNCOND = 0x00000008;
inline constexpr DWORD LINECALLREASON_PICKUP = 0x00000010;
inline constexpr DWORD LINECALLREASON_UNPARK = 0x00000020;
inline constexpr DWORD LINECALLREASON_REDIRECT = 0x00000040;
inline constexpr DWORD LINECALLREASON_CALLCOMPLETION = 0x00000080;
inline constexpr DWORD LINECALLREASON_TRANSFER = 0x00000100;
inline constexpr DWORD LINECALLREASON_REMINDER = 0x00000200;
inline constexpr DWORD LINECALLREASON_UNKNOWN = 0x00000400;
inline constexpr DWORD LINECALLREASON_UNAVAIL = 0x00000800;
inline constexpr DWORD LINECALLREASON_INTRUDE = 0x00001000;
inline constexpr DWORD LINECALLREASON_PARKED = 0x00002000;
inline constexpr DWORD LINECALLREASON_CAMPEDON = 0x00004000;
inline constexpr DWORD LINECALLREASON_ROUTEREQUEST = 0x00008000;

// Selectors of line, address or call (TSPI_lineGetID, TSPI_lineSetTerminal).
inline constexpr DWORD LINECALLSELECT_LINE = 0x00000001;
inline constexpr DWORD LINECALLSELECT_ADDRESS = 0x00000002;
inline constexpr DWORD LINECALLSELECT_CALL = 0x00000004;
inline constexpr DWORD LINECALLSELECT_DEVICEID = 0x00000008;  // since TAPI 2.1
inline constexpr DWORD LINECALLSELECT_CALLID =
    0x00000010;  // since TAPI 3.0 (newer than the negotiated 2.1)

// Call states (LINE_CALLSTATE dwParam1, dwCallStates masks).
inline constexpr DWORD LINECALLSTATE_IDLE = 0x00000001;
inline constexpr DWORD LINECALLSTATE_OFFERING = 0x00000002;
inline constexpr DWORD LINECALLSTATE_ACCEPTED = 0x00000004;
inline constexpr DWORD LINECALLSTATE_DIALTONE = 0x00000008;
inline constexpr DWORD LINECALLSTATE_DIALING = 0x00000010;
inline constexpr DWORD LINECALLSTATE_RINGBACK = 0x00000020;
inline constexpr DWORD LINECALLSTATE_BUSY = 0x00000040;
inline constexpr DWORD LINECALLSTATE_SPECIALINFO = 0x00000080;
inline constexpr DWORD LINECALLSTATE_CONNECTED = 0x00000100;
inline constexpr DWORD LINECALLSTATE_PROCEEDING = 0x00000200;
inline constexpr DWORD LINECALLSTATE_ONHOLD = 0x00000400;
inline constexpr DWORD LINECALLSTATE_CONFERENCED = 0x00000800;
inline constexpr DWORD LINECALLSTATE_ONHOLDPENDCONF = 0x00001000;
inline constexpr DWORD LINECALLSTATE_ONHOLDPENDTRANSFER = 0x00002000;
inline constexpr DWORD LINECALLSTATE_DISCONNECTED = 0x00004000;
inline constexpr DWORD LINECALLSTATE_UNKNOWN = 0x00008000;

// Call treatments (TSPI_lineSetCallTreatment); values, not bits.
inline constexpr DWORD LINECALLTREATMENT_SILENCE = 0x00000001;
inline constexpr DWORD LINECALLTREATMENT_RINGBACK = 0x00000002;
inline constexpr DWORD LINECALLTREATMENT_BUSY = 0x00000003;
inline constexpr DWORD LINECALLTREATMENT_MUSIC = 0x00000004;

// LINECALLSTATE_CONNECTED modes.
inline constexpr DWORD LINECONNECTEDMODE_ACTIVE = 0x00000001;
inline constexpr DWORD LINECONNECTEDMODE_INACTIVE = 0x00000002;
inline constexpr DWORD LINECONNECTEDMODE_ACTIVEHELD = 0x00000004;
inline constexpr DWORD LINECONNECTEDMODE_INACTIVEHELD = 0x00000008;
inline constexpr DWORD LINECONNECTEDMODE_CONFIRMED = 0x00000010;

// LINEDEVCAPS.dwDevCapFlags bits.
inline constexpr DWORD LINEDEVCAPFLAGS_CROSSADDRCONF = 0x00000001;
inline constexpr DWORD LINEDEVCAPFLAGS_HIGHLEVCOMP = 0x00000002;
inline constexpr DWORD LINEDEVCAPFLAGS_LOWLEVCOMP = 0x00000004;
inline constexpr DWORD LINEDEVCAPFLAGS_MEDIACONTROL = 0x00000008;
inline constexpr DWORD LINEDEVCAPFLAGS_MULTIPLEADDR = 0x00000010;
inline constexpr DWORD LINEDEVCAPFLAGS_CLOSEDROP = 0x00000020;
inline constexpr DWORD LINEDEVCAPFLAGS_DIALBILLING = 0x00000040;
inline constexpr DWORD LINEDEVCAPFLAGS_DIALQUIET = 0x00000080;
inline constexpr DWORD LINEDEVCAPFLAGS_DIALDIALTONE = 0x00000100;
inline constexpr DWORD LINEDEVCAPFLAGS_CALLHUB =
    0x00000400;  // since TAPI 3.0 (newer than the negotiated 2.1)
inline constexpr DWORD LINEDEVCAPFLAGS_CALLHUBTRACKING =
    0x00000800;  // since TAPI 3.0 (newer than the negotiated 2.1)
inline constexpr DWORD LINEDEVCAPFLAGS_PRIVATEOBJECTS =
    0x00001000;  // since TAPI 3.0 (newer than the negotiated 2.1)
inline constexpr DWORD LINEDEVCAPFLAGS_LOCAL =
    0x00002000;  // since TAPI 3.0 (newer than the negotiated 2.1)

// Line device state changes (LINE_LINEDEVSTATE dwParam1, dwLineStates).
inline constexpr DWORD LINEDEVSTATE_OTHER = 0x00000001;
inline constexpr DWORD LINEDEVSTATE_RINGING = 0x00000002;
inline constexpr DWORD LINEDEVSTATE_CONNECTED = 0x00000004;
inline constexpr DWORD LINEDEVSTATE_DISCONNECTED = 0x00000008;
inline constexpr DWORD LINEDEVSTATE_MSGWAITON = 0x00000010;
inline constexpr DWORD LINEDEVSTATE_MSGWAITOFF = 0x00000020;
inline constexpr DWORD LINEDEVSTATE_INSERVICE = 0x00000040;
inline constexpr DWORD LINEDEVSTATE_OUTOFSERVICE = 0x00000080;
inline constexpr DWORD LINEDEVSTATE_MAINTENANCE = 0x00000100;
inline constexpr DWORD LINEDEVSTATE_OPEN = 0x00000200;
inline constexpr DWORD LINEDEVSTATE_CLOSE = 0x00000400;
inline constexpr DWORD LINEDEVSTATE_NUMCALLS = 0x00000800;
inline constexpr DWORD LINEDEVSTATE_NUMCOMPLETIONS = 0x00001000;
inline constexpr DWORD LINEDEVSTATE_TERMINALS = 0x00002000;
inline constexpr DWORD LINEDEVSTATE_ROAMMODE = 0x00004000;
inline constexpr DWORD LINEDEVSTATE_BATTERY = 0x00008000;
inline constexpr DWORD LINEDEVSTATE_SIGNAL = 0x00010000;
inline constexpr DWORD LINEDEVSTATE_DEVSPECIFIC = 0x00020000;
inline constexpr DWORD LINEDEVSTATE_REINIT = 0x00040000;
inline constexpr DWORD LINEDEVSTATE_LOCK = 0x00080000;
inline constexpr DWORD LINEDEVSTATE_CAPSCHANGE = 0x00100000;
inline constexpr DWORD LINEDEVSTATE_CONFIGCHANGE = 0x00200000;
inline constexpr DWORD LINEDEVSTATE_TRANSLATECHANGE = 0x00400000;
inline constexpr DWORD LINEDEVSTATE_COMPLCANCEL = 0x00800000;
inline constexpr DWORD LINEDEVSTATE_REMOVED = 0x01000000;

// LINEDEVSTATUS.dwDevStatusFlags and dwSettableDevStatus bits.
inline constexpr DWORD LINEDEVSTATUSFLAGS_CONNECTED = 0x00000001;
inline constexpr DWORD LINEDEVSTATUSFLAGS_MSGWAIT = 0x00000002;
inline constexpr DWORD LINEDEVSTATUSFLAGS_INSERVICE = 0x00000004;
inline constexpr DWORD LINEDEVSTATUSFLAGS_LOCKED = 0x00000008;

// LINECALLSTATE_DIALTONE modes.
inline constexpr DWORD LINEDIALTONEMODE_NORMAL = 0x00000001;
inline constexpr DWORD LINEDIALTONEMODE_SPECIAL = 0x00000002;
inline constexpr DWORD LINEDIALTONEMODE_INTERNAL = 0x00000004;
inline constexpr DWORD LINEDIALTONEMODE_EXTERNAL = 0x00000008;
inline constexpr DWORD LINEDIALTONEMODE_UNKNOWN = 0x00000010;
inline constexpr DWORD LINEDIALTONEMODE_UNAVAIL = 0x00000020;

// Digit modes (gathering and monitoring).
inline constexpr DWORD LINEDIGITMODE_PULSE = 0x00000001;
inline constexpr DWORD LINEDIGITMODE_DTMF = 0x00000002;
inline constexpr DWORD LINEDIGITMODE_DTMFEND = 0x00000004;

// LINECALLSTATE_DISCONNECTED modes.
inline constexpr DWORD LINEDISCONNECTMODE_NORMAL = 0x00000001;
inline constexpr DWORD LINEDISCONNECTMODE_UNKNOWN = 0x00000002;
inline constexpr DWORD LINEDISCONNECTMODE_REJECT = 0x00000004;
inline constexpr DWORD LINEDISCONNECTMODE_PICKUP = 0x00000008;
inline constexpr DWORD LINEDISCONNECTMODE_FORWARDED = 0x00000010;
inline constexpr DWORD LINEDISCONNECTMODE_BUSY = 0x00000020;
inline constexpr DWORD LINEDISCONNECTMODE_NOANSWER = 0x00000040;
inline constexpr DWORD LINEDISCONNECTMODE_BADADDRESS = 0x00000080;
inline constexpr DWORD LINEDISCONNECTMODE_UNREACHABLE = 0x00000100;
inline constexpr DWORD LINEDISCONNECTMODE_CONGESTION = 0x00000200;
inline constexpr DWORD LINEDISCONNECTMODE_INCOMPATIBLE = 0x00000400;
inline constexpr DWORD LINEDISCONNECTMODE_UNAVAIL = 0x00000800;
inline constexpr DWORD LINEDISCONNECTMODE_NODIALTONE = 0x00001000;
inline constexpr DWORD LINEDISCONNECTMODE_NUMBERCHANGED = 0x00002000;
inline constexpr DWORD LINEDISCONNECTMODE_OUTOFORDER = 0x00004000;
inline constexpr DWORD LINEDISCONNECTMODE_TEMPFAILURE = 0x00008000;
inline constexpr DWORD LINEDISCONNECTMODE_QOSUNAVAIL = 0x00010000;
inline constexpr DWORD LINEDISCONNECTMODE_BLOCKED = 0x00020000;
inline constexpr DWORD LINEDISCONNECTMODE_DONOTDISTURB = 0x00040000;
inline constexpr DWORD LINEDISCONNECTMODE_CANCELLED = 0x00080000;

// Line features (dwLineFeatures).
inline constexpr DWORD LINEFEATURE_DEVSPECIFIC = 0x00000001;
inline constexpr DWORD LINEFEATURE_DEVSPECIFICFEAT = 0x00000002;
inline constexpr DWORD LINEFEATURE_FORWARD = 0x00000004;
inline constexpr DWORD LINEFEATURE_MAKECALL = 0x00000008;
inline constexpr DWORD LINEFEATURE_SETMEDIACONTROL = 0x00000010;
inline constexpr DWORD LINEFEATURE_SETTERMINAL = 0x00000020;
inline constexpr DWORD LINEFEATURE_SETDEVSTATUS = 0x00000040;
inline constexpr DWORD LINEFEATURE_FORWARDFWD = 0x00000080;
inline constexpr DWORD LINEFEATURE_FORWARDDND = 0x00000100;

// Forwarding modes (LINEFORWARD.dwForwardMode, dwForwardModes).
inline constexpr DWORD LINEFORWARDMODE_UNCOND = 0x00000001;
inline constexpr DWORD LINEFORWARDMODE_UNCONDINTERNAL = 0x00000002;
inline constexpr DWORD LINEFORWARDMODE_UNCONDEXTERNAL = 0x00000004;
inline constexpr DWORD LINEFORWARDMODE_UNCONDSPECIFIC = 0x00000008;
inline constexpr DWORD LINEFORWARDMODE_BUSY = 0x00000010;
inline constexpr DWORD LINEFORWARDMODE_BUSYINTERNAL = 0x00000020;
inline constexpr DWORD LINEFORWARDMODE_BUSYEXTERNAL = 0x00000040;
inline constexpr DWORD LINEFORWARDMODE_BUSYSPECIFIC = 0x00000080;
inline constexpr DWORD LINEFORWARDMODE_NOANSW = 0x00000100;
inline constexpr DWORD LINEFORWARDMODE_NOANSWINTERNAL = 0x00000200;
inline constexpr DWORD LINEFORWARDMODE_NOANSWEXTERNAL = 0x00000400;
inline constexpr DWORD LINEFORWARDMODE_NOANSWSPECIFIC = 0x00000800;
inline constexpr DWORD LINEFORWARDMODE_BUSYNA = 0x00001000;
inline constexpr DWORD LINEFORWARDMODE_BUSYNAINTERNAL = 0x00002000;
inline constexpr DWORD LINEFORWARDMODE_BUSYNAEXTERNAL = 0x00004000;
inline constexpr DWORD LINEFORWARDMODE_BUSYNASPECIFIC = 0x00008000;
inline constexpr DWORD LINEFORWARDMODE_UNKNOWN = 0x00010000;
inline constexpr DWORD LINEFORWARDMODE_UNAVAIL = 0x00020000;

// Why digit gathering ended (LINE_GATHERDIGITS dwParam1).
inline constexpr DWORD LINEGATHERTERM_BUFFERFULL = 0x00000001;
inline constexpr DWORD LINEGATHERTERM_TERMDIGIT = 0x00000002;
inline constexpr DWORD LINEGATHERTERM_FIRSTTIMEOUT = 0x00000004;
inline constexpr DWORD LINEGATHERTERM_INTERTIMEOUT = 0x00000008;
inline constexpr DWORD LINEGATHERTERM_CANCEL = 0x00000010;

// Media modes.
inline constexpr DWORD LINEMEDIAMODE_UNKNOWN = 0x00000002;
inline constexpr DWORD LINEMEDIAMODE_INTERACTIVEVOICE = 0x00000004;
inline constexpr DWORD LINEMEDIAMODE_AUTOMATEDVOICE = 0x00000008;
inline constexpr DWORD LINEMEDIAMODE_DATAMODEM = 0x00000010;
inline constexpr DWORD LINEMEDIAMODE_G3FAX = 0x00000020;
inline constexpr DWORD LINEMEDIAMODE_TDD = 0x00000040;
inline constexpr DWORD LINEMEDIAMODE_G4FAX = 0x00000080;
inline constexpr DWORD LINEMEDIAMODE_DIGITALDATA = 0x00000100;
inline constexpr DWORD LINEMEDIAMODE_TELETEX = 0x00000200;
inline constexpr DWORD LINEMEDIAMODE_VIDEOTEX = 0x00000400;
inline constexpr DWORD LINEMEDIAMODE_TELEX = 0x00000800;
inline constexpr DWORD LINEMEDIAMODE_MIXED = 0x00001000;
inline constexpr DWORD LINEMEDIAMODE_ADSI = 0x00002000;
inline constexpr DWORD LINEMEDIAMODE_VOICEVIEW = 0x00004000;
inline constexpr DWORD LINEMEDIAMODE_VIDEO = 0x00008000;  // since TAPI 2.1

// LINECALLSTATE_OFFERING modes.
inline constexpr DWORD LINEOFFERINGMODE_ACTIVE = 0x00000001;
inline constexpr DWORD LINEOFFERINGMODE_INACTIVE = 0x00000002;

// Park modes.
inline constexpr DWORD LINEPARKMODE_DIRECTED = 0x00000001;
inline constexpr DWORD LINEPARKMODE_NONDIRECTED = 0x00000002;

// How parties may leave a conference (dwRemoveFromConfCaps); values, not bits.
inline constexpr DWORD LINEREMOVEFROMCONF_NONE = 0x00000001;
inline constexpr DWORD LINEREMOVEFROMCONF_LAST = 0x00000002;
inline constexpr DWORD LINEREMOVEFROMCONF_ANY = 0x00000003;

// Roam modes.
inline constexpr DWORD LINEROAMMODE_UNKNOWN = 0x00000001;
inline constexpr DWORD LINEROAMMODE_UNAVAIL = 0x00000002;
inline constexpr DWORD LINEROAMMODE_HOME = 0x00000004;
inline constexpr DWORD LINEROAMMODE_ROAMA = 0x00000008;
inline constexpr DWORD LINEROAMMODE_ROAMB = 0x00000010;

// LINECALLSTATE_SPECIALINFO modes.
inline constexpr DWORD LINESPECIALINFO_NOCIRCUIT = 0x00000001;
inline constexpr DWORD LINESPECIALINFO_CUSTIRREG = 0x00000002;
inline constexpr DWORD LINESPECIALINFO_REORDER = 0x00000004;
inline constexpr DWORD LINESPECIALINFO_UNKNOWN = 0x00000008;
inline constexpr DWORD LINESPECIALINFO_UNAVAIL = 0x00000010;

// Tone modes.
inline constexpr DWORD LINETONEMODE_CUSTOM = 0x00000001;
inline constexpr DWORD LINETONEMODE_RINGBACK = 0x00000002;
inline constexpr DWORD LINETONEMODE_BUSY = 0x00000004;
inline constexpr DWORD LINETONEMODE_BEEP = 0x00000008;
inline constexpr DWORD LINETONEMODE_BILLING = 0x00000010;

// Transfer modes (TSPI_lineCompleteTransfer).
inline constexpr DWORD LINETRANSFERMODE_TRANSFER = 0x00000001;
inline constexpr DWORD LINETRANSFERMODE_CONFERENCE = 0x00000002;

// String formats (dwStringFormat).
inline constexpr DWORD STRINGFORMAT_ASCII = 0x00000001;
inline constexpr DWORD STRINGFORMAT_DBCS = 0x00000002;
inline constexpr DWORD STRINGFORMAT_UNICODE = 0x00000003;
inline constexpr DWORD STRINGFORMAT_BINARY = 0x00000004;

// Object types of TSPI_providerGenericDialogData and TUISPIDLLCALLBACK.
inline constexpr DWORD TUISPIDLL_OBJECT_LINEID = 0x00000001;
inline constexpr DWORD TUISPIDLL_OBJECT_PHONEID = 0x00000002;
inline constexpr DWORD TUISPIDLL_OBJECT_PROVIDERID = 0x00000003;
inline constexpr DWORD TUISPIDLL_OBJECT_DIALOGINSTANCE = 0x00000004;

// ---------------------------------------------------------------------------------------------
// Structures (TAPI 2.0/2.1 layout). Each "dw...Offset" counts bytes from the start of the
// structure it is in; variable parts lie between the fixed part and dwTotalSize.
// ---------------------------------------------------------------------------------------------

// A 16-byte globally unique identifier.
struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
static_assert(offsetof(GUID, Data1) == 0);
static_assert(offsetof(GUID, Data2) == 4);
static_assert(offsetof(GUID, Data3) == 6);
static_assert(offsetof(GUID, Data4) == 8);
static_assert(sizeof(GUID) == 16);

// A calendar date and time of day with milliseconds.
struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
static_assert(offsetof(SYSTEMTIME, wYear) == 0);
static_assert(offsetof(SYSTEMTIME, wMonth) == 2);
static_assert(offsetof(SYSTEMTIME, wDayOfWeek) == 4);
static_assert(offsetof(SYSTEMTIME, wDay) == 6);
static_assert(offsetof(SYSTEMTIME, wHour) == 8);
static_assert(offsetof(SYSTEMTIME, wMinute) == 10);
static_assert(offsetof(SYSTEMTIME, wSecond) == 12);
static_assert(offsetof(SYSTEMTIME, wMilliseconds) == 14);
static_assert(sizeof(SYSTEMTIME) == 16);

// A string or binary answer of variable size (device IDs, device configuration).
struct VARSTRING {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
  DWORD dwStringFormat;
  DWORD dwStringSize;
  DWORD dwStringOffset;
};
static_assert(offsetof(VARSTRING, dwTotalSize) == 0);
static_assert(offsetof(VARSTRING, dwNeededSize) == 4);
static_assert(offsetof(VARSTRING, dwUsedSize) == 8);
static_assert(offsetof(VARSTRING, dwStringFormat) == 12);
static_assert(offsetof(VARSTRING, dwStringSize) == 16);
static_assert(offsetof(VARSTRING, dwStringOffset) == 20);
static_assert(sizeof(VARSTRING) == 24);
using LPVARSTRING = VARSTRING*;

// Dialing timings in milliseconds.
struct LINEDIALPARAMS {
  DWORD dwDialPause;
  DWORD dwDialSpeed;
  DWORD dwDigitDuration;
  DWORD dwWaitForDialtone;
};
static_assert(offsetof(LINEDIALPARAMS, dwDialPause) == 0);
static_assert(offsetof(LINEDIALPARAMS, dwDialSpeed) == 4);
static_assert(offsetof(LINEDIALPARAMS, dwDigitDuration) == 8);
static_assert(offsetof(LINEDIALPARAMS, dwWaitForDialtone) == 12);
static_assert(sizeof(LINEDIALPARAMS) == 16);
using LPLINEDIALPARAMS = LINEDIALPARAMS*;

// Line device capabilities; the variable parts (provider info, switch info, line name, terminal
// texts, device-specific data, device classes) follow the 252-byte fixed part.
struct LINEDEVCAPS {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
  DWORD dwProviderInfoSize;
  DWORD dwProviderInfoOffset;
  DWORD dwSwitchInfoSize;
  DWORD dwSwitchInfoOffset;
  DWORD dwPermanentLineID;
  DWORD dwLineNameSize;
  DWORD dwLineNameOffset;
  DWORD dwStringFormat;
  DWORD dwAddressModes;
  DWORD dwNumAddresses;
  DWORD dwBearerModes;
  DWORD dwMaxRate;
  DWORD dwMediaModes;
  DWORD dwGenerateToneModes;
  DWORD dwGenerateToneMaxNumFreq;
  DWORD dwGenerateDigitModes;
  DWORD dwMonitorToneMaxNumFreq;
  DWORD dwMonitorToneMaxNumEntries;
  DWORD dwMonitorDigitModes;
  DWORD dwGatherDigitsMinTimeout;
  DWORD dwGatherDigitsMaxTimeout;
  DWORD dwMedCtlDigitMaxListSize;
  DWORD dwMedCtlMediaMaxListSize;
  DWORD dwMedCtlToneMaxListSize;
  DWORD dwMedCtlCallStateMaxListSize;
  DWORD dwDevCapFlags;
  DWORD dwMaxNumActiveCalls;
  DWORD dwAnswerMode;
  DWORD dwRingModes;
  DWORD dwLineStates;
  DWORD dwUUIAcceptSize;
  DWORD dwUUIAnswerSize;
  DWORD dwUUIMakeCallSize;
  DWORD dwUUIDropSize;
  DWORD dwUUISendUserUserInfoSize;
  DWORD dwUUICallInfoSize;
  LINEDIALPARAMS MinDialParams;
  LINEDIALPARAMS MaxDialParams;
  LINEDIALPARAMS DefaultDialParams;
  DWORD dwNumTerminals;
  DWORD dwTerminalCapsSize;
  DWORD dwTerminalCapsOffset;
  DWORD dwTerminalTextEntrySize;
  DWORD dwTerminalTextSize;
  DWORD dwTerminalTextOffset;
  DWORD dwDevSpecificSize;
  DWORD dwDevSpecificOffset;
  DWORD dwLineFeatures;
  DWORD dwSettableDevStatus;
  DWORD dwDeviceClassesSize;
  DWORD dwDeviceClassesOffset;
  // GUID PermanentLineGuid (offset 252): TAPI 2.2, not part of the 2.1 layout
  // DWORD dwAddressTypes (offset 268): TAPI 3.0, not part of the 2.1 layout
  // GUID ProtocolGuid (offset 272): TAPI 3.0, not part of the 2.1 layout
  // DWORD dwAvailableTracking (offset 288): TAPI 3.0, not part of the 2.1 layout
};
static_assert(offsetof(LINEDEVCAPS, dwTotalSize) == 0);
static_assert(offsetof(LINEDEVCAPS, dwNeededSize) == 4);
static_assert(offsetof(LINEDEVCAPS, dwUsedSize) == 8);
static_assert(offsetof(LINEDEVCAPS, dwProviderInfoSize) == 12);
static_assert(offsetof(LINEDEVCAPS, dwProviderInfoOffset) == 16);
static_assert(offsetof(LINEDEVCAPS, dwSwitchInfoSize) == 20);
static_assert(offsetof(LINEDEVCAPS, dwSwitchInfoOffset) == 24);
static_assert(offsetof(LINEDEVCAPS, dwPermanentLineID) == 28);
static_assert(offsetof(LINEDEVCAPS, dwLineNameSize) == 32);
static_assert(offsetof(LINEDEVCAPS, dwLineNameOffset) == 36);
static_assert(offsetof(LINEDEVCAPS, dwStringFormat) == 40);
static_assert(offsetof(LINEDEVCAPS, dwAddressModes) == 44);
static_assert(offsetof(LINEDEVCAPS, dwNumAddresses) == 48);
static_assert(offsetof(LINEDEVCAPS, dwBearerModes) == 52);
static_assert(offsetof(LINEDEVCAPS, dwMaxRate) == 56);
static_assert(offsetof(LINEDEVCAPS, dwMediaModes) == 60);
static_assert(offsetof(LINEDEVCAPS, dwGenerateToneModes) == 64);
static_assert(offsetof(LINEDEVCAPS, dwGenerateToneMaxNumFreq) == 68);
static_assert(offsetof(LINEDEVCAPS, dwGenerateDigitModes) == 72);
static_assert(offsetof(LINEDEVCAPS, dwMonitorToneMaxNumFreq) == 76);
static_assert(offsetof(LINEDEVCAPS, dwMonitorToneMaxNumEntries) == 80);
static_assert(offsetof(LINEDEVCAPS, dwMonitorDigitModes) == 84);
static_assert(offsetof(LINEDEVCAPS, dwGatherDigitsMinTimeout) == 88);
static_assert(offsetof(LINEDEVCAPS, dwGatherDigitsMaxTimeout) == 92);
static_assert(offsetof(LINEDEVCAPS, dwMedCtlDigitMaxListSize) == 96);
static_assert(offsetof(LINEDEVCAPS, dwMedCtlMediaMaxListSize) == 100);
static_assert(offsetof(LINEDEVCAPS, dwMedCtlToneMaxListSize) == 104);
static_assert(offsetof(LINEDEVCAPS, dwMedCtlCallStateMaxListSize) == 108);
static_assert(offsetof(LINEDEVCAPS, dwDevCapFlags) == 112);
static_assert(offsetof(LINEDEVCAPS, dwMaxNumActiveCalls) == 116);
static_assert(offsetof(LINEDEVCAPS, dwAnswerMode) == 120);
static_assert(offsetof(LINEDEVCAPS, dwRingModes) == 124);
static_assert(offsetof(LINEDEVCAPS, dwLineStates) == 128);
static_assert(offsetof(LINEDEVCAPS, dwUUIAcceptSize) == 132);
static_assert(offsetof(LINEDEVCAPS, dwUUIAnswerSize) == 136);
static_assert(offsetof(LINEDEVCAPS, dwUUIMakeCallSize) == 140);
static_assert(offsetof(LINEDEVCAPS, dwUUIDropSize) == 144);
static_assert(offsetof(LINEDEVCAPS, dwUUISendUserUserInfoSize) == 148);
static_assert(offsetof(LINEDEVCAPS, dwUUICallInfoSize) == 152);
static_assert(offsetof(LINEDEVCAPS, MinDialParams) == 156);
static_assert(offsetof(LINEDEVCAPS, MaxDialParams) == 172);
static_assert(offsetof(LINEDEVCAPS, DefaultDialParams) == 188);
static_assert(offsetof(LINEDEVCAPS, dwNumTerminals) == 204);
static_assert(offsetof(LINEDEVCAPS, dwTerminalCapsSize) == 208);
static_assert(offsetof(LINEDEVCAPS, dwTerminalCapsOffset) == 212);
static_assert(offsetof(LINEDEVCAPS, dwTerminalTextEntrySize) == 216);
static_assert(offsetof(LINEDEVCAPS, dwTerminalTextSize) == 220);
static_assert(offsetof(LINEDEVCAPS, dwTerminalTextOffset) == 224);
static_assert(offsetof(LINEDEVCAPS, dwDevSpecificSize) == 228);
static_assert(offsetof(LINEDEVCAPS, dwDevSpecificOffset) == 232);
static_assert(offsetof(LINEDEVCAPS, dwLineFeatures) == 236);
static_assert(offsetof(LINEDEVCAPS, dwSettableDevStatus) == 240);
static_assert(offsetof(LINEDEVCAPS, dwDeviceClassesSize) == 244);
static_assert(offsetof(LINEDEVCAPS, dwDeviceClassesOffset) == 248);
static_assert(sizeof(LINEDEVCAPS) == 252);
using LPLINEDEVCAPS = LINEDEVCAPS*;

// Line device status; the variable parts follow the 88-byte fixed part.
struct LINEDEVSTATUS {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
  DWORD dwNumOpens;
  DWORD dwOpenMediaModes;
  DWORD dwNumActiveCalls;
  DWORD dwNumOnHoldCalls;
  DWORD dwNumOnHoldPendCalls;
  DWORD dwLineFeatures;
  DWORD dwNumCallCompletions;
  DWORD dwRingMode;
  DWORD dwSignalLevel;
  DWORD dwBatteryLevel;
  DWORD dwRoamMode;
  DWORD dwDevStatusFlags;
  DWORD dwTerminalModesSize;
  DWORD dwTerminalModesOffset;
  DWORD dwDevSpecificSize;
  DWORD dwDevSpecificOffset;
  DWORD dwAvailableMediaModes;
  DWORD dwAppInfoSize;
  DWORD dwAppInfoOffset;
};
static_assert(offsetof(LINEDEVSTATUS, dwTotalSize) == 0);
static_assert(offsetof(LINEDEVSTATUS, dwNeededSize) == 4);
static_assert(offsetof(LINEDEVSTATUS, dwUsedSize) == 8);
static_assert(offsetof(LINEDEVSTATUS, dwNumOpens) == 12);
static_assert(offsetof(LINEDEVSTATUS, dwOpenMediaModes) == 16);
static_assert(offsetof(LINEDEVSTATUS, dwNumActiveCalls) == 20);
static_assert(offsetof(LINEDEVSTATUS, dwNumOnHoldCalls) == 24);
static_assert(offsetof(LINEDEVSTATUS, dwNumOnHoldPendCalls) == 28);
static_assert(offsetof(LINEDEVSTATUS, dwLineFeatures) == 32);
static_assert(offsetof(LINEDEVSTATUS, dwNumCallCompletions) == 36);
static_assert(offsetof(LINEDEVSTATUS, dwRingMode) == 40);
static_assert(offsetof(LINEDEVSTATUS, dwSignalLevel) == 44);
static_assert(offsetof(LINEDEVSTATUS, dwBatteryLevel) == 48);
static_assert(offsetof(LINEDEVSTATUS, dwRoamMode) == 52);
static_assert(offsetof(LINEDEVSTATUS, dwDevStatusFlags) == 56);
static_assert(offsetof(LINEDEVSTATUS, dwTerminalModesSize) == 60);
static_assert(offsetof(LINEDEVSTATUS, dwTerminalModesOffset) == 64);
static_assert(offsetof(LINEDEVSTATUS, dwDevSpecificSize) == 68);
static_assert(offsetof(LINEDEVSTATUS, dwDevSpecificOffset) == 72);
static_assert(offsetof(LINEDEVSTATUS, dwAvailableMediaModes) == 76);
static_assert(offsetof(LINEDEVSTATUS, dwAppInfoSize) == 80);
static_assert(offsetof(LINEDEVSTATUS, dwAppInfoOffset) == 84);
static_assert(sizeof(LINEDEVSTATUS) == 88);
using LPLINEDEVSTATUS = LINEDEVSTATUS*;

// Address capabilities; the variable parts (address, device-specific data, call treatment list,
// device classes) follow the 228-byte fixed part.
struct LINEADDRESSCAPS {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
  DWORD dwLineDeviceID;
  DWORD dwAddressSize;
  DWORD dwAddressOffset;
  DWORD dwDevSpecificSize;
  DWORD dwDevSpecificOffset;
  DWORD dwAddressSharing;
  DWORD dwAddressStates;
  DWORD dwCallInfoStates;
  DWORD dwCallerIDFlags;
  DWORD dwCalledIDFlags;
  DWORD dwConnectedIDFlags;
  DWORD dwRedirectionIDFlags;
  DWORD dwRedirectingIDFlags;
  DWORD dwCallStates;
  DWORD dwDialToneModes;
  DWORD dwBusyModes;
  DWORD dwSpecialInfo;
  DWORD dwDisconnectModes;
  DWORD dwMaxNumActiveCalls;
  DWORD dwMaxNumOnHoldCalls;
  DWORD dwMaxNumOnHoldPendingCalls;
  DWORD dwMaxNumConference;
  DWORD dwMaxNumTransConf;
  DWORD dwAddrCapFlags;
  DWORD dwCallFeatures;
  DWORD dwRemoveFromConfCaps;
  DWORD dwRemoveFromConfState;
  DWORD dwTransferModes;
  DWORD dwParkModes;
  DWORD dwForwardModes;
  DWORD dwMaxForwardEntries;
  DWORD dwMaxSpecificEntries;
  DWORD dwMinFwdNumRings;
  DWORD dwMaxFwdNumRings;
  DWORD dwMaxCallCompletions;
  DWORD dwCallCompletionConds;
  DWORD dwCallCompletionModes;
  DWORD dwNumCompletionMessages;
  DWORD dwCompletionMsgTextEntrySize;
  DWORD dwCompletionMsgTextSize;
  DWORD dwCompletionMsgTextOffset;
  DWORD dwAddressFeatures;
  DWORD dwPredictiveAutoTransferStates;
  DWORD dwNumCallTreatments;
  DWORD dwCallTreatmentListSize;
  DWORD dwCallTreatmentListOffset;
  DWORD dwDeviceClassesSize;
  DWORD dwDeviceClassesOffset;
  DWORD dwMaxCallDataSize;
  DWORD dwCallFeatures2;
  DWORD dwMaxNoAnswerTimeout;
  DWORD dwConnectedModes;
  DWORD dwOfferingModes;
  DWORD dwAvailableMediaModes;
};
static_assert(offsetof(LINEADDRESSCAPS, dwTotalSize) == 0);
static_assert(offsetof(LINEADDRESSCAPS, dwNeededSize) == 4);
static_assert(offsetof(LINEADDRESSCAPS, dwUsedSize) == 8);
static_assert(offsetof(LINEADDRESSCAPS, dwLineDeviceID) == 12);
static_assert(offsetof(LINEADDRESSCAPS, dwAddressSize) == 16);
static_assert(offsetof(LINEADDRESSCAPS, dwAddressOffset) == 20);
static_assert(offsetof(LINEADDRESSCAPS, dwDevSpecificSize) == 24);
static_assert(offsetof(LINEADDRESSCAPS, dwDevSpecificOffset) == 28);
static_assert(offsetof(LINEADDRESSCAPS, dwAddressSharing) == 32);
static_assert(offsetof(LINEADDRESSCAPS, dwAddressStates) == 36);
static_assert(offsetof(LINEADDRESSCAPS, dwCallInfoStates) == 40);
static_assert(offsetof(LINEADDRESSCAPS, dwCallerIDFlags) == 44);
static_assert(offsetof(LINEADDRESSCAPS, dwCalledIDFlags) == 48);
static_assert(offsetof(LINEADDRESSCAPS, dwConnectedIDFlags) == 52);
static_assert(offsetof(LINEADDRESSCAPS, dwRedirectionIDFlags) == 56);
static_assert(offsetof(LINEADDRESSCAPS, dwRedirectingIDFlags) == 60);
static_assert(offsetof(LINEADDRESSCAPS, dwCallStates) == 64);
static_assert(offsetof(LINEADDRESSCAPS, dwDialToneModes) == 68);
static_assert(offsetof(LINEADDRESSCAPS, dwBusyModes) == 72);
static_assert(offsetof(LINEADDRESSCAPS, dwSpecialInfo) == 76);
static_assert(offsetof(LINEADDRESSCAPS, dwDisconnectModes) == 80);
static_assert(offsetof(LINEADDRESSCAPS, dwMaxNumActiveCalls) == 84);
static_assert(offsetof(LINEADDRESSCAPS, dwMaxNumOnHoldCalls) == 88);
static_assert(offsetof(LINEADDRESSCAPS, dwMaxNumOnHoldPendingCalls) == 92);
static_assert(offsetof(LINEADDRESSCAPS, dwMaxNumConference) == 96);
static_assert(offsetof(LINEADDRESSCAPS, dwMaxNumTransConf) == 100);
static_assert(offsetof(LINEADDRESSCAPS, dwAddrCapFlags) == 104);
static_assert(offsetof(LINEADDRESSCAPS, dwCallFeatures) == 108);
static_assert(offsetof(LINEADDRESSCAPS, dwRemoveFromConfCaps) == 112);
static_assert(offsetof(LINEADDRESSCAPS, dwRemoveFromConfState) == 116);
static_assert(offsetof(LINEADDRESSCAPS, dwTransferModes) == 120);
static_assert(offsetof(LINEADDRESSCAPS, dwParkModes) == 124);
static_assert(offsetof(LINEADDRESSCAPS, dwForwardModes) == 128);
static_assert(offsetof(LINEADDRESSCAPS, dwMaxForwardEntries) == 132);
static_assert(offsetof(LINEADDRESSCAPS, dwMaxSpecificEntries) == 136);
static_assert(offsetof(LINEADDRESSCAPS, dwMinFwdNumRings) == 140);
static_assert(offsetof(LINEADDRESSCAPS, dwMaxFwdNumRings) == 144);
static_assert(offsetof(LINEADDRESSCAPS, dwMaxCallCompletions) == 148);
static_assert(offsetof(LINEADDRESSCAPS, dwCallCompletionConds) == 152);
static_assert(offsetof(LINEADDRESSCAPS, dwCallCompletionModes) == 156);
static_assert(offsetof(LINEADDRESSCAPS, dwNumCompletionMessages) == 160);
static_assert(offsetof(LINEADDRESSCAPS, dwCompletionMsgTextEntrySize) == 164);
static_assert(offsetof(LINEADDRESSCAPS, dwCompletionMsgTextSize) == 168);
static_assert(offsetof(LINEADDRESSCAPS, dwCompletionMsgTextOffset) == 172);
static_assert(offsetof(LINEADDRESSCAPS, dwAddressFeatures) == 176);
static_assert(offsetof(LINEADDRESSCAPS, dwPredictiveAutoTransferStates) == 180);
static_assert(offsetof(LINEADDRESSCAPS, dwNumCallTreatments) == 184);
static_assert(offsetof(LINEADDRESSCAPS, dwCallTreatmentListSize) == 188);
static_assert(offsetof(LINEADDRESSCAPS, dwCallTreatmentListOffset) == 192);
static_assert(offsetof(LINEADDRESSCAPS, dwDeviceClassesSize) == 196);
static_assert(offsetof(LINEADDRESSCAPS, dwDeviceClassesOffset) == 200);
static_assert(offsetof(LINEADDRESSCAPS, dwMaxCallDataSize) == 204);
static_assert(offsetof(LINEADDRESSCAPS, dwCallFeatures2) == 208);
static_assert(offsetof(LINEADDRESSCAPS, dwMaxNoAnswerTimeout) == 212);
static_assert(offsetof(LINEADDRESSCAPS, dwConnectedModes) == 216);
static_assert(offsetof(LINEADDRESSCAPS, dwOfferingModes) == 220);
static_assert(offsetof(LINEADDRESSCAPS, dwAvailableMediaModes) == 224);
static_assert(sizeof(LINEADDRESSCAPS) == 228);
using LPLINEADDRESSCAPS = LINEADDRESSCAPS*;

// Address status; the forward list and device-specific data follow the 64-byte fixed part.
struct LINEADDRESSSTATUS {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
  DWORD dwNumInUse;
  DWORD dwNumActiveCalls;
  DWORD dwNumOnHoldCalls;
  DWORD dwNumOnHoldPendCalls;
  DWORD dwAddressFeatures;
  DWORD dwNumRingsNoAnswer;
  DWORD dwForwardNumEntries;
  DWORD dwForwardSize;
  DWORD dwForwardOffset;
  DWORD dwTerminalModesSize;
  DWORD dwTerminalModesOffset;
  DWORD dwDevSpecificSize;
  DWORD dwDevSpecificOffset;
};
static_assert(offsetof(LINEADDRESSSTATUS, dwTotalSize) == 0);
static_assert(offsetof(LINEADDRESSSTATUS, dwNeededSize) == 4);
static_assert(offsetof(LINEADDRESSSTATUS, dwUsedSize) == 8);
static_assert(offsetof(LINEADDRESSSTATUS, dwNumInUse) == 12);
static_assert(offsetof(LINEADDRESSSTATUS, dwNumActiveCalls) == 16);
static_assert(offsetof(LINEADDRESSSTATUS, dwNumOnHoldCalls) == 20);
static_assert(offsetof(LINEADDRESSSTATUS, dwNumOnHoldPendCalls) == 24);
static_assert(offsetof(LINEADDRESSSTATUS, dwAddressFeatures) == 28);
static_assert(offsetof(LINEADDRESSSTATUS, dwNumRingsNoAnswer) == 32);
static_assert(offsetof(LINEADDRESSSTATUS, dwForwardNumEntries) == 36);
static_assert(offsetof(LINEADDRESSSTATUS, dwForwardSize) == 40);
static_assert(offsetof(LINEADDRESSSTATUS, dwForwardOffset) == 44);
static_assert(offsetof(LINEADDRESSSTATUS, dwTerminalModesSize) == 48);
static_assert(offsetof(LINEADDRESSSTATUS, dwTerminalModesOffset) == 52);
static_assert(offsetof(LINEADDRESSSTATUS, dwDevSpecificSize) == 56);
static_assert(offsetof(LINEADDRESSSTATUS, dwDevSpecificOffset) == 60);
static_assert(sizeof(LINEADDRESSSTATUS) == 64);
using LPLINEADDRESSSTATUS = LINEADDRESSSTATUS*;

// Call information; the variable parts (party IDs, names, user-user info, call data, ...) follow
// the 324-byte fixed part. hLine is the 32-bit HLINE, not a pointer-sized handle.
struct LINECALLINFO {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
  HLINE hLine;
  DWORD dwLineDeviceID;
  DWORD dwAddressID;
  DWORD dwBearerMode;
  DWORD dwRate;
  DWORD dwMediaMode;
  DWORD dwAppSpecific;
  DWORD dwCallID;
  DWORD dwRelatedCallID;
  DWORD dwCallParamFlags;
  DWORD dwCallStates;
  DWORD dwMonitorDigitModes;
  DWORD dwMonitorMediaModes;
  LINEDIALPARAMS DialParams;
  DWORD dwOrigin;
  DWORD dwReason;
  DWORD dwCompletionID;
  DWORD dwNumOwners;
  DWORD dwNumMonitors;
  DWORD dwCountryCode;
  DWORD dwTrunk;
  DWORD dwCallerIDFlags;
  DWORD dwCallerIDSize;
  DWORD dwCallerIDOffset;
  DWORD dwCallerIDNameSize;
  DWORD dwCallerIDNameOffset;
  DWORD dwCalledIDFlags;
  DWORD dwCalledIDSize;
  DWORD dwCalledIDOffset;
  DWORD dwCalledIDNameSize;
  DWORD dwCalledIDNameOffset;
  DWORD dwConnectedIDFlags;
  DWORD dwConnectedIDSize;
  DWORD dwConnectedIDOffset;
  DWORD dwConnectedIDNameSize;
  DWORD dwConnectedIDNameOffset;
  DWORD dwRedirectionIDFlags;
  DWORD dwRedirectionIDSize;
  DWORD dwRedirectionIDOffset;
  DWORD dwRedirectionIDNameSize;
  DWORD dwRedirectionIDNameOffset;
  DWORD dwRedirectingIDFlags;
  DWORD dwRedirectingIDSize;
  DWORD dwRedirectingIDOffset;
  DWORD dwRedirectingIDNameSize;
  DWORD dwRedirectingIDNameOffset;
  DWORD dwAppNameSize;
  DWORD dwAppNameOffset;
  DWORD dwDisplayableAddressSize;
  DWORD dwDisplayableAddressOffset;
  DWORD dwCalledPartySize;
  DWORD dwCalledPartyOffset;
  DWORD dwCommentSize;
  DWORD dwCommentOffset;
  DWORD dwDisplaySize;
  DWORD dwDisplayOffset;
  DWORD dwUserUserInfoSize;
  DWORD dwUserUserInfoOffset;
  DWORD dwHighLevelCompSize;
  DWORD dwHighLevelCompOffset;
  DWORD dwLowLevelCompSize;
  DWORD dwLowLevelCompOffset;
  DWORD dwChargingInfoSize;
  DWORD dwChargingInfoOffset;
  DWORD dwTerminalModesSize;
  DWORD dwTerminalModesOffset;
  DWORD dwDevSpecificSize;
  DWORD dwDevSpecificOffset;
  DWORD dwCallTreatment;
  DWORD dwCallDataSize;
  DWORD dwCallDataOffset;
  DWORD dwSendingFlowspecSize;
  DWORD dwSendingFlowspecOffset;
  DWORD dwReceivingFlowspecSize;
  DWORD dwReceivingFlowspecOffset;
  // DWORD dwCallerIDAddressType (offset 324): TAPI 3.0, not part of the 2.1 layout
  // DWORD dwCalledIDAddressType (offset 328): TAPI 3.0, not part of the 2.1 layout
  // DWORD dwConnectedIDAddressType (offset 332): TAPI 3.0, not part of the 2.1 layout
  // DWORD dwRedirectionIDAddressType (offset 336): TAPI 3.0, not part of the 2.1 layout
  // DWORD dwRedirectingIDAddressType (offset 340): TAPI 3.0, not part of the 2.1 layout
};
static_assert(offsetof(LINECALLINFO, dwTotalSize) == 0);
static_assert(offsetof(LINECALLINFO, dwNeededSize) == 4);
static_assert(offsetof(LINECALLINFO, dwUsedSize) == 8);
static_assert(offsetof(LINECALLINFO, hLine) == 12);
static_assert(offsetof(LINECALLINFO, dwLineDeviceID) == 16);
static_assert(offsetof(LINECALLINFO, dwAddressID) == 20);
static_assert(offsetof(LINECALLINFO, dwBearerMode) == 24);
static_assert(offsetof(LINECALLINFO, dwRate) == 28);
static_assert(offsetof(LINECALLINFO, dwMediaMode) == 32);
static_assert(offsetof(LINECALLINFO, dwAppSpecific) == 36);
static_assert(offsetof(LINECALLINFO, dwCallID) == 40);
static_assert(offsetof(LINECALLINFO, dwRelatedCallID) == 44);
static_assert(offsetof(LINECALLINFO, dwCallParamFlags) == 48);
static_assert(offsetof(LINECALLINFO, dwCallStates) == 52);
static_assert(offsetof(LINECALLINFO, dwMonitorDigitModes) == 56);
static_assert(offsetof(LINECALLINFO, dwMonitorMediaModes) == 60);
static_assert(offsetof(LINECALLINFO, DialParams) == 64);
static_assert(offsetof(LINECALLINFO, dwOrigin) == 80);
static_assert(offsetof(LINECALLINFO, dwReason) == 84);
static_assert(offsetof(LINECALLINFO, dwCompletionID) == 88);
static_assert(offsetof(LINECALLINFO, dwNumOwners) == 92);
static_assert(offsetof(LINECALLINFO, dwNumMonitors) == 96);
static_assert(offsetof(LINECALLINFO, dwCountryCode) == 100);
static_assert(offsetof(LINECALLINFO, dwTrunk) == 104);
static_assert(offsetof(LINECALLINFO, dwCallerIDFlags) == 108);
static_assert(offsetof(LINECALLINFO, dwCallerIDSize) == 112);
static_assert(offsetof(LINECALLINFO, dwCallerIDOffset) == 116);
static_assert(offsetof(LINECALLINFO, dwCallerIDNameSize) == 120);
static_assert(offsetof(LINECALLINFO, dwCallerIDNameOffset) == 124);
static_assert(offsetof(LINECALLINFO, dwCalledIDFlags) == 128);
static_assert(offsetof(LINECALLINFO, dwCalledIDSize) == 132);
static_assert(offsetof(LINECALLINFO, dwCalledIDOffset) == 136);
static_assert(offsetof(LINECALLINFO, dwCalledIDNameSize) == 140);
static_assert(offsetof(LINECALLINFO, dwCalledIDNameOffset) == 144);
static_assert(offsetof(LINECALLINFO, dwConnectedIDFlags) == 148);
static_assert(offsetof(LINECALLINFO, dwConnectedIDSize) == 152);
static_assert(offsetof(LINECALLINFO, dwConnectedIDOffset) == 156);
static_assert(offsetof(LINECALLINFO, dwConnectedIDNameSize) == 160);
static_assert(offsetof(LINECALLINFO, dwConnectedIDNameOffset) == 164);
static_assert(offsetof(LINECALLINFO, dwRedirectionIDFlags) == 168);
static_assert(offsetof(LINECALLINFO, dwRedirectionIDSize) == 172);
static_assert(offsetof(LINECALLINFO, dwRedirectionIDOffset) == 176);
static_assert(offsetof(LINECALLINFO, dwRedirectionIDNameSize) == 180);
static_assert(offsetof(LINECALLINFO, dwRedirectionIDNameOffset) == 184);
static_assert(offsetof(LINECALLINFO, dwRedirectingIDFlags) == 188);
static_assert(offsetof(LINECALLINFO, dwRedirectingIDSize) == 192);
static_assert(offsetof(LINECALLINFO, dwRedirectingIDOffset) == 196);
static_assert(offsetof(LINECALLINFO, dwRedirectingIDNameSize) == 200);
static_assert(offsetof(LINECALLINFO, dwRedirectingIDNameOffset) == 204);
static_assert(offsetof(LINECALLINFO, dwAppNameSize) == 208);
static_assert(offsetof(LINECALLINFO, dwAppNameOffset) == 212);
static_assert(offsetof(LINECALLINFO, dwDisplayableAddressSize) == 216);
static_assert(offsetof(LINECALLINFO, dwDisplayableAddressOffset) == 220);
static_assert(offsetof(LINECALLINFO, dwCalledPartySize) == 224);
static_assert(offsetof(LINECALLINFO, dwCalledPartyOffset) == 228);
static_assert(offsetof(LINECALLINFO, dwCommentSize) == 232);
static_assert(offsetof(LINECALLINFO, dwCommentOffset) == 236);
static_assert(offsetof(LINECALLINFO, dwDisplaySize) == 240);
static_assert(offsetof(LINECALLINFO, dwDisplayOffset) == 244);
static_assert(offsetof(LINECALLINFO, dwUserUserInfoSize) == 248);
static_assert(offsetof(LINECALLINFO, dwUserUserInfoOffset) == 252);
static_assert(offsetof(LINECALLINFO, dwHighLevelCompSize) == 256);
static_assert(offsetof(LINECALLINFO, dwHighLevelCompOffset) == 260);
static_assert(offsetof(LINECALLINFO, dwLowLevelCompSize) == 264);
static_assert(offsetof(LINECALLINFO, dwLowLevelCompOffset) == 268);
static_assert(offsetof(LINECALLINFO, dwChargingInfoSize) == 272);
static_assert(offsetof(LINECALLINFO, dwChargingInfoOffset) == 276);
static_assert(offsetof(LINECALLINFO, dwTerminalModesSize) == 280);
static_assert(offsetof(LINECALLINFO, dwTerminalModesOffset) == 284);
static_assert(offsetof(LINECALLINFO, dwDevSpecificSize) == 288);
static_assert(offsetof(LINECALLINFO, dwDevSpecificOffset) == 292);
static_assert(offsetof(LINECALLINFO, dwCallTreatment) == 296);
static_assert(offsetof(LINECALLINFO, dwCallDataSize) == 300);
static_assert(offsetof(LINECALLINFO, dwCallDataOffset) == 304);
static_assert(offsetof(LINECALLINFO, dwSendingFlowspecSize) == 308);
static_assert(offsetof(LINECALLINFO, dwSendingFlowspecOffset) == 312);
static_assert(offsetof(LINECALLINFO, dwReceivingFlowspecSize) == 316);
static_assert(offsetof(LINECALLINFO, dwReceivingFlowspecOffset) == 320);
static_assert(sizeof(LINECALLINFO) == 324);
using LPLINECALLINFO = LINECALLINFO*;

// Call status; device-specific data follows the 56-byte fixed part.
struct LINECALLSTATUS {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
  DWORD dwCallState;
  DWORD dwCallStateMode;
  DWORD dwCallPrivilege;
  DWORD dwCallFeatures;
  DWORD dwDevSpecificSize;
  DWORD dwDevSpecificOffset;
  DWORD dwCallFeatures2;
  SYSTEMTIME tStateEntryTime;
};
static_assert(offsetof(LINECALLSTATUS, dwTotalSize) == 0);
static_assert(offsetof(LINECALLSTATUS, dwNeededSize) == 4);
static_assert(offsetof(LINECALLSTATUS, dwUsedSize) == 8);
static_assert(offsetof(LINECALLSTATUS, dwCallState) == 12);
static_assert(offsetof(LINECALLSTATUS, dwCallStateMode) == 16);
static_assert(offsetof(LINECALLSTATUS, dwCallPrivilege) == 20);
static_assert(offsetof(LINECALLSTATUS, dwCallFeatures) == 24);
static_assert(offsetof(LINECALLSTATUS, dwDevSpecificSize) == 28);
static_assert(offsetof(LINECALLSTATUS, dwDevSpecificOffset) == 32);
static_assert(offsetof(LINECALLSTATUS, dwCallFeatures2) == 36);
static_assert(offsetof(LINECALLSTATUS, tStateEntryTime) == 40);
static_assert(sizeof(LINECALLSTATUS) == 56);
using LPLINECALLSTATUS = LINECALLSTATUS*;

// Call set-up parameters from the application; a 2.x caller passes at least the 176-byte fixed
// part.
struct LINECALLPARAMS {
  DWORD dwTotalSize;
  DWORD dwBearerMode;
  DWORD dwMinRate;
  DWORD dwMaxRate;
  DWORD dwMediaMode;
  DWORD dwCallParamFlags;
  DWORD dwAddressMode;
  DWORD dwAddressID;
  LINEDIALPARAMS DialParams;
  DWORD dwOrigAddressSize;
  DWORD dwOrigAddressOffset;
  DWORD dwDisplayableAddressSize;
  DWORD dwDisplayableAddressOffset;
  DWORD dwCalledPartySize;
  DWORD dwCalledPartyOffset;
  DWORD dwCommentSize;
  DWORD dwCommentOffset;
  DWORD dwUserUserInfoSize;
  DWORD dwUserUserInfoOffset;
  DWORD dwHighLevelCompSize;
  DWORD dwHighLevelCompOffset;
  DWORD dwLowLevelCompSize;
  DWORD dwLowLevelCompOffset;
  DWORD dwDevSpecificSize;
  DWORD dwDevSpecificOffset;
  DWORD dwPredictiveAutoTransferStates;
  DWORD dwTargetAddressSize;
  DWORD dwTargetAddressOffset;
  DWORD dwSendingFlowspecSize;
  DWORD dwSendingFlowspecOffset;
  DWORD dwReceivingFlowspecSize;
  DWORD dwReceivingFlowspecOffset;
  DWORD dwDeviceClassSize;
  DWORD dwDeviceClassOffset;
  DWORD dwDeviceConfigSize;
  DWORD dwDeviceConfigOffset;
  DWORD dwCallDataSize;
  DWORD dwCallDataOffset;
  DWORD dwNoAnswerTimeout;
  DWORD dwCallingPartyIDSize;
  DWORD dwCallingPartyIDOffset;
  // DWORD dwAddressType (offset 176): TAPI 3.0, not part of the 2.1 layout
};
static_assert(offsetof(LINECALLPARAMS, dwTotalSize) == 0);
static_assert(offsetof(LINECALLPARAMS, dwBearerMode) == 4);
static_assert(offsetof(LINECALLPARAMS, dwMinRate) == 8);
static_assert(offsetof(LINECALLPARAMS, dwMaxRate) == 12);
static_assert(offsetof(LINECALLPARAMS, dwMediaMode) == 16);
static_assert(offsetof(LINECALLPARAMS, dwCallParamFlags) == 20);
static_assert(offsetof(LINECALLPARAMS, dwAddressMode) == 24);
static_assert(offsetof(LINECALLPARAMS, dwAddressID) == 28);
static_assert(offsetof(LINECALLPARAMS, DialParams) == 32);
static_assert(offsetof(LINECALLPARAMS, dwOrigAddressSize) == 48);
static_assert(offsetof(LINECALLPARAMS, dwOrigAddressOffset) == 52);
static_assert(offsetof(LINECALLPARAMS, dwDisplayableAddressSize) == 56);
static_assert(offsetof(LINECALLPARAMS, dwDisplayableAddressOffset) == 60);
static_assert(offsetof(LINECALLPARAMS, dwCalledPartySize) == 64);
static_assert(offsetof(LINECALLPARAMS, dwCalledPartyOffset) == 68);
static_assert(offsetof(LINECALLPARAMS, dwCommentSize) == 72);
static_assert(offsetof(LINECALLPARAMS, dwCommentOffset) == 76);
static_assert(offsetof(LINECALLPARAMS, dwUserUserInfoSize) == 80);
static_assert(offsetof(LINECALLPARAMS, dwUserUserInfoOffset) == 84);
static_assert(offsetof(LINECALLPARAMS, dwHighLevelCompSize) == 88);
static_assert(offsetof(LINECALLPARAMS, dwHighLevelCompOffset) == 92);
static_assert(offsetof(LINECALLPARAMS, dwLowLevelCompSize) == 96);
static_assert(offsetof(LINECALLPARAMS, dwLowLevelCompOffset) == 100);
static_assert(offsetof(LINECALLPARAMS, dwDevSpecificSize) == 104);
static_assert(offsetof(LINECALLPARAMS, dwDevSpecificOffset) == 108);
static_assert(offsetof(LINECALLPARAMS, dwPredictiveAutoTransferStates) == 112);
static_assert(offsetof(LINECALLPARAMS, dwTargetAddressSize) == 116);
static_assert(offsetof(LINECALLPARAMS, dwTargetAddressOffset) == 120);
static_assert(offsetof(LINECALLPARAMS, dwSendingFlowspecSize) == 124);
static_assert(offsetof(LINECALLPARAMS, dwSendingFlowspecOffset) == 128);
static_assert(offsetof(LINECALLPARAMS, dwReceivingFlowspecSize) == 132);
static_assert(offsetof(LINECALLPARAMS, dwReceivingFlowspecOffset) == 136);
static_assert(offsetof(LINECALLPARAMS, dwDeviceClassSize) == 140);
static_assert(offsetof(LINECALLPARAMS, dwDeviceClassOffset) == 144);
static_assert(offsetof(LINECALLPARAMS, dwDeviceConfigSize) == 148);
static_assert(offsetof(LINECALLPARAMS, dwDeviceConfigOffset) == 152);
static_assert(offsetof(LINECALLPARAMS, dwCallDataSize) == 156);
static_assert(offsetof(LINECALLPARAMS, dwCallDataOffset) == 160);
static_assert(offsetof(LINECALLPARAMS, dwNoAnswerTimeout) == 164);
static_assert(offsetof(LINECALLPARAMS, dwCallingPartyIDSize) == 168);
static_assert(offsetof(LINECALLPARAMS, dwCallingPartyIDOffset) == 172);
static_assert(sizeof(LINECALLPARAMS) == 176);
using LPLINECALLPARAMS = LINECALLPARAMS*;

// One forwarding instruction; its addresses are found by offset from the start of the enclosing
// LINEFORWARDLIST.
struct LINEFORWARD {
  DWORD dwForwardMode;
  DWORD dwCallerAddressSize;
  DWORD dwCallerAddressOffset;
  DWORD dwDestCountryCode;
  DWORD dwDestAddressSize;
  DWORD dwDestAddressOffset;
  // DWORD dwCallerAddressType (offset 24): TAPI 3.1, not part of the 2.1 layout
  // DWORD dwDestAddressType (offset 28): TAPI 3.1, not part of the 2.1 layout
};
static_assert(offsetof(LINEFORWARD, dwForwardMode) == 0);
static_assert(offsetof(LINEFORWARD, dwCallerAddressSize) == 4);
static_assert(offsetof(LINEFORWARD, dwCallerAddressOffset) == 8);
static_assert(offsetof(LINEFORWARD, dwDestCountryCode) == 12);
static_assert(offsetof(LINEFORWARD, dwDestAddressSize) == 16);
static_assert(offsetof(LINEFORWARD, dwDestAddressOffset) == 20);
static_assert(sizeof(LINEFORWARD) == 24);
using LPLINEFORWARD = LINEFORWARD*;

// An 8-byte head followed by dwNumEntries LINEFORWARD entries. Declared with one entry; reach
// entry i as (&ForwardList[0]) + i, after checking it lies within dwTotalSize.
struct LINEFORWARDLIST {
  DWORD dwTotalSize;
  DWORD dwNumEntries;
  LINEFORWARD ForwardList[1];
};
static_assert(offsetof(LINEFORWARDLIST, dwTotalSize) == 0);
static_assert(offsetof(LINEFORWARDLIST, dwNumEntries) == 4);
static_assert(offsetof(LINEFORWARDLIST, ForwardList) == 8);
static_assert(sizeof(LINEFORWARDLIST) == 32);
using LPLINEFORWARDLIST = LINEFORWARDLIST*;

// One entry of the call treatment list of LINEADDRESSCAPS; the name is found by offset from the
// start of LINEADDRESSCAPS.
struct LINECALLTREATMENTENTRY {
  DWORD dwCallTreatmentID;
  DWORD dwCallTreatmentNameSize;
  DWORD dwCallTreatmentNameOffset;
};
static_assert(offsetof(LINECALLTREATMENTENTRY, dwCallTreatmentID) == 0);
static_assert(offsetof(LINECALLTREATMENTENTRY, dwCallTreatmentNameSize) == 4);
static_assert(offsetof(LINECALLTREATMENTENTRY, dwCallTreatmentNameOffset) == 8);
static_assert(sizeof(LINECALLTREATMENTENTRY) == 12);
using LPLINECALLTREATMENTENTRY = LINECALLTREATMENTENTRY*;

// The four words identifying a provider's extensions.
struct LINEEXTENSIONID {
  DWORD dwExtensionID0;
  DWORD dwExtensionID1;
  DWORD dwExtensionID2;
  DWORD dwExtensionID3;
};
static_assert(offsetof(LINEEXTENSIONID, dwExtensionID0) == 0);
static_assert(offsetof(LINEEXTENSIONID, dwExtensionID1) == 4);
static_assert(offsetof(LINEEXTENSIONID, dwExtensionID2) == 8);
static_assert(offsetof(LINEEXTENSIONID, dwExtensionID3) == 12);
static_assert(sizeof(LINEEXTENSIONID) == 16);
using LPLINEEXTENSIONID = LINEEXTENSIONID*;

// A tone to monitor for.
struct LINEMONITORTONE {
  DWORD dwAppSpecific;
  DWORD dwDuration;
  DWORD dwFrequency1;
  DWORD dwFrequency2;
  DWORD dwFrequency3;
};
static_assert(offsetof(LINEMONITORTONE, dwAppSpecific) == 0);
static_assert(offsetof(LINEMONITORTONE, dwDuration) == 4);
static_assert(offsetof(LINEMONITORTONE, dwFrequency1) == 8);
static_assert(offsetof(LINEMONITORTONE, dwFrequency2) == 12);
static_assert(offsetof(LINEMONITORTONE, dwFrequency3) == 16);
static_assert(sizeof(LINEMONITORTONE) == 20);
using LPLINEMONITORTONE = LINEMONITORTONE*;

// One component of a tone to generate.
struct LINEGENERATETONE {
  DWORD dwFrequency;
  DWORD dwCadenceOn;
  DWORD dwCadenceOff;
  DWORD dwVolume;
};
static_assert(offsetof(LINEGENERATETONE, dwFrequency) == 0);
static_assert(offsetof(LINEGENERATETONE, dwCadenceOn) == 4);
static_assert(offsetof(LINEGENERATETONE, dwCadenceOff) == 8);
static_assert(offsetof(LINEGENERATETONE, dwVolume) == 12);
static_assert(sizeof(LINEGENERATETONE) == 16);
using LPLINEGENERATETONE = LINEGENERATETONE*;

// Capabilities of one terminal.
struct LINETERMCAPS {
  DWORD dwTermDev;
  DWORD dwTermModes;
  DWORD dwTermSharing;
};
static_assert(offsetof(LINETERMCAPS, dwTermDev) == 0);
static_assert(offsetof(LINETERMCAPS, dwTermModes) == 4);
static_assert(offsetof(LINETERMCAPS, dwTermSharing) == 8);
static_assert(sizeof(LINETERMCAPS) == 12);
using LPLINETERMCAPS = LINETERMCAPS*;

// Phone structures are passed through by pointer only: the provider serves no phone devices
// and never reads or writes them, so their members are left undeclared.
struct PHONEBUTTONINFO;
struct PHONECAPS;
struct PHONESTATUS;
struct PHONEEXTENSIONID;
using LPPHONEBUTTONINFO = PHONEBUTTONINFO*;
using LPPHONECAPS = PHONECAPS*;
using LPPHONESTATUS = PHONESTATUS*;
using LPPHONEEXTENSIONID = PHONEEXTENSIONID*;
